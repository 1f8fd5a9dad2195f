// The window as it comes up: captions, menu tree and states, panels, the
// hidden tool bar, the application object.
#include <tuple>

#include <QCoreApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QToolBar>

#include "effects/catalogue.h"
#include "gui_test_support.h"
#include "view/image_control.h"

namespace korvanti::testing {
namespace {

using StartUp = WindowTest;

TEST_F(StartUp, CaptionsFontAndButtonsInJapanese)
{
    EXPECT_EQ(Caption(), QStringLiteral("Korvanti Ver 1.0.0"));
    // The X11 window class and the settings file's name; the caption keeps the title.
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("korvanti"));
    EXPECT_EQ(window->objectName(), QStringLiteral("mainWindow"));
    EXPECT_EQ(window->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    EXPECT_EQ(window->font().pixelSize(), 12);
    // The Windows face is not installed; a Japanese P-Gothic stands in for it.
    EXPECT_EQ(QFontInfo(window->font()).family(), QStringLiteral("IPAPGothic"));
    QMessageBox box(QMessageBox::NoIcon, QString(), QString(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

TEST_F(StartUp, MenuTextsAndStates)
{
    const std::pair<const char*, const char*> texts[] = {
        {"fileMenu", "ファイル（&F）"},        {"openAction", "ファイルの読み込み（&L）"},
        {"quitAction", "アプリケーションの終了（&Q）"}, {"undoAction", "元に戻す（&U）"},
        {"redoAction", "やり直す（&S）"},      {"zoomInAction", "拡大表示 +25%（&U）"},
        {"zoomBoxAction", "拡大率(&K)"},       {"toolsMenu", "ツール（&T）"},
        {"rotateAction", "回転（&K）"},         {"bonusMenu", "グ○コのおまけ♪(&G)"},
        {"pluginAction", "ぷらぐいん"},         {"to16ColoursAction", "16777216→16(&Ｔ)"},
        {"aboutAction", "バージョン情報（&V）"}};
    for (const auto& [name, text] : texts)
        EXPECT_EQ(Action(name)->text(), QString::fromUtf8(text)) << name;
    // The model sequence checks the picture commands; these stay as they are.
    for (const char* name : {"helpMenu", "helpAction", "supportPageAction", "aboutAction"})
        EXPECT_TRUE(Action(name)->isEnabled()) << name;
    // Planned commands are grey for good, the plug-in command too, though it
    // has a handler.
    for (const char* name :
         {"brightnessAction", "rotateAction", "mappingAction", "scaleAction", "enlargeHypercubicAction",
          "prewittTopLeftAction", "lowPassAction", "highPassAction", "outlineOnlyAction", "errorDiffusionFilterAction",
          "analogueScanAction", "oilPaintingAction", "drawingPenAction", "interlaceAction",
          "resolutionOptimisationAction", "filterMatrixAction", "to16ColoursAction", "medianCutDitherAction",
          "pluginAction"})
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
    for (const char* name :
         {"quickAccessBarAction", "statusBarAction", "progressBoxAction", "zoomBoxAction", "actualSizeAction"})
        EXPECT_TRUE(Action(name)->isChecked()) << name;
    EXPECT_FALSE(Action("fitToWindowAction")->isChecked());
    const QList<QAction*> file_items = Find<QMenu>("fileMenu")->actions();
    ASSERT_EQ(file_items.size(), 7);
    EXPECT_EQ(file_items[3], Action("closeAction"));
    EXPECT_EQ(file_items[4], Action("recentFilesMenu"));
    EXPECT_TRUE(file_items[5]->isSeparator());
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

TEST_F(StartUp, QuickAccessBar)
{
    auto* track_bar = Find<QSlider>("zoomSlider");
    EXPECT_FALSE(track_bar->isEnabled());
    EXPECT_EQ(std::vector<int>({track_bar->value(), track_bar->minimum(), track_bar->maximum(), track_bar->tickInterval()}),
              std::vector<int>({100, 10, 500, 5}));
    auto* progress = Find<QProgressBar>("progressBar");
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(progress->value(), 0);
    EXPECT_FALSE(Find<QPushButton>("cancelButton")->isEnabled());
    const std::pair<const char*, const char*> texts[] = {
        {"zoomLabel", "拡大率：100%"}, {"quickAccessHeading", "クイックアクセス"}, {"zoomBoxHeading", "表示の拡大率"},
        {"progressBoxHeading", "処理の進行状況"}};
    for (const auto& [name, text] : texts)
        EXPECT_EQ(Find<QLabel>(name)->text(), QString::fromUtf8(text)) << name;
    const std::tuple<const char*, const char*, QRect> buttons[] = {
        {"cancelButton", "キャンセル", QRect(5, 48, 85, 25)},
        {"progressBoxCloseButton", "×", QRect(80, 2, 13, 13)},
        {"quickAccessCloseButton", "×", QRect(80, 2, 13, 13)},
        {"zoomBoxCloseButton", "×", QRect(80, 2, 13, 13)}};
    for (const auto& [name, text, geometry] : buttons) {
        EXPECT_EQ(Find<QPushButton>(name)->text(), QString::fromUtf8(text)) << name;
        EXPECT_EQ(Find<QPushButton>(name)->geometry(), geometry) << name;
    }
    EXPECT_EQ(track_bar->geometry(), QRect(8, 24, 81, 25));
}

TEST_F(StartUp, ToolBarHiddenAndViewEmpty)
{
    window->show();
    auto* tool_bar = Find<QToolBar>("toolBar");
    ASSERT_NE(tool_bar, nullptr);
    EXPECT_FALSE(tool_bar->isVisible());
    EXPECT_EQ(window->createPopupMenu(), nullptr);
    EXPECT_FALSE(Find<QAction>("saveToolButton")->isVisible());
    EXPECT_TRUE(window->image_control()->AutoSize());
    EXPECT_FALSE(window->image_control()->Stretch());
}

} // namespace
} // namespace korvanti::testing
