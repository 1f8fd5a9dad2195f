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
#include "gui_test_support.h"
#include "view/image_control.h"
#include "view/image_frame.h"

namespace korvanti::testing {
namespace {

class Zoom : public WindowTest {
protected:
    QSize Shown() const { return window->Image1()->size(); }
    QString Label3() const { return Find<QLabel>("Label3")->text(); }
    int Position() const { return Find<QSlider>("TrackBar1")->value(); }
};

TEST_F(Zoom, StepsCompoundFromTheShownSize)
{
    Open(MakeBitmap(QStringLiteral("z.bmp"), 100, 80));
    window->N25U1Click();
    EXPECT_EQ(Shown(), QSize(125, 100));
    EXPECT_EQ(window->PanelText(4), QStringLiteral("拡大率：125%"));
    EXPECT_EQ(Label3(), QStringLiteral("拡大率：125%"));
    EXPECT_EQ(Position(), 125);

    window->N25U1Click();
    EXPECT_EQ(Shown(), QSize(156, 124)); // the height follows the track bar
    EXPECT_EQ(Label3(), QStringLiteral("拡大率：156%"));
    EXPECT_EQ(Position(), 156);

    window->N25U2Click();
    EXPECT_EQ(Shown(), QSize(124, 99));
    EXPECT_EQ(window->PanelText(4), QStringLiteral("拡大率：124%"));
    EXPECT_EQ(Position(), 124);
    EXPECT_TRUE(window->Image1()->Stretch());
    EXPECT_FALSE(window->Image1()->AutoSize());
}

TEST_F(Zoom, TrackBarScalesFromThePictureSize)
{
    Open(MakeBitmap(QStringLiteral("t.bmp"), 250, 101));
    Find<QSlider>("TrackBar1")->setValue(37);
    EXPECT_EQ(Shown(), QSize(92, 37));
    EXPECT_EQ(window->PanelText(4), QStringLiteral("拡大率：36%"));
    EXPECT_EQ(Label3(), QStringLiteral("拡大率：36%"));
    EXPECT_EQ(Position(), 37);
}

TEST_F(Zoom, StandardSizeAfterAZoom)
{
    Open(MakeBitmap(QStringLiteral("h.bmp"), 100, 80));
    window->N25U1Click();
    window->H4Click();
    EXPECT_EQ(Shown(), QSize(100, 80));
    EXPECT_EQ(window->PanelText(4), QStringLiteral("拡大率：100%"));
    EXPECT_EQ(Label3(), QStringLiteral("拡大率：100%"));
    EXPECT_EQ(Position(), 100);

    // At 100 already, the track bar does not move and the panel keeps the mode.
    window->H4Click();
    EXPECT_EQ(window->PanelText(4), QStringLiteral("拡大率：原寸大表示"));
    EXPECT_TRUE(window->Image1()->AutoSize());
    EXPECT_FALSE(window->Image1()->Stretch());
}

TEST_F(Zoom, ActualSizeModeAfterAZoom)
{
    Open(MakeBitmap(QStringLiteral("g.bmp"), 100, 80));
    window->N25U1Click();
    window->G4Click();
    EXPECT_EQ(Shown(), QSize(100, 80));
    EXPECT_EQ(window->PanelText(4), QStringLiteral("拡大率：原寸大表示"));
    EXPECT_EQ(Label3(), QStringLiteral("拡大率：100%"));
    EXPECT_TRUE(Item("G4")->isChecked());
    EXPECT_FALSE(Item("T2")->isChecked());
}

TEST_F(Zoom, ScreenModeFillsTheViewArea)
{
    window->show();
    Open(MakeBitmap(QStringLiteral("s.bmp"), 100, 80));
    window->N25U1Click();
    window->T2Click();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->PanelText(4), QStringLiteral("拡大率：スクリーン表示"));
    EXPECT_EQ(Label3(), QStringLiteral("拡大率：125%"));
    EXPECT_EQ(Position(), 125);
    EXPECT_TRUE(Item("T2")->isChecked());
    EXPECT_FALSE(Item("G4")->isChecked());
    for (const char* name : {"N25U1", "H4", "N25U2"})
        EXPECT_FALSE(Item(name)->isEnabled()) << name;
    EXPECT_FALSE(Find<QSlider>("TrackBar1")->isEnabled());
    ImageFrame* frame = window->Frame11();
    EXPECT_EQ(Shown(), frame->viewport()->size());
    EXPECT_FALSE(frame->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(frame->verticalScrollBar()->isVisible());

    // Only the actual-size mode leads back to zooming.
    window->G4Click();
    EXPECT_TRUE(Find<QSlider>("TrackBar1")->isEnabled());
    EXPECT_TRUE(Item("N25U1")->isEnabled());
    EXPECT_EQ(Shown(), QSize(100, 80));
}

TEST_F(Zoom, AZoomedViewScrolls)
{
    window->show();
    Open(MakeBitmap(QStringLiteral("big.bmp"), 600, 400));
    window->N25U1Click();
    window->N25U1Click();
    QCoreApplication::processEvents();
    ImageFrame* frame = window->Frame11();
    EXPECT_TRUE(frame->horizontalScrollBar()->isVisible());
    EXPECT_GT(frame->horizontalScrollBar()->maximum(), 0);
}

TEST_F(Zoom, AnOpenedPictureKeepsTheZoomSettings)
{
    Open(MakeBitmap(QStringLiteral("a.bmp"), 100, 80));
    window->N25U1Click();
    Open(MakeBitmap(QStringLiteral("b.bmp"), 40, 40));
    EXPECT_EQ(Shown(), QSize(125, 100));
    EXPECT_EQ(Position(), 125);
}

TEST_F(Zoom, StepsStopAtTheLargestWidgetSize)
{
    Open(MakeBitmap(QStringLiteral("w.bmp"), 1000, 1));
    Find<QSlider>("TrackBar1")->setValue(500);
    for (int i = 0; i < 40; ++i)
        window->N25U1Click();
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
    window->S10Click();
    EXPECT_FALSE(Shown("Panel2"));
    EXPECT_FALSE(Item("S10")->isChecked());
    window->K5Click();
    EXPECT_FALSE(Shown("Panel4"));
    window->S7Click();
    EXPECT_FALSE(Find<QStatusBar>("StatusBar1")->isVisible());
    EXPECT_FALSE(Item("S7")->isChecked());

    window->S10Click();
    window->K5Click();
    window->S7Click();
    EXPECT_TRUE(Shown("Panel2"));
    EXPECT_TRUE(Shown("Panel4"));
    EXPECT_TRUE(Find<QStatusBar>("StatusBar1")->isVisible());
    EXPECT_TRUE(Item("S10")->isChecked());
}

TEST_F(Panels, TheMenuItemTogglesToo)
{
    Item("Q2")->trigger();
    EXPECT_FALSE(Shown("Panel1"));
    EXPECT_FALSE(Item("Q2")->isChecked());
    Item("Q2")->trigger();
    EXPECT_TRUE(Shown("Panel1"));
    EXPECT_TRUE(Item("Q2")->isChecked());
}

TEST_F(Panels, TheBarKeepsItsBoxesAsTheirItemsSay)
{
    window->S10Click();
    window->Q2Click();
    EXPECT_FALSE(Shown("Panel1"));
    EXPECT_FALSE(Item("Q2")->isChecked());
    EXPECT_TRUE(Item("K5")->isChecked());
    window->Q2Click();
    EXPECT_TRUE(Shown("Panel1"));
    EXPECT_TRUE(Shown("Panel4"));
    EXPECT_FALSE(Shown("Panel2"));
}

TEST_F(Panels, CrossButtonsHideAndUncheck)
{
    QTest::mouseClick(Find<QPushButton>("Button2"), Qt::LeftButton);
    EXPECT_FALSE(Shown("Panel2"));
    EXPECT_FALSE(Item("S10")->isChecked());
    QTest::mouseClick(Find<QPushButton>("Button4"), Qt::LeftButton);
    EXPECT_FALSE(Shown("Panel4"));
    EXPECT_FALSE(Item("K5")->isChecked());
    window->S10Click();
    window->K5Click();
    QTest::mouseClick(Find<QPushButton>("Button3"), Qt::LeftButton);
    EXPECT_FALSE(Shown("Panel1"));
    EXPECT_FALSE(Item("Q2")->isChecked());
    EXPECT_TRUE(Item("S10")->isChecked());
    EXPECT_TRUE(Item("K5")->isChecked());
}

TEST_F(Panels, ToggleMovesThePictureHome)
{
    Open(MakeBitmap(QStringLiteral("p.bmp"), 900, 700));
    QCoreApplication::processEvents();
    ImageFrame* frame = window->Frame11();
    frame->horizontalScrollBar()->setValue(50);
    frame->verticalScrollBar()->setValue(40);
    window->S7Click();
    EXPECT_EQ(frame->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(frame->verticalScrollBar()->value(), 0);
}

TEST_F(Panels, AnEffectRunsWithTheProgressBoxHidden)
{
    Open(MakeBitmap(QStringLiteral("h.bmp"), 6, 6));
    window->Button2Click();
    window->N9Click();
    EXPECT_EQ(window->document().edit_count, 2);
}

// ---- About box ----------------------------------------------------------------

using About = WindowTest;

TEST_F(About, OpensWithTheMainWindowDisabled)
{
    window->show();
    window->V1Click();
    AboutBox* box = window->Form2();
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(window->isEnabled());
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Korvanti Ver 1.0.0 のバージョン情報"));
    EXPECT_TRUE(box->findChild<QLabel*>(QStringLiteral("Label1"))->text().startsWith(
        QStringLiteral("このソフトの製作者　　　　：")));
    EXPECT_TRUE(box->findChild<QLabel*>(QStringLiteral("Label2"))->text().startsWith(
        QStringLiteral("このソフトの著作権保持者：")));
    EXPECT_TRUE(box->findChild<QLabel*>(QStringLiteral("Label3"))->text().contains(QStringLiteral("example.org")));
    EXPECT_TRUE(box->findChild<QLabel*>(QStringLiteral("Label4"))->text().contains(QStringLiteral("example.org")));
    EXPECT_EQ(box->Button1()->geometry(), QRect(120, 96, 57, 25));

    QTest::mouseClick(box->Button1(), Qt::LeftButton);
    EXPECT_FALSE(box->isVisible());
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(About, TheCloseBoxActsAsOk)
{
    window->show();
    window->V1Click();
    window->Form2()->close();
    EXPECT_FALSE(window->Form2()->isVisible());
    EXPECT_TRUE(window->isEnabled());
    // And it can be opened again.
    window->V1Click();
    EXPECT_TRUE(window->Form2()->isVisible());
    window->Form2()->Button1Click();
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
    window->H2Click();
    QDir::setCurrent(previous);
    ASSERT_EQ(opened_urls.size(), 1u);
    EXPECT_EQ(opened_urls[0], QUrl::fromLocalFile(QDir(folder->path()).canonicalPath() + QStringLiteral("/korvanti_help.html")));
}

TEST_F(Help, OtherwiseTheOneBesideTheProgram)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder->path());
    window->H2Click();
    QDir::setCurrent(previous);
    ASSERT_EQ(opened_urls.size(), 1u);
    EXPECT_EQ(opened_urls[0],
              QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/korvanti_help.html")));
}

TEST_F(Help, SupportPage)
{
    window->S3Click();
    ASSERT_EQ(opened_urls.size(), 1u);
    EXPECT_EQ(opened_urls[0].host(), QStringLiteral("www.example.org"));
}

} // namespace
} // namespace korvanti::testing
