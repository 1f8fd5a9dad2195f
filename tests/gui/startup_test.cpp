// The window as it comes up: captions, menu tree and states, panels, the
// status bar, the hidden tool bar, the application object.
#include <QCoreApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>

#include "app/about_box.h"
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
    EXPECT_EQ(window->objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(window->document().edit_count, 0);
}

TEST_F(StartUp, ClientAreaBelowTheMenuBar)
{
    window->show();
    EXPECT_EQ(window->width(), 696);
    EXPECT_EQ(window->height() - window->menuBar()->height(), 435);
    EXPECT_EQ(window->pos(), QPoint(0, 103));
    EXPECT_EQ(Find<QFrame>("Panel1")->width(), 105);
    EXPECT_EQ(Find<QFrame>("Panel6")->height(), 17);
    EXPECT_EQ(Find<QFrame>("Panel4")->height(), 80);
    EXPECT_EQ(Find<QFrame>("Panel2")->height(), 80);
}

TEST_F(StartUp, FileAndEditMenus)
{
    EXPECT_TRUE(Item("L1")->isEnabled());
    EXPECT_TRUE(Item("Q1")->isEnabled());
    for (const char* name : {"S1", "O1", "C1", "U1", "S9"})
        EXPECT_FALSE(Item(name)->isEnabled()) << name;
    EXPECT_EQ(Item("F1")->text(), QStringLiteral("ファイル（&F）"));
    EXPECT_EQ(Item("L1")->text(), QStringLiteral("ファイルの読み込み（&L）"));
    EXPECT_EQ(Item("Q1")->text(), QStringLiteral("アプリケーションの終了（&Q）"));
    EXPECT_TRUE(Item("N1")->isSeparator());
    EXPECT_EQ(Item("U1")->text(), QStringLiteral("元に戻す（&U）"));
    EXPECT_EQ(Item("S9")->text(), QStringLiteral("やり直す（&S）"));
}

TEST_F(StartUp, ViewMenuChecksAndStates)
{
    for (const char* name : {"Q2", "S7", "S10", "K5", "G4"})
        EXPECT_TRUE(Item(name)->isChecked()) << name;
    EXPECT_FALSE(Item("T2")->isChecked());
    for (const char* name : {"N25U1", "H4", "N25U2", "G4", "T2"})
        EXPECT_FALSE(Item(name)->isEnabled()) << name;
    EXPECT_EQ(Item("N25U1")->text(), QStringLiteral("拡大表示 +25%（&U）"));
    EXPECT_EQ(Item("K5")->text(), QStringLiteral("拡大率(&K)"));
}

TEST_F(StartUp, ToolsMenuWaitsForAPicture)
{
    EXPECT_FALSE(Item("T1")->isEnabled());
    EXPECT_EQ(Item("T1")->text(), QStringLiteral("ツール（&T）"));
    // Planned commands are grey for good; N23 too, though it has a handler.
    for (const char* name : {"A1", "K1", "M1", "S4", "N21", "A3", "N1L1", "N1H1", "R2", "G1", "N7", "A2", "D1",
                             "I2", "K4", "N15", "N16777216161", "MedelianM1", "N23"})
        EXPECT_FALSE(Item(name)->isEnabled()) << name;
    EXPECT_EQ(Item("K1")->text(), QStringLiteral("回転（&K）"));
    EXPECT_EQ(Item("G5")->text(), QStringLiteral("グ○コのおまけ♪(&G)"));
    EXPECT_EQ(Item("N23")->text(), QStringLiteral("ぷらぐいん"));
    EXPECT_EQ(Item("N16777216161")->text(), QStringLiteral("16777216→16(&Ｔ)"));
}

