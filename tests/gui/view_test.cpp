// Zoom steps and display modes, the panel toggles and "×" buttons, the
// About box and the help commands.
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTest>

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

TEST_F(Zoom, StepsCompoundFromTheShownSize)
{
    Open(MakeBitmap(QStringLiteral("z.bmp"), 100, 80));
    window->ZoomIn();
    EXPECT_EQ(Shown(), QSize(125, 100));
    EXPECT_EQ(window->StatusText(4), QStringLiteral("拡大率：125%"));
    EXPECT_EQ(ZoomLabel(), QStringLiteral("拡大率：125%"));
    EXPECT_EQ(Position(), 125);

    window->ZoomIn();
    EXPECT_EQ(Shown(), QSize(156, 124)); // the height follows the zoom slider
    EXPECT_EQ(ZoomLabel(), QStringLiteral("拡大率：156%"));
    EXPECT_EQ(Position(), 156);

    window->ZoomOut();
    EXPECT_EQ(Shown(), QSize(124, 99));
    EXPECT_EQ(window->StatusText(4), QStringLiteral("拡大率：124%"));
    EXPECT_EQ(Position(), 124);
    EXPECT_TRUE(window->image_control()->Stretch());
    EXPECT_FALSE(window->image_control()->AutoSize());
}

TEST_F(Zoom, SliderScalesFromThePictureSize)
{
    Open(MakeBitmap(QStringLiteral("t.bmp"), 250, 101));
    Find<QSlider>("zoomSlider")->setValue(37);
    EXPECT_EQ(Shown(), QSize(92, 37));
    EXPECT_EQ(window->StatusText(4), QStringLiteral("拡大率：36%"));
    EXPECT_EQ(ZoomLabel(), QStringLiteral("拡大率：36%"));
    EXPECT_EQ(Position(), 37);
}

TEST_F(Zoom, StandardSizeAfterAZoom)
{
    Open(MakeBitmap(QStringLiteral("h.bmp"), 100, 80));
    window->ZoomIn();
    window->NormalSize();
    EXPECT_EQ(Shown(), QSize(100, 80));
    EXPECT_EQ(window->StatusText(4), QStringLiteral("拡大率：100%"));
    EXPECT_EQ(ZoomLabel(), QStringLiteral("拡大率：100%"));
    EXPECT_EQ(Position(), 100);

    // At 100 already, the slider does not move and the panel keeps the mode.
    window->NormalSize();
    EXPECT_EQ(window->StatusText(4), QStringLiteral("拡大率：原寸大表示"));
    EXPECT_TRUE(window->image_control()->AutoSize());
    EXPECT_FALSE(window->image_control()->Stretch());
}

TEST_F(Zoom, ActualSizeModeAfterAZoom)
{
    Open(MakeBitmap(QStringLiteral("g.bmp"), 100, 80));
    window->ZoomIn();
    window->ActualSize();
    EXPECT_EQ(Shown(), QSize(100, 80));
    EXPECT_EQ(window->StatusText(4), QStringLiteral("拡大率：原寸大表示"));
    EXPECT_EQ(ZoomLabel(), QStringLiteral("拡大率：100%"));
    EXPECT_TRUE(Action("actualSizeAction")->isChecked());
    EXPECT_FALSE(Action("fitToWindowAction")->isChecked());
}

TEST_F(Zoom, ScreenModeFillsTheViewArea)
{
    window->show();
    Open(MakeBitmap(QStringLiteral("s.bmp"), 100, 80));
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
    EXPECT_TRUE(Find<QSlider>("zoomSlider")->isEnabled());
    EXPECT_TRUE(Action("zoomInAction")->isEnabled());
    EXPECT_EQ(Shown(), QSize(100, 80));
}

