// The window as it comes up: captions, menu tree and states, panels, the
// status bar, the hidden tool bar, the application object.
#include <QCoreApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>

#include "app/about_box.h"
#include "app/status_panels.h"
#include "effects/catalogue.h"
#include "gui_test_support.h"
#include "view/image_control.h"

namespace korvanti::testing {
namespace {

using StartUp = WindowTest;

TEST_F(StartUp, CaptionsAndTitle)
{
    EXPECT_EQ(Caption(), QStringLiteral("Korvanti Ver 1.0.0"));
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Korvanti　Ver　1.0.0"));
    EXPECT_EQ(window->objectName(), QStringLiteral("mainWindow"));
    EXPECT_EQ(window->document().edit_count, 0);
}

TEST_F(StartUp, ClientAreaBelowTheMenuBar)
{
    window->show();
    EXPECT_EQ(window->width(), 696);
    EXPECT_EQ(window->height() - window->menuBar()->height(), 435);
    EXPECT_EQ(window->pos(), QPoint(0, 103));
    EXPECT_EQ(Find<QFrame>("quickAccessBar")->width(), 105);
    EXPECT_EQ(Find<QFrame>("quickAccessTitle")->height(), 17);
    EXPECT_EQ(Find<QFrame>("zoomBox")->height(), 80);
    EXPECT_EQ(Find<QFrame>("progressBox")->height(), 80);
}

TEST_F(StartUp, FileAndEditMenus)
{
    EXPECT_TRUE(Action("openAction")->isEnabled());
    EXPECT_TRUE(Action("quitAction")->isEnabled());
    for (const char* name : {"saveAsAction", "saveAction", "closeAction", "undoAction", "redoAction"})
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
    EXPECT_EQ(Action("fileMenu")->text(), QStringLiteral("ファイル（&F）"));
    EXPECT_EQ(Action("openAction")->text(), QStringLiteral("ファイルの読み込み（&L）"));
    EXPECT_EQ(Action("quitAction")->text(), QStringLiteral("アプリケーションの終了（&Q）"));
    const QList<QAction*> file_items = Find<QMenu>("fileMenu")->actions();
    ASSERT_EQ(file_items.size(), 6);
    EXPECT_EQ(file_items[3], Action("closeAction"));
    EXPECT_TRUE(file_items[4]->isSeparator());
    EXPECT_EQ(Action("undoAction")->text(), QStringLiteral("元に戻す（&U）"));
    EXPECT_EQ(Action("redoAction")->text(), QStringLiteral("やり直す（&S）"));
}

TEST_F(StartUp, ViewMenuChecksAndStates)
{
    for (const char* name :
         {"quickAccessBarAction", "statusBarAction", "progressBoxAction", "zoomBoxAction", "actualSizeAction"})
        EXPECT_TRUE(Action(name)->isChecked()) << name;
    EXPECT_FALSE(Action("fitToWindowAction")->isChecked());
    for (const char* name :
         {"zoomInAction", "normalSizeAction", "zoomOutAction", "actualSizeAction", "fitToWindowAction"})
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
    EXPECT_EQ(Action("zoomInAction")->text(), QStringLiteral("拡大表示 +25%（&U）"));
    EXPECT_EQ(Action("zoomBoxAction")->text(), QStringLiteral("拡大率(&K)"));
}

TEST_F(StartUp, ToolsMenuWaitsForAPicture)
{
    EXPECT_FALSE(Action("toolsMenu")->isEnabled());
    EXPECT_EQ(Action("toolsMenu")->text(), QStringLiteral("ツール（&T）"));
    // Planned commands are grey for good; the plug-in command too, though it
    // has a handler.
    for (const char* name :
         {"brightnessAction", "rotateAction", "mappingAction", "scaleAction", "enlargeHypercubicAction",
          "prewittTopLeftAction", "lowPassAction", "highPassAction", "outlineOnlyAction", "errorDiffusionFilterAction",
          "analogueScanAction", "oilPaintingAction", "drawingPenAction", "interlaceAction",
          "resolutionOptimisationAction", "filterMatrixAction", "to16ColoursAction", "medianCutDitherAction",
          "pluginAction"})
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
    EXPECT_EQ(Action("rotateAction")->text(), QStringLiteral("回転（&K）"));
    EXPECT_EQ(Action("bonusMenu")->text(), QStringLiteral("グ○コのおまけ♪(&G)"));
    EXPECT_EQ(Action("pluginAction")->text(), QStringLiteral("ぷらぐいん"));
    EXPECT_EQ(Action("to16ColoursAction")->text(), QStringLiteral("16777216→16(&Ｔ)"));
}

TEST_F(StartUp, EveryCatalogueEffectHasAnEnabledMenuItemWhereTheCatalogueSays)
{
    for (const EffectEntry& effect : EffectCatalogue()) {
        const std::string name(effect.batch_name);
        QAction* item = window->EffectAction(effect);
        ASSERT_NE(item, nullptr) << name;
        EXPECT_TRUE(item->isEnabled()) << name;
        EXPECT_EQ(item->text().toStdString(), effect.caption);
        // The submenus above it, up to the Tools menu.
        QStringList path;
        for (auto* menu = qobject_cast<QMenu*>(item->parent()); menu != Find<QMenu>("toolsMenu");
             menu = qobject_cast<QMenu*>(menu->parent())) {
            ASSERT_NE(menu, nullptr) << name;
            path.prepend(menu->title());
        }
        EXPECT_EQ(path.join(QStringLiteral(" → ")).toStdString(), effect.menu_path) << name;
    }
}

TEST_F(StartUp, HelpMenu)
{
    for (const char* name : {"helpMenu", "helpAction", "supportPageAction", "aboutAction"})
        EXPECT_TRUE(Action(name)->isEnabled()) << name;
    EXPECT_EQ(Action("aboutAction")->text(), QStringLiteral("バージョン情報（&V）"));
}

TEST_F(StartUp, QuickAccessBarControls)
{
    auto* track_bar = Find<QSlider>("zoomSlider");
    EXPECT_FALSE(track_bar->isEnabled());
    EXPECT_EQ(track_bar->value(), 100);
    EXPECT_EQ(track_bar->minimum(), 10);
    EXPECT_EQ(track_bar->maximum(), 500);
    EXPECT_EQ(track_bar->tickInterval(), 5);
    EXPECT_EQ(track_bar->geometry(), QRect(8, 24, 81, 25));
    EXPECT_EQ(Find<QLabel>("zoomLabel")->text(), QStringLiteral("拡大率：100%"));
    EXPECT_EQ(Find<QLabel>("quickAccessHeading")->text(), QStringLiteral("クイックアクセス"));
    EXPECT_EQ(Find<QLabel>("zoomBoxHeading")->text(), QStringLiteral("表示の拡大率"));
    EXPECT_EQ(Find<QLabel>("progressBoxHeading")->text(), QStringLiteral("処理の進行状況"));
    auto* cancel = Find<QPushButton>("cancelButton");
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_EQ(cancel->text(), QStringLiteral("キャンセル"));
    EXPECT_EQ(cancel->geometry(), QRect(5, 48, 85, 25));
    auto* progress = Find<QProgressBar>("progressBar");
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(progress->value(), 0);
    for (const char* name : {"progressBoxCloseButton", "quickAccessCloseButton", "zoomBoxCloseButton"}) {
        EXPECT_EQ(Find<QPushButton>(name)->text(), QStringLiteral("×"));
        EXPECT_EQ(Find<QPushButton>(name)->geometry(), QRect(80, 2, 13, 13));
    }
}

TEST_F(StartUp, StatusBarPanels)
{
    const QString texts[] = {QStringLiteral("ファイル名："), QStringLiteral("解像度："), QStringLiteral("編集："),
                             QStringLiteral("ファイル形式："), QStringLiteral("拡大率：")};
    // The design widths, at the window's size; the last panel takes the rest.
    const int widths[] = {150, 120, 100, 174, 696 - 150 - 120 - 100 - 174};
    window->show();
    QCoreApplication::processEvents();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(window->StatusText(i), texts[i]) << i;
        const auto* panel = window->findChild<QLabel*>(QStringLiteral("statusPanel%1").arg(i));
        EXPECT_NEAR(panel->width(), widths[i], i == kZoomPanel ? 8 : 0) << i;
    }
}

TEST_F(StartUp, ToolBarStaysHidden)
{
    window->show();
    auto* tool_bar = Find<QToolBar>("toolBar");
    ASSERT_NE(tool_bar, nullptr);
    EXPECT_FALSE(tool_bar->isVisible());
    EXPECT_EQ(window->createPopupMenu(), nullptr);
    EXPECT_FALSE(Find<QAction>("saveToolButton")->isVisible());
}

TEST_F(StartUp, ViewIsEmptyAndAboutBoxHidden)
{
    EXPECT_TRUE(window->image_control()->Picture().isNull());
    EXPECT_TRUE(window->image_control()->AutoSize());
    EXPECT_FALSE(window->image_control()->Stretch());
    EXPECT_FALSE(window->about_box()->isVisible());
}

TEST_F(StartUp, StandardButtonsSpeakJapanese)
{
    QMessageBox box(QMessageBox::NoIcon, QString(), QString(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

TEST_F(StartUp, WindowFontIsTheJapanesePGothic)
{
    EXPECT_EQ(window->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    EXPECT_EQ(window->font().pixelSize(), 12);
    // The Windows face is not installed; a Japanese P-Gothic stands in for it.
    EXPECT_EQ(QFontInfo(window->font()).family(), QStringLiteral("IPAPGothic"));
}

} // namespace
} // namespace korvanti::testing