TEST_F(StartUp, EveryCatalogueEffectHasAnEnabledMenuItem)
{
    for (const EffectEntry& effect : EffectCatalogue()) {
        const QString name = QString::fromUtf8(effect.menu_id.data(), static_cast<qsizetype>(effect.menu_id.size()));
        QAction* item = window->Item(name);
        ASSERT_NE(item, nullptr) << name.toStdString();
        EXPECT_TRUE(item->isEnabled()) << name.toStdString();
        EXPECT_EQ(item->text().toStdString(), effect.caption);
    }
}

TEST_F(StartUp, HelpMenu)
{
    for (const char* name : {"H1", "H2", "S3", "V1"})
        EXPECT_TRUE(Item(name)->isEnabled()) << name;
    EXPECT_EQ(Item("V1")->text(), QStringLiteral("バージョン情報（&V）"));
}

TEST_F(StartUp, QuickAccessBarControls)
{
    auto* track_bar = Find<QSlider>("TrackBar1");
    EXPECT_FALSE(track_bar->isEnabled());
    EXPECT_EQ(track_bar->value(), 100);
    EXPECT_EQ(track_bar->minimum(), 10);
    EXPECT_EQ(track_bar->maximum(), 500);
    EXPECT_EQ(track_bar->tickInterval(), 5);
    EXPECT_EQ(track_bar->geometry(), QRect(8, 24, 81, 25));
    EXPECT_EQ(Find<QLabel>("Label3")->text(), QStringLiteral("拡大率：100%"));
    EXPECT_EQ(Find<QLabel>("Label4")->text(), QStringLiteral("クイックアクセス"));
    EXPECT_EQ(Find<QLabel>("Label2")->text(), QStringLiteral("表示の拡大率"));
    EXPECT_EQ(Find<QLabel>("Label1")->text(), QStringLiteral("処理の進行状況"));
    auto* cancel = Find<QPushButton>("Button1");
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_EQ(cancel->text(), QStringLiteral("キャンセル"));
    EXPECT_EQ(cancel->geometry(), QRect(5, 48, 85, 25));
    auto* progress = Find<QProgressBar>("ProgressBar1");
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(progress->value(), 0);
    for (const char* name : {"Button2", "Button3", "Button4"}) {
        EXPECT_EQ(Find<QPushButton>(name)->text(), QStringLiteral("×"));
        EXPECT_EQ(Find<QPushButton>(name)->geometry(), QRect(80, 2, 13, 13));
    }
}

TEST_F(StartUp, StatusBarPanels)
{
    const QString texts[] = {QStringLiteral("ファイル名："), QStringLiteral("解像度："), QStringLiteral("編集："),
                             QStringLiteral("ファイル形式："), QStringLiteral("拡大率：")};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(window->PanelText(i), texts[i]) << i;
    EXPECT_EQ(Find<QLabel>("StatusBar1Panel0")->width(), 150);
    EXPECT_EQ(Find<QLabel>("StatusBar1Panel1")->width(), 120);
    EXPECT_EQ(Find<QLabel>("StatusBar1Panel2")->width(), 100);
    EXPECT_EQ(Find<QLabel>("StatusBar1Panel3")->width(), 174);
    EXPECT_GE(Find<QLabel>("StatusBar1Panel4")->minimumWidth(), 50);
}

TEST_F(StartUp, ToolBarStaysHidden)
{
    window->show();
    auto* tool_bar = Find<QToolBar>("ToolBar1");
    ASSERT_NE(tool_bar, nullptr);
    EXPECT_FALSE(tool_bar->isVisible());
    EXPECT_EQ(window->createPopupMenu(), nullptr);
    EXPECT_FALSE(Find<QAction>("ToolButton1")->isVisible());
}

TEST_F(StartUp, ViewIsEmptyAndAboutBoxHidden)
{
    EXPECT_TRUE(window->Image1()->Picture().isNull());
    EXPECT_TRUE(window->Image1()->AutoSize());
    EXPECT_FALSE(window->Image1()->Stretch());
    EXPECT_FALSE(window->Form2()->isVisible());
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
