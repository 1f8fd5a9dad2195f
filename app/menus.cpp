// The menu bar as a table, the code that builds the actions from it, and
// UpdateActions(), the one place that enables and disables them.
#include <string_view>
#include <vector>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>

#include "app/main_window.h"
#include "app/quick_access_bar.h"
#include "effects/catalogue.h"

namespace korvanti {
namespace {

using Command = void (MainWindow::*)();
using ActionSlot = QAction* WindowActions::*;

// kRefusedDuringRun: the command does nothing while an effect runs and
// pumps messages (it would work on the planes the run is using).
enum MenuFlag : unsigned { kNeverEnabled = 1, kChecked = 2, kCheckable = 4, kRefusedDuringRun = 8 };

// One row per menu item, in menu order; depth 0 is the menu bar. An item
// followed by deeper ones is a submenu. Items that are never enabled are
// planned commands and stay grey for good.
struct MenuRow {
    int depth;
    const char* name;    // object name; null for a separator
    const char* caption; // for an effect, its name in the catalogue
    unsigned flags = 0;
    Command command = nullptr;
    ActionSlot slot = nullptr; // where the window keeps the action
    bool effect = false;
};

constexpr MenuRow Separator(int depth) { return {depth, nullptr, "-"}; }

// An effect of the catalogue, by its batch name; the caption comes from there.
constexpr MenuRow Effect(int depth, const char* batch_name)
{
    return {depth, nullptr, batch_name, 0, nullptr, nullptr, true};
}

// A planned command: shown, but grey for good.
constexpr MenuRow Planned(int depth, const char* name, const char* caption)
{
    return {depth, name, caption, kNeverEnabled};
}

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr MenuRow kMenuRows[] = {
    {0, "fileMenu", "ファイル（&F）"},
    {1, "openAction", "ファイルの読み込み（&L）", kRefusedDuringRun, &MainWindow::OpenPicture},
    {1, "saveAsAction", "名前を付けて保存（&S）", kRefusedDuringRun, &MainWindow::SavePictureAs, &WindowActions::save_as},
    {1, "saveAction", "上書き保存（&O）", kRefusedDuringRun, &MainWindow::SavePicture, &WindowActions::save},
    {1, "closeAction", "閉じる（&C）", kRefusedDuringRun, &MainWindow::ClosePicture, &WindowActions::close},
    {1, "recentFilesMenu", "最近使ったファイル(&R)", 0, nullptr, &WindowActions::recent_files_menu},
    Separator(2),
    {2, "clearRecentFilesAction", "一覧を消去", 0, &MainWindow::ClearRecentFiles, &WindowActions::clear_recent_files},
    Separator(1),
    {1, "quitAction", "アプリケーションの終了（&Q）", 0, &MainWindow::Quit},
    {0, "editMenu", "編集（&E）"},
    {1, "undoAction", "元に戻す（&U）", kRefusedDuringRun, &MainWindow::Undo, &WindowActions::undo},
    {1, "redoAction", "やり直す（&S）", kRefusedDuringRun, &MainWindow::Redo, &WindowActions::redo},
    Separator(1),
    {1, "copyAction", "コピー(&C)", kRefusedDuringRun, &MainWindow::CopyPicture, &WindowActions::copy},
    {1, "pasteAction", "貼り付け(&P)", kRefusedDuringRun, &MainWindow::PastePicture, &WindowActions::paste},
    {0, "viewMenu", "表示（&V）"},
    {1, "quickAccessBarAction", "クイックアクセスバー（&Q）", kChecked, &MainWindow::ToggleQuickAccessBar,
     &WindowActions::quick_access_bar},
    {1, "statusBarAction", "ステータスバー（&S）", kChecked, &MainWindow::ToggleStatusBar,
     &WindowActions::status_bar},
    {1, "progressBoxAction", "進行状況（&S）", kChecked, &MainWindow::ToggleProgressBox,
     &WindowActions::progress_box},
    {1, "zoomBoxAction", "拡大率(&K)", kChecked, &MainWindow::ToggleZoomBox, &WindowActions::zoom_box},
    Separator(1),
    {1, "zoomInAction", "拡大表示 +25%（&U）", 0, &MainWindow::ZoomIn, &WindowActions::zoom_in},
    {1, "normalSizeAction", "標準表示 100%(&H)", 0, &MainWindow::NormalSize, &WindowActions::normal_size},
    {1, "zoomOutAction", "縮小表示 -25%（&U）", 0, &MainWindow::ZoomOut, &WindowActions::zoom_out},
    Separator(1),
    {1, "actualSizeAction", "原寸大表示（&G）", kChecked, &MainWindow::ActualSize, &WindowActions::actual_size},
    {1, "fitToWindowAction", "スクリーン表示(&T)", kCheckable, &MainWindow::FitToWindow,
     &WindowActions::fit_to_window},
    {0, "toolsMenu", "ツール（&T）", 0, nullptr, &WindowActions::tools_menu},
    {1, "standardMenu", "標準エフェクタ（&N）"},
    Planned(2, "brightnessAction", "輝度（&A）"),
    {2, "saturationMenu", "彩度（&S）"},
    {3, "colourCountMenu", "色数エフェクタ(&I)"},
    {4, "fullColourMenu", "16777216色変換(&F)"},
    Planned(5, "to65536ColoursAction", "16777216→65536(&F)"),
    Planned(5, "to256ColoursAction", "16777216→256(&D)"),
    Planned(5, "to16ColoursAction", "16777216→16(&Ｔ)"),
    Planned(5, "to2ColoursAction", "16777216→2(&S)"),
    {4, "ditherMenu", "ディザエフェクト(&D)"},
    Planned(5, "medianCutDitherAction", "Medelianカット法(&M)"),
    Planned(5, "errorDiffusionDitherAction", "誤差拡散法(&G)"),
    Planned(5, "uniformDitherAction", "均等法(&K)"),
    Effect(3, "invert"),
    Effect(3, "invert-mean-square"),
    {1, "geometricMenu", "幾何学エフェクタ（&K）"},
    Planned(2, "rotateAction", "回転（&K）"),
    Planned(2, "mappingAction", "マッピング（&M）"),
    Planned(2, "scaleAction", "拡大・縮小（&S）"),
    Effect(2, "mosaic"),
    Planned(2, "enlargeHypercubicAction", "拡大：ハイパーキュービック法(&N)"),
    Planned(2, "enlargeNearestAction", "拡大：ニアレストネイバー法(&N)"),
    Planned(2, "enlargeBilinearAction", "拡大：バイリニア法(&N)"),
    Separator(1),
    {1, "differentialMenu", "微積フィルタ（&B）"},
    Effect(2, "emboss"),
    {2, "prewittMenu", "エッジ検出：Prewitt"},
    Planned(3, "prewittTopLeftAction", "左上(&A)"),
    Planned(3, "prewittLeftAction", "左(&H)"),
    Planned(3, "prewittRightAction", "右(&F)"),
    {2, "laplacianMenu", "エッジ検出：Laplacian"},
    Effect(3, "laplacian-strong"),
    Effect(3, "laplacian-weak"),
    {1, "frequencyMenu", "周波数フィルタ(&S)"},
    {2, "blurMenu", "ぼかしフィルタ（&B）"},
    Effect(3, "blur"),
    Planned(3, "lowPassAction", "ローパスフィルタ：1(&L)"),
    {2, "sharpenMenu", "シャープフィルタ（&S）"},
    Effect(3, "sharpen"),
    Planned(3, "highPassAction", "ハイパスフィルタ：1(&H)"),
    Planned(3, "outlineOnlyAction", "輪郭のみ強調（&R）"),
    {1, "noiseCutMenu", "ノイズカットエフェクタ（&N）"},
    Effect(2, "median"),
    Effect(2, "median-hard"),
    Effect(2, "median-natural"),
    Planned(2, "errorDiffusionFilterAction", "誤差拡散フィルタ（&G）"),
    Effect(2, "moving-average"),
    Effect(2, "geometric-cut"),
    Planned(2, "analogueScanAction", "アナログスキャン修正（&A）"),
    Separator(1),
    {1, "paintingMenu", "絵画エフェクタ（&I）"},
    Planned(2, "oilPaintingAction", "油絵エフェクタ（&A）"),
    Planned(2, "watercolourPaintingAction", "水彩画エフェクタ（&S）"),
    Planned(2, "inkPaintingAction", "水墨画エフェクタ（&B）"),
    {1, "printMenu", "版画エフェクタ（&H）"},
    Planned(2, "woodcutAction", "木版画（&M）"),
    Planned(2, "woodCarvingAction", "木彫り（&K）"),
    {1, "sketchMenu", "スケッチエフェクタ（&J）"},
    Effect(2, "rough-sketch"),
    Planned(2, "drawingPenAction", "ドローイングペン（&D）"),
    Effect(2, "charcoal-sketch"),
    Separator(1),
    {1, "videoMenu", "VTR調エフェクタ（&G）"},
    Planned(2, "interlaceAction", "インターレースエフェクタ（&I）"),
    Planned(2, "resolutionAction", "解像度エフェクタ（&K）"),
    {1, "gameScreenMenu", "ゲーム画面エフェクタ（&G）"},
    Planned(2, "designSheetAction", "設定資料エフェクタ（&S）"),
    Planned(2, "resolutionOptimisationAction", "解像度最適化（&K）"),
    Separator(1),
    {1, "earlierEffectsMenu", "Ver1.0.0以前に作成したエフェクタ(&I)"},
    {2, "chromaKeyMenu", "クロマキー(&P)"},
    Effect(3, "chroma-key-negative"),
    {2, "specialMenu", "特殊エフェクト(&T)"},
    Effect(3, "sunset"),
    Effect(3, "pro-watercolour"),
    Effect(3, "nostalgia"),
    {2, "bonusMenu", "グ○コのおまけ♪(&G)"},
    Effect(3, "time-inversion"),
    Effect(3, "histogram-stretch"),
    Effect(3, "watercolour-style"),
    Separator(2),
    // The plug-in command has its handler, but nothing enables it.
    {2, "pluginAction", "ぷらぐいん", kNeverEnabled, &MainWindow::InstallPlugins},
    Separator(1),
    Planned(1, "filterMatrixAction", "フィルタ行列の定義（&F）"),
    {0, "helpMenu", "ヘルプ(&H)"},
    {1, "helpAction", "ヘルプを見る(&H)", 0, &MainWindow::OpenHelp},
    {1, "supportPageAction", "サポートページ（&S）", 0, &MainWindow::OpenSupportPage},
    Separator(1),
    {1, "aboutAction", "バージョン情報（&V）", 0, &MainWindow::ShowAbout},
};

} // namespace

void MainWindow::BuildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));
    std::vector<QMenu*> parents;
    const size_t count = std::size(kMenuRows);
    for (size_t i = 0; i < count; ++i) {
        const MenuRow& row = kMenuRows[i];
        parents.resize(static_cast<size_t>(row.depth));
        const EffectEntry* effect = row.effect ? FindEffect(row.caption) : nullptr;
        const QString caption = effect != nullptr ? FromUtf8(effect->caption) : QString::fromUtf8(row.caption);
        const bool has_children = i + 1 < count && kMenuRows[i + 1].depth > row.depth;
        QAction* action = nullptr;
        if (row.name == nullptr && !row.effect) {
            action = parents.back()->addSeparator();
        } else if (has_children) {
            QMenu* menu = row.depth == 0 ? bar->addMenu(caption) : parents.back()->addMenu(caption);
            menu->setObjectName(QLatin1String(row.name));
            action = menu->menuAction();
            parents.push_back(menu);
        } else {
            action = row.depth == 0 ? bar->addAction(caption) : parents.back()->addAction(caption);
        }
        if (row.name != nullptr) {
            action->setObjectName(QLatin1String(row.name));
            actions_by_name_.insert(QLatin1String(row.name), action);
        }
        action->setEnabled((row.flags & kNeverEnabled) == 0);
        if ((row.flags & (kChecked | kCheckable)) != 0) {
            action->setCheckable(true);
            action->setChecked((row.flags & kChecked) != 0);
        }
        if (row.command != nullptr && (row.flags & kRefusedDuringRun) != 0)
            connect(action, &QAction::triggered, this, RefusedDuringRun(row.command));
        else if (row.command != nullptr)
            connect(action, &QAction::triggered, this, row.command);
        if (row.slot != nullptr)
            actions_.*row.slot = action;
        if (effect != nullptr) {
            action->setObjectName(FromUtf8(effect->batch_name));
            connect(action, &QAction::triggered, this, RefusedDuringRun([this, effect] { ApplyEffect(*effect); }));
            effect_actions_.insert(effect, action);
        }
    }
}

std::function<void()> MainWindow::RefusedDuringRun(std::function<void()> command)
{
    return [this, command = std::move(command)] {
        if (!context_.Running())
            command();
    };
}

std::function<void()> MainWindow::RefusedDuringRun(void (MainWindow::*command)())
{
    return RefusedDuringRun([this, command] { (this->*command)(); });
}

void MainWindow::UpdateActions()
{
    for (QAction* action : {actions_.save_as, actions_.save, actions_.tools_menu, actions_.close,
                            actions_.actual_size, actions_.fit_to_window, actions_.copy})
        action->setEnabled(has_picture_);
    for (QAction* action : {actions_.zoom_in, actions_.normal_size, actions_.zoom_out})
        action->setEnabled(zoom_enabled_);
    quick_access_bar_->zoom_slider()->setEnabled(zoom_enabled_);
    actions_.undo->setEnabled(doc_.undo_enabled);
    actions_.redo->setEnabled(doc_.redo_enabled);
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    actions_.paste->setEnabled(clipboard != nullptr && clipboard->hasImage());
}

} // namespace korvanti