TEST_F(Zoom, AZoomedViewScrolls)
{
    window->show();
    Open(MakeBitmap(QStringLiteral("big.bmp"), 600, 400));
    window->ZoomIn();
    window->ZoomIn();
    QCoreApplication::processEvents();
    ImageFrame* frame = window->image_frame();
    EXPECT_TRUE(frame->horizontalScrollBar()->isVisible());
    EXPECT_GT(frame->horizontalScrollBar()->maximum(), 0);
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

TEST_F(Panels, ViewItemsToggleTheirAreas)
{
    window->ToggleProgressBox();
    EXPECT_FALSE(Shown("progressBox"));
    EXPECT_FALSE(Action("progressBoxAction")->isChecked());
    window->ToggleZoomBox();
    EXPECT_FALSE(Shown("zoomBox"));
    window->ToggleStatusBar();
    EXPECT_FALSE(Find<QStatusBar>("statusBar")->isVisible());
    EXPECT_FALSE(Action("statusBarAction")->isChecked());

    window->ToggleProgressBox();
    window->ToggleZoomBox();
    window->ToggleStatusBar();
    EXPECT_TRUE(Shown("progressBox"));
    EXPECT_TRUE(Shown("zoomBox"));
    EXPECT_TRUE(Find<QStatusBar>("statusBar")->isVisible());
    EXPECT_TRUE(Action("progressBoxAction")->isChecked());
}

TEST_F(Panels, TheMenuItemTogglesToo)
{
    Action("quickAccessBarAction")->trigger();
    EXPECT_FALSE(Shown("quickAccessBar"));
    EXPECT_FALSE(Action("quickAccessBarAction")->isChecked());
    Action("quickAccessBarAction")->trigger();
    EXPECT_TRUE(Shown("quickAccessBar"));
    EXPECT_TRUE(Action("quickAccessBarAction")->isChecked());
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
}

TEST_F(Panels, CrossButtonsHideAndUncheck)
{
    QTest::mouseClick(Find<QPushButton>("progressBoxCloseButton"), Qt::LeftButton);
    EXPECT_FALSE(Shown("progressBox"));
    EXPECT_FALSE(Action("progressBoxAction")->isChecked());
    QTest::mouseClick(Find<QPushButton>("zoomBoxCloseButton"), Qt::LeftButton);
    EXPECT_FALSE(Shown("zoomBox"));
    EXPECT_FALSE(Action("zoomBoxAction")->isChecked());
    window->ToggleProgressBox();
    window->ToggleZoomBox();
    QTest::mouseClick(Find<QPushButton>("quickAccessCloseButton"), Qt::LeftButton);
    EXPECT_FALSE(Shown("quickAccessBar"));
    EXPECT_FALSE(Action("quickAccessBarAction")->isChecked());
    EXPECT_TRUE(Action("progressBoxAction")->isChecked());
    EXPECT_TRUE(Action("zoomBoxAction")->isChecked());
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

TEST_F(Panels, AnEffectRunsWithTheProgressBoxHidden)
{
    Open(MakeBitmap(QStringLiteral("h.bmp"), 6, 6));
    window->HideProgressBox();
    Apply("sharpen");
    EXPECT_EQ(window->document().edit_count, 2);
}

// ---- About box ----------------------------------------------------------------

using About = WindowTest;

TEST_F(About, OpensWithTheMainWindowDisabled)
{
    window->show();
    window->ShowAbout();
    AboutBox* box = window->about_box();
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(window->isEnabled());
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Korvanti Ver 1.0.0 のバージョン情報"));
    EXPECT_TRUE(box->findChild<QLabel*>(QStringLiteral("authorLabel"))->text().startsWith(
        QStringLiteral("このソフトの製作者　　　　：")));
    EXPECT_TRUE(box->findChild<QLabel*>(QStringLiteral("copyrightLabel"))->text().startsWith(
        QStringLiteral("このソフトの著作権保持者：")));
    EXPECT_TRUE(
        box->findChild<QLabel*>(QStringLiteral("webPageLabel"))->text().contains(QStringLiteral("example.org")));
    EXPECT_TRUE(
        box->findChild<QLabel*>(QStringLiteral("contactLabel"))->text().contains(QStringLiteral("example.org")));
    EXPECT_EQ(box->ok_button()->geometry(), QRect(120, 96, 57, 25));

    QTest::mouseClick(box->ok_button(), Qt::LeftButton);
    EXPECT_FALSE(box->isVisible());
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(About, TheCloseBoxActsAsOk)
{
    window->show();
    window->ShowAbout();
    window->about_box()->close();
    EXPECT_FALSE(window->about_box()->isVisible());
    EXPECT_TRUE(window->isEnabled());
    // And it can be opened again.
    window->ShowAbout();
    EXPECT_TRUE(window->about_box()->isVisible());
    window->about_box()->Dismiss();
}

// ---- Help --------------------------------------------------------------------

using Help = WindowTest;

TEST_F(Help, TheHelpFileInTheCurrentFolderComesFirst)
{
    const QString previous = QDir::currentPath();
    const QString help = QDir(folder->path()).absoluteFilePath(QStringLiteral("korvanti_help.html"));
    QFile file(help);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QDir::setCurrent(folder->path());
    window->OpenHelp();
    QDir::setCurrent(previous);
    ASSERT_EQ(opened_urls.size(), 1u);
    EXPECT_EQ(opened_urls[0], QUrl::fromLocalFile(QDir(folder->path()).canonicalPath() + QStringLiteral("/korvanti_help.html")));
}

TEST_F(Help, OtherwiseTheOneBesideTheProgram)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder->path());
    window->OpenHelp();
    QDir::setCurrent(previous);
    ASSERT_EQ(opened_urls.size(), 1u);
    EXPECT_EQ(opened_urls[0],
              QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/korvanti_help.html")));
}

TEST_F(Help, NoHelpFileSaysSo)
{
    window->help_file_name = QStringLiteral("absent_help.html");
    window->OpenHelp();
    EXPECT_TRUE(opened_urls.empty());
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, QStringLiteral("ヘルプファイルが見つかりません。"));
    EXPECT_EQ(boxes->shown[0].style, kStyleOk);
}

TEST_F(Help, SupportPage)
{
    window->OpenSupportPage();
    ASSERT_EQ(opened_urls.size(), 1u);
    EXPECT_EQ(opened_urls[0].host(), QStringLiteral("www.example.org"));
}

} // namespace
} // namespace korvanti::testing
