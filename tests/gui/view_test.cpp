// Zoom steps and display modes, the panel toggles and "×" buttons, the
// About box and the help commands.
#include <functional>

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QWindow>

#include "app/about_box.h"
#include "app/status_panels.h"
#include "gui_test_support.h"
#include "view/image_control.h"
#include "view/image_frame.h"

namespace korvanti::testing {
namespace {

class Zoom : public WindowTest {
protected:
    QSize Shown() const { return window->image_control()->size(); }
    QString ZoomLabel() const { return Find<QLabel>("zoomLabel")->text(); }
    int Position() const { return Find<QSlider>("zoomSlider")->value(); }
};

// One window through a run of zoom commands; each row is checked after its
// command: the shown size, the zoom panel, the zoom box, the slider, and
// (where not -1) whether the view sizes itself rather than stretching.
TEST_F(Zoom, CommandsFollowTheShownAndThePictureSize)
{
    Open(MakeBitmap(QStringLiteral("z.bmp"), 100, 80));
    const struct {
        const char* command;
        std::function<void()> run;
        QSize shown;
        const char* panel;
        const char* box;
        int position;
        int auto_size;
    } rows[] = {
        {"zoom in", [&] { window->ZoomIn(); }, {125, 100}, "拡大率：125%", "拡大率：125%", 125, -1},
        // Steps compound from the shown size; the height follows the slider.
        {"zoom in", [&] { window->ZoomIn(); }, {156, 124}, "拡大率：156%", "拡大率：156%", 156, -1},
        {"zoom out", [&] { window->ZoomOut(); }, {124, 99}, "拡大率：124%", "拡大率：124%", 124, 0},
        {"standard size", [&] { window->NormalSize(); }, {100, 80}, "拡大率：100%", "拡大率：100%", 100, -1},
        // At 100 already the slider does not move and the panel keeps the mode.
        {"standard size", [&] { window->NormalSize(); }, {100, 80}, "拡大率：原寸大表示", "拡大率：100%", 100, 1},
        {"zoom in, actual size", [&] { window->ZoomIn(), window->ActualSize(); }, {100, 80}, "拡大率：原寸大表示",
         "拡大率：100%", 100, -1},
        // The slider scales from the picture size; the percent is of the width.
        {"open, slide to 37",
         [&] { Open(MakeBitmap(QStringLiteral("t.bmp"), 250, 101)), Find<QSlider>("zoomSlider")->setValue(37); },
         {92, 37}, "拡大率：36%", "拡大率：36%", 37, -1},
    };
    for (const auto& row : rows) {
        row.run();
        EXPECT_EQ(Shown(), row.shown) << row.command << " to " << row.position;
        EXPECT_EQ(window->StatusText(4), QString::fromUtf8(row.panel)) << row.command << " to " << row.position;
        EXPECT_EQ(ZoomLabel(), QString::fromUtf8(row.box)) << row.command << " to " << row.position;
        EXPECT_EQ(Position(), row.position) << row.command;
        if (row.auto_size >= 0) {
            EXPECT_EQ(window->image_control()->AutoSize(), row.auto_size == 1) << row.command;
            EXPECT_EQ(window->image_control()->Stretch(), row.auto_size == 0) << row.command;
        }
    }
}

TEST_F(Zoom, ScreenModeFillsTheViewArea)
{
    window->show();
    Open(MakeBitmap(QStringLiteral("s.bmp"), 600, 400));
    window->ZoomIn();
    window->FitToWindow();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->StatusText(4), QStringLiteral("拡大率：スクリーン表示"));
    EXPECT_EQ(ZoomLabel(), QStringLiteral("拡大率：125%"));
    EXPECT_EQ(Position(), 125);
    EXPECT_TRUE(Action("fitToWindowAction")->isChecked());
    EXPECT_FALSE(Action("actualSizeAction")->isChecked());
    for (const char* name : {"zoomInAction", "normalSizeAction", "zoomOutAction"})
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
    EXPECT_FALSE(Find<QSlider>("zoomSlider")->isEnabled());
    ImageFrame* frame = window->image_frame();
    EXPECT_EQ(Shown(), frame->viewport()->size());
    EXPECT_FALSE(frame->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(frame->verticalScrollBar()->isVisible());

    // Only the actual-size mode leads back to zooming.
    window->ActualSize();
    EXPECT_TRUE(Action("actualSizeAction")->isChecked());
    EXPECT_FALSE(Action("fitToWindowAction")->isChecked());
    EXPECT_TRUE(Find<QSlider>("zoomSlider")->isEnabled());
    EXPECT_TRUE(Action("zoomInAction")->isEnabled());
    EXPECT_EQ(Shown(), QSize(600, 400));
    // A view larger than its area scrolls.
    window->ZoomIn();
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame->horizontalScrollBar()->isVisible());
    EXPECT_GT(frame->horizontalScrollBar()->maximum(), 0);
}

// Back from the screen mode with the slider still at 100: the whole
// picture, scrolling, as after a zoom.
TEST_F(Zoom, ActualSizeAfterTheScreenModeShowsTheWholePictureAtAnyPosition)
{
    window->show();
    Open(MakeBitmap(QStringLiteral("l.bmp"), 1200, 900));
    window->FitToWindow();
    window->ActualSize();
    QCoreApplication::processEvents();
    EXPECT_EQ(Shown(), QSize(1200, 900));
    EXPECT_TRUE(window->image_frame()->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(window->image_frame()->verticalScrollBar()->isVisible());
    EXPECT_EQ(window->StatusText(kZoomPanel), QStringLiteral("拡大率：原寸大表示"));
}

TEST_F(Zoom, AnOpenedPictureIsShownAtItsOwnSize)
{
    const QString first = MakeBitmap(QStringLiteral("a.bmp"), 250, 101);
    const QString second = MakeBitmap(QStringLiteral("b.bmp"), 40, 30);
    const std::function<void()> zooms[] = {
        [&] { window->ZoomIn(); },
        [&] { Find<QSlider>("zoomSlider")->setValue(37); },
        [&] { window->ZoomOut(), window->ActualSize(); },
        [&] { window->ZoomIn(), window->ClosePicture(); },
    };
    for (const auto& zoom : zooms) {
        Open(first);
        zoom();
        Open(second);
        EXPECT_EQ(Shown(), QSize(40, 30));
        EXPECT_EQ(Position(), 100);
        EXPECT_EQ(ZoomLabel(), QStringLiteral("拡大率：100%"));
        EXPECT_TRUE(window->StatusText(kZoomPanel) == QStringLiteral("拡大率：100%") ||
                    window->StatusText(kZoomPanel) == QStringLiteral("拡大率：原寸大表示"));
    }
    // Fit to window stays: the picture fills the view.
    window->show();
    window->FitToWindow();
    Open(first);
    QCoreApplication::processEvents();
    EXPECT_EQ(Shown(), window->image_frame()->viewport()->size());
    EXPECT_EQ(window->StatusText(kZoomPanel), QStringLiteral("拡大率：スクリーン表示"));
}

TEST_F(Zoom, CloseResetsTheControls)
{
    Open(MakeBitmap(QStringLiteral("a.bmp"), 40, 20));
    window->ZoomIn();
    window->ClosePicture();
    EXPECT_EQ(ZoomLabel(), QStringLiteral("100%"));
    EXPECT_EQ(Position(), 100);
    EXPECT_FALSE(Find<QSlider>("zoomSlider")->isEnabled());
}

TEST_F(Zoom, StepsStopAtTheLargestWidgetSize)
{
    Open(MakeBitmap(QStringLiteral("w.bmp"), 1000, 1));
    Find<QSlider>("zoomSlider")->setValue(500);
    for (int i = 0; i < 40; ++i)
        window->ZoomIn();
    EXPECT_EQ(Shown().width(), QWIDGETSIZE_MAX);
    EXPECT_GT(Shown().height(), 0);
    EXPECT_EQ(Position(), 500);
}

// ---- Panels ----------------------------------------------------------------

class Panels : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        window->show();
    }
    bool Shown(const char* name) const { return Find<QWidget>(name)->isVisible(); }
};

TEST_F(Panels, ItemsAndCrossButtonsToggleTheirAreas)
{
    const struct {
        const char* item;
        const char* area;
        const char* cross; // the area's "×" button, if it has one
    } panels[] = {{"progressBoxAction", "progressBox", "progressBoxCloseButton"},
                  {"zoomBoxAction", "zoomBox", "zoomBoxCloseButton"},
                  {"statusBarAction", "statusBar", nullptr},
                  {"quickAccessBarAction", "quickAccessBar", "quickAccessCloseButton"}};
    for (const auto& panel : panels) {
        for (const bool shown : {false, true}) {
            Action(panel.item)->trigger();
            EXPECT_EQ(Shown(panel.area), shown) << panel.item;
            EXPECT_EQ(Action(panel.item)->isChecked(), shown) << panel.item;
        }
        if (panel.cross == nullptr)
            continue;
        QTest::mouseClick(Find<QPushButton>(panel.cross), Qt::LeftButton);
        EXPECT_FALSE(Shown(panel.area)) << panel.cross;
        EXPECT_FALSE(Action(panel.item)->isChecked()) << panel.cross;
        Action(panel.item)->trigger();
    }
}

TEST_F(Panels, TheBarKeepsItsBoxesAsTheirItemsSay)
{
    window->ToggleProgressBox();
    window->ToggleQuickAccessBar();
    EXPECT_FALSE(Shown("quickAccessBar"));
    EXPECT_FALSE(Action("quickAccessBarAction")->isChecked());
    EXPECT_TRUE(Action("zoomBoxAction")->isChecked());
    window->ToggleQuickAccessBar();
    EXPECT_TRUE(Shown("quickAccessBar"));
    EXPECT_TRUE(Shown("zoomBox"));
    EXPECT_FALSE(Shown("progressBox"));
    // An effect runs with the progress box hidden.
    Open(MakeBitmap(QStringLiteral("h.bmp"), 6, 6));
    Apply("sharpen");
    EXPECT_EQ(window->document().edit_count, 2);
}

TEST_F(Panels, ToggleMovesThePictureHome)
{
    Open(MakeBitmap(QStringLiteral("p.bmp"), 900, 700));
    QCoreApplication::processEvents();
    ImageFrame* frame = window->image_frame();
    frame->horizontalScrollBar()->setValue(50);
    frame->verticalScrollBar()->setValue(40);
    window->ToggleStatusBar();
    EXPECT_EQ(frame->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(frame->verticalScrollBar()->value(), 0);
}

// ---- About box ----------------------------------------------------------------

using About = WindowTest;

TEST_F(About, OpensAsAModalDialogOfTheMainWindow)
{
    EXPECT_FALSE(window->about_box()->isVisible());
    window->show();
    window->ShowAbout();
    AboutBox* box = window->about_box();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    // The desktop keeps a window above the one it is transient for.
    EXPECT_EQ(box->windowHandle()->transientParent(), window->windowHandle());
    EXPECT_TRUE(box->isModal());
    EXPECT_FALSE(window->isEnabled());
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Korvanti Ver 1.0.0 のバージョン情報"));
    const auto label = [&](const char* name) { return box->findChild<QLabel*>(QLatin1String(name))->text(); };
    EXPECT_TRUE(label("authorLabel").startsWith(QStringLiteral("このソフトの製作者　　　　：")));
    EXPECT_TRUE(label("copyrightLabel").startsWith(QStringLiteral("このソフトの著作権保持者：")));
    EXPECT_TRUE(label("webPageLabel").contains(QStringLiteral("example.org")));
    EXPECT_TRUE(label("contactLabel").contains(QStringLiteral("example.org")));
    EXPECT_EQ(box->ok_button()->geometry(), QRect(120, 96, 57, 25));

    // OK, the close box or Esc closes it; it opens again.
    const std::pair<const char*, std::function<void()>> closers[] = {
        {"OK", [&] { QTest::mouseClick(box->ok_button(), Qt::LeftButton); }},
        {"close box", [&] { box->close(); }},
        {"Esc", [&] { QTest::keyClick(box, Qt::Key_Escape); }},
    };
    for (const auto& [how, close] : closers) {
        close();
        EXPECT_FALSE(box->isVisible()) << how;
        EXPECT_TRUE(window->isEnabled()) << how;
        window->ShowAbout();
        EXPECT_TRUE(box->isVisible()) << how;
    }
    box->Dismiss();
}

// ---- Help --------------------------------------------------------------------

using Help = WindowTest;

TEST_F(Help, TheFileInTheCurrentFolderComesFirstThenTheOneBesideTheProgramElseABox)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder->path());
    window->OpenHelp();
    QFile file(QStringLiteral("korvanti_help.html"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    window->OpenHelp();
    QDir::setCurrent(previous);
    window->OpenSupportPage();
    ASSERT_EQ(opened_urls.size(), 3u);
    EXPECT_EQ(opened_urls[0],
              QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/korvanti_help.html")));
    EXPECT_EQ(opened_urls[1], QUrl::fromLocalFile(QDir(folder->path()).canonicalPath() + QStringLiteral("/korvanti_help.html")));
    EXPECT_EQ(opened_urls[2].host(), QStringLiteral("www.example.org"));

    // With no help file anywhere a box says so.
    window->help_file_name = QStringLiteral("absent_help.html");
    window->OpenHelp();
    EXPECT_EQ(opened_urls.size(), 3u);
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, QStringLiteral("ヘルプファイルが見つかりません。"));
    EXPECT_EQ(boxes->shown[0].style, kStyleOk);
}

} // namespace
} // namespace korvanti::testing
