#include "app/main_window.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <stdexcept>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/about_box.h"
#include "app/file_dialogs.h"
#include "app/message_box.h"
#include "effects/catalogue.h"
#include "plugins/plugin_installer.h"
#include "view/image_control.h"
#include "view/image_frame.h"
#include "view/zoom.h"

namespace korvanti {
namespace {

enum MenuFlag : unsigned { kDisabled = 1, kChecked = 2, kCheckable = 4 };

// One line per menu item, in menu order; depth 0 is the menu bar. An item
// followed by deeper ones is a submenu, "-" is a separator. Items with no
// handler are planned commands and stay grey for good.
struct MenuRow {
    int depth;
    const char* name;
    const char* caption;
    unsigned flags;
    void (Form1::*handler)();
};

constexpr MenuRow kMenuRows[] = {
    {0, "F1", "ファイル（&F）", 0, nullptr},
    {1, "L1", "ファイルの読み込み（&L）", 0, &Form1::L1Click},
    {1, "S1", "名前を付けて保存（&S）", kDisabled, &Form1::S1Click},
    {1, "O1", "上書き保存（&O）", kDisabled, &Form1::O1Click},
    {1, "C1", "閉じる（&C）", kDisabled, &Form1::C1Click},
    {1, "N1", "-", 0, nullptr},
    {1, "Q1", "アプリケーションの終了（&Q）", 0, &Form1::Q1Click},
    {0, "E1", "編集（&E）", 0, nullptr},
    {1, "U1", "元に戻す（&U）", kDisabled, &Form1::U1Click},
    {1, "S9", "やり直す（&S）", kDisabled, &Form1::S9Click},
    {0, "V2", "表示（&V）", 0, nullptr},
    {1, "Q2", "クイックアクセスバー（&Q）", kChecked, &Form1::Q2Click},
    {1, "S7", "ステータスバー（&S）", kChecked, &Form1::S7Click},
    {1, "S10", "進行状況（&S）", kChecked, &Form1::S10Click},
    {1, "K5", "拡大率(&K)", kChecked, &Form1::K5Click},
    {1, "N13", "-", 0, nullptr},
    {1, "N25U1", "拡大表示 +25%（&U）", kDisabled, &Form1::N25U1Click},
    {1, "H4", "標準表示 100%(&H)", kDisabled, &Form1::H4Click},
    {1, "N25U2", "縮小表示 -25%（&U）", kDisabled, &Form1::N25U2Click},
    {1, "N18", "-", 0, nullptr},
    {1, "G4", "原寸大表示（&G）", kDisabled | kChecked, &Form1::G4Click},
    {1, "T2", "スクリーン表示(&T)", kDisabled | kCheckable, &Form1::T2Click},
    {0, "T1", "ツール（&T）", kDisabled, nullptr},
    {1, "N2", "標準エフェクタ（&N）", 0, nullptr},
    {2, "A1", "輝度（&A）", kDisabled, nullptr},
    {2, "S2", "彩度（&S）", 0, nullptr},
    {3, "I5", "色数エフェクタ(&I)", 0, nullptr},
    {4, "N16777216F1", "16777216色変換(&F)", 0, nullptr},
    {5, "N167772161", "16777216→65536(&F)", kDisabled, nullptr},
    {5, "N167772162561", "16777216→256(&D)", kDisabled, nullptr},
    {5, "N16777216161", "16777216→16(&Ｔ)", kDisabled, nullptr},
    {5, "N1677721621", "16777216→2(&S)", kDisabled, nullptr},
    {4, "D2", "ディザエフェクト(&D)", 0, nullptr},
    {5, "MedelianM1", "Medelianカット法(&M)", kDisabled, nullptr},
    {5, "G7", "誤差拡散法(&G)", kDisabled, nullptr},
    {5, "K6", "均等法(&K)", kDisabled, nullptr},
    {3, "I4", "色の反転：ノーマル(&I)", 0, &Form1::I4Click},
    {3, "H6", "色の反転：平均二乗法(&H)", 0, &Form1::H6Click},
    {1, "N4", "幾何学エフェクタ（&K）", 0, nullptr},
    {2, "K1", "回転（&K）", kDisabled, nullptr},
    {2, "M1", "マッピング（&M）", kDisabled, nullptr},
    {2, "S4", "拡大・縮小（&S）", kDisabled, nullptr},
    {2, "S11", "縮小(-50%)：モザイク(S)", 0, &Form1::S11Click},
    {2, "N21", "拡大：ハイパーキュービック法(&N)", kDisabled, nullptr},
    {2, "N17", "拡大：ニアレストネイバー法(&N)", kDisabled, nullptr},
    {2, "N20", "拡大：バイリニア法(&N)", kDisabled, nullptr},
    {1, "N5", "-", 0, nullptr},
    {1, "B1", "微積フィルタ（&B）", 0, nullptr},
    {2, "E2", "エンボス（&E）", 0, &Form1::E2Click},
    {2, "Prewitt1", "エッジ検出：Prewitt", 0, nullptr},
    {3, "A3", "左上(&A)", kDisabled, nullptr},
    {3, "H7", "左(&H)", kDisabled, nullptr},
    {3, "F2", "右(&F)", kDisabled, nullptr},
    {2, "Laplacian1", "エッジ検出：Laplacian", 0, nullptr},
    {3, "N22", "強(&F)", 0, &Form1::N22Click},
    {3, "G2", "弱(&G)", 0, &Form1::G2Click},
    {1, "S13", "周波数フィルタ(&S)", 0, nullptr},
    {2, "B3", "ぼかしフィルタ（&B）", 0, nullptr},
    {3, "N14", "ノーマル（&N）", 0, &Form1::N14Click},
    {3, "N1L1", "ローパスフィルタ：1(&L)", kDisabled, nullptr},
    {2, "S5", "シャープフィルタ（&S）", 0, nullptr},
    {3, "N9", "ノーマル（&N）", 0, &Form1::N9Click},
    {3, "N1H1", "ハイパスフィルタ：1(&H)", kDisabled, nullptr},
    {3, "R2", "輪郭のみ強調（&R）", kDisabled, nullptr},
    {1, "N6", "ノイズカットエフェクタ（&N）", 0, nullptr},
    {2, "M2", "メディアンフィルタ（&M）", 0, &Form1::M2Click},
    {2, "G8", "拡張メディアンフィルタ：ハード(&G)", 0, &Form1::G8Click},
    {2, "G9", "拡張メディアンフィルタ：ナチュラル(&G)", 0, &Form1::G9Click},
    {2, "G1", "誤差拡散フィルタ（&G）", kDisabled, nullptr},
    {2, "I3", "移動平均フィルタ（&I）", 0, &Form1::I3Click},
    {2, "K2", "幾何学カットフィルタ（&K）", 0, &Form1::K2Click},
    {2, "N7", "アナログスキャン修正（&A）", kDisabled, nullptr},
    {1, "N8", "-", 0, nullptr},
    {1, "I1", "絵画エフェクタ（&I）", 0, nullptr},
    {2, "A2", "油絵エフェクタ（&A）", kDisabled, nullptr},
    {2, "S6", "水彩画エフェクタ（&S）", kDisabled, nullptr},
    {2, "B2", "水墨画エフェクタ（&B）", kDisabled, nullptr},
    {1, "H3", "版画エフェクタ（&H）", 0, nullptr},
    {2, "M4", "木版画（&M）", kDisabled, nullptr},
    {2, "K3", "木彫り（&K）", kDisabled, nullptr},
    {1, "J1", "スケッチエフェクタ（&J）", 0, nullptr},
    {2, "R1", "ラフスケッチ（&R）", 0, &Form1::R1Click},
    {2, "D1", "ドローイングペン（&D）", kDisabled, nullptr},
    {2, "M3", "木炭スケッチ（&M）", 0, &Form1::M3Click},
    {1, "N11", "-", 0, nullptr},
    {1, "N10", "VTR調エフェクタ（&G）", 0, nullptr},
    {2, "I2", "インターレースエフェクタ（&I）", kDisabled, nullptr},
    {2, "N12", "解像度エフェクタ（&K）", kDisabled, nullptr},
    {1, "G3", "ゲーム画面エフェクタ（&G）", 0, nullptr},
    {2, "S8", "設定資料エフェクタ（&S）", kDisabled, nullptr},
    {2, "K4", "解像度最適化（&K）", kDisabled, nullptr},
    {1, "N16", "-", 0, nullptr},
    {1, "I6", "Ver1.0.0以前に作成したエフェクタ(&I)", 0, nullptr},
    {2, "P1", "クロマキー(&P)", 0, nullptr},
    {3, "N24", "ネガ(&N)", 0, &Form1::N24Click},
    {2, "T3", "特殊エフェクト(&T)", 0, nullptr},
    {3, "Y1", "あぁ・・・夕日よ！(&Y)", 0, &Form1::Y1Click},
    {3, "O2", "おまかせプロ水彩(&O)", 0, &Form1::O2Click},
    {3, "C2", "郷愁の日々(&C)", 0, &Form1::C2Click},
    {2, "G5", "グ○コのおまけ♪(&G)", 0, nullptr},
    {3, "H5", "時間の反転エフェクト(&H)", 0, &Form1::H5Click},
    {3, "G6", "ヒストグラム最大(&G)", 0, &Form1::G6Click},
    {3, "S12", "水彩画風(&S)", 0, &Form1::S12Click},
    {2, "N25", "-", 0, nullptr},
    {2, "N23", "ぷらぐいん", kDisabled, &Form1::N23Click},
    {1, "N19", "-", 0, nullptr},
    {1, "N15", "フィルタ行列の定義（&F）", kDisabled, nullptr},
    {0, "H1", "ヘルプ(&H)", 0, nullptr},
    {1, "H2", "ヘルプを見る(&H)", 0, &Form1::H2Click},
    {1, "S3", "サポートページ（&S）", 0, &Form1::S3Click},
    {1, "N3", "-", 0, nullptr},
    {1, "V1", "バージョン情報（&V）", 0, &Form1::V1Click},
};

// Texts of the file commands.
const QString kReadFailure = QStringLiteral("読み込みに失敗しました。");
const QString kWriteFailure = QStringLiteral("書き込みに失敗しました。読取専用の場合、上書きできません。");
const QString kFileErrorCaption = QStringLiteral("書き込みエラー");
const QString kUnsavedText = QStringLiteral("保存していないファイルがあります。上書き保存しますか？");
const QString kUnsavedCaption = QStringLiteral("ファイルの未保存");
const QString kZoomPrefix = QStringLiteral("拡大率：");
const QString kActualSize = QStringLiteral("拡大率：原寸大表示");
const QString kScreenMode = QStringLiteral("拡大率：スクリーン表示");
const QString kPluginInstalledText = QStringLiteral("正常にプラグインの追加を行いました。");
const QString kPluginBrokenText =
    QStringLiteral("エラーのあるプラグインファイルです。有効なプラグインファイルではありません。追加を行えません。");

// The status panels: design texts, the texts after close, and widths. The
// last panel takes whatever room is left, at least its width.
const std::array<QString, 5> kPanelDesignTexts = {QStringLiteral("ファイル名："), QStringLiteral("解像度："),
                                                 QStringLiteral("編集："), QStringLiteral("ファイル形式："),
                                                 QStringLiteral("拡大率：")};
const std::array<QString, 4> kPanelClosedTexts = {QStringLiteral("ファイル名："), QStringLiteral("解像度："),
                                                 QStringLiteral("ファイル："), QStringLiteral("ファイル形式：")};
constexpr std::array<int, 5> kPanelWidths = {150, 120, 100, 174, 50};

// The items an open picture enables and close disables, in that order.
const char* const kPictureItems[] = {"S1", "O1", "T1", "C1", "G4", "T2", "N25U1", "H4", "N25U2"};

constexpr int kClientWidth = 696;
constexpr int kClientHeight = 435;
const QColor kTitleStripColour(0, 0, 255);
const QColor kQuickAccessColour(192, 192, 192);
const QColor kBoxColour(212, 208, 200);

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString DisplayPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

QString EditStateText(int32_t edit_count)
{
    return edit_count < 2 ? QStringLiteral("ファイル：未編集") : QStringLiteral("ファイル：編集済み");
}

QFont PixelFont(int pixels)
{
    QFont font(kWindowFontFamily);
    font.setPixelSize(pixels);
    return font;
}

void Paint(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// Decodes the document's whole file for the view. The header was checked
// when the file was loaded; a picture the decoder still declines is tried
// again with a plain 40-byte info header, since the pixel offset in the file
// header says where the pixels are either way.
QImage DecodePicture(const Bytes& file_bytes)
{
    const auto* data = reinterpret_cast<const char*>(file_bytes.data());
    const auto size = static_cast<qsizetype>(file_bytes.size());
    QImage picture = QImage::fromData(QByteArrayView(data, size), "BMP");
    if (picture.isNull() && file_bytes.size() >= static_cast<size_t>(kHeaderBytes)) {
        QByteArray plain(data, size);
        plain[14] = 40;
        plain[15] = plain[16] = plain[17] = 0;
        picture = QImage::fromData(plain, "BMP");
    }
    if (picture.isNull())
        throw std::runtime_error("画像を表示できません。");
    return picture;
}

} // namespace

Form1::Form1(std::unique_ptr<FileDialogs> dialogs)
    : exit_process([](int status) { std::_Exit(status); }),
      open_url([](const QUrl& url) { QDesktopServices::openUrl(url); }),
      scratch_path(ScratchBitmap()),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<QtFileDialogs>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kDesignCaption);
    setFont(PixelFont(12));

    BuildMenu();
    BuildToolBar();
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(BuildQuickAccessBar());
    frame11_ = new ImageFrame(central);
    layout->addWidget(frame11_, 1);
    setCentralWidget(central);
    BuildStatusBar();

    // The client area is measured below the menu bar.
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    move(0, 103);

    form2_ = std::make_unique<AboutBox>(this);
    FormCreate();
}

Form1::~Form1() = default;

void Form1::BuildMenu()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    std::vector<QMenu*> parents;
    const size_t count = std::size(kMenuRows);
    for (size_t i = 0; i < count; ++i) {
        const MenuRow& row = kMenuRows[i];
        parents.resize(static_cast<size_t>(row.depth));
        const QString caption = QString::fromUtf8(row.caption);
        const bool has_children = i + 1 < count && kMenuRows[i + 1].depth > row.depth;
        QAction* action = nullptr;
        if (caption == QLatin1String("-")) {
            action = parents.back()->addSeparator();
        } else if (has_children) {
            QMenu* menu = row.depth == 0 ? bar->addMenu(caption) : parents.back()->addMenu(caption);
            menu->setObjectName(QLatin1String(row.name));
            action = menu->menuAction();
            parents.push_back(menu);
        } else {
            action = row.depth == 0 ? bar->addAction(caption) : parents.back()->addAction(caption);
        }
        action->setObjectName(QLatin1String(row.name));
        action->setEnabled((row.flags & kDisabled) == 0);
        if ((row.flags & (kChecked | kCheckable)) != 0) {
            action->setCheckable(true);
            action->setChecked((row.flags & kChecked) != 0);
        }
        if (row.handler != nullptr)
            connect(action, &QAction::triggered, this, [this, handler = row.handler] { (this->*handler)(); });
        items_.insert(QLatin1String(row.name), action);
    }
}

void Form1::BuildToolBar()
{
    tool_bar1_ = new QToolBar(this);
    tool_bar1_->setObjectName(QStringLiteral("ToolBar1"));
    tool_bar1_->setFixedHeight(29);
    tool_bar1_->setMovable(false);
    tool_bar1_->toggleViewAction()->setEnabled(false);
    QAction* save = tool_bar1_->addAction(QStringLiteral("Save"));
    save->setObjectName(QStringLiteral("ToolButton1"));
    save->setVisible(false);
    tool_bar1_->addSeparator()->setObjectName(QStringLiteral("ToolButton2"));
    tool_bar1_->addAction(QString())->setObjectName(QStringLiteral("ToolButton3"));
    tool_bar1_->addSeparator()->setObjectName(QStringLiteral("ToolButton4"));
    for (const char* name : {"ToolButton5", "ToolButton6", "ToolButton7"})
        tool_bar1_->addAction(QString())->setObjectName(QLatin1String(name));
    addToolBar(Qt::TopToolBarArea, tool_bar1_);
    tool_bar1_->hide();
}

namespace {

// A blue title strip with its heading and "×" button.
QFrame* TitleStrip(QWidget* parent, const char* name, const char* label_name, const QString& text,
                   const char* button_name, QPushButton** button)
{
    auto* strip = new QFrame(parent);
    strip->setObjectName(QLatin1String(name));
    strip->setFixedHeight(17);
    Paint(strip, kTitleStripColour);
    auto* label = new QLabel(text, strip);
    label->setObjectName(QLatin1String(label_name));
    label->setFont(PixelFont(11));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    label->move(4, 2);
    label->adjustSize();
    *button = new QPushButton(QStringLiteral("×"), strip);
    (*button)->setObjectName(QLatin1String(button_name));
    (*button)->setFont(PixelFont(11));
    (*button)->setGeometry(80, 2, 13, 13);
    (*button)->setFocusPolicy(Qt::NoFocus);
    return strip;
}

// A box of the quick access bar: a title strip on top, controls placed by
// position below it.
QFrame* Box(const char* name, QFrame* strip)
{
    auto* box = new QFrame;
    box->setObjectName(QLatin1String(name));
    Paint(box, kBoxColour);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    strip->setParent(box);
    layout->addWidget(strip);
    layout->addStretch(1);
    return box;
}

} // namespace

QWidget* Form1::BuildQuickAccessBar()
{
    panel1_ = new QFrame;
    panel1_->setObjectName(QStringLiteral("Panel1"));
    panel1_->setFixedWidth(105);
    panel1_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel1_->setLineWidth(1);
    Paint(panel1_, kQuickAccessColour);
    auto* layout = new QVBoxLayout(panel1_);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);

    QPushButton* button3 = nullptr;
    QFrame* panel6 = TitleStrip(panel1_, "Panel6", "Label4", QStringLiteral("クイックアクセス"), "Button3", &button3);
    connect(button3, &QPushButton::clicked, this, &Form1::Button3Click);
    layout->addWidget(panel6);

    // The zoom box, bottom-aligned above the splitter.
    QPushButton* button4 = nullptr;
    panel4_ = Box("Panel4", TitleStrip(nullptr, "Panel5", "Label2", QStringLiteral("表示の拡大率"), "Button4", &button4));
    panel4_->setFixedHeight(80);
    connect(button4, &QPushButton::clicked, this, &Form1::Button4Click);
    track_bar1_ = new QSlider(Qt::Horizontal, panel4_);
    track_bar1_->setObjectName(QStringLiteral("TrackBar1"));
    track_bar1_->setGeometry(8, 24, 81, 25);
    track_bar1_->setRange(10, 500);
    track_bar1_->setValue(100);
    track_bar1_->setPageStep(2);
    track_bar1_->setTickInterval(5);
    track_bar1_->setTickPosition(QSlider::TicksBelow);
    track_bar1_->setEnabled(false);
    connect(track_bar1_, &QSlider::valueChanged, this, &Form1::TrackBar1Change);
    label3_ = new QLabel(QStringLiteral("拡大率：100%"), panel4_);
    label3_->setObjectName(QStringLiteral("Label3"));
    label3_->move(16, 56);
    label3_->setFixedWidth(80);

    // The progress box at the bottom.
    QPushButton* button2 = nullptr;
    panel2_ =
        Box("Panel2", TitleStrip(nullptr, "Panel3", "Label1", QStringLiteral("処理の進行状況"), "Button2", &button2));
    panel2_->setMinimumHeight(30);
    connect(button2, &QPushButton::clicked, this, &Form1::Button2Click);
    progress_bar1_ = new QProgressBar(panel2_);
    progress_bar1_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_bar1_->setGeometry(5, 24, 85, 17);
    progress_bar1_->setRange(0, 100);
    progress_bar1_->setValue(0);
    progress_bar1_->setTextVisible(false);
    button1_ = new QPushButton(QStringLiteral("キャンセル"), panel2_);
    button1_->setObjectName(QStringLiteral("Button1"));
    button1_->setGeometry(5, 48, 85, 25);
    button1_->setEnabled(false);
    connect(button1_, &QPushButton::clicked, this, &Form1::Button1Click);

    // Splitter2 sits between the two boxes and resizes the progress box;
    // while dragged it is drawn as a line, and it never snaps a box away.
    splitter2_ = new QSplitter(Qt::Vertical, panel1_);
    splitter2_->setObjectName(QStringLiteral("Splitter2"));
    splitter2_->setHandleWidth(6);
    splitter2_->setOpaqueResize(false);
    splitter2_->setChildrenCollapsible(false);
    auto* upper = new QWidget;
    auto* upper_layout = new QVBoxLayout(upper);
    upper_layout->setContentsMargins(0, 0, 0, 0);
    upper_layout->addStretch(1);
    upper_layout->addWidget(panel4_);
    splitter2_->addWidget(upper);
    splitter2_->addWidget(panel2_);
    splitter2_->setStretchFactor(0, 1);
    splitter2_->setStretchFactor(1, 0);
    splitter2_->setSizes({1000, 80});
    layout->addWidget(splitter2_, 1);
    return panel1_;
}

void Form1::BuildStatusBar()
{
    status_bar1_ = new QStatusBar(this);
    status_bar1_->setObjectName(QStringLiteral("StatusBar1"));
    for (size_t i = 0; i < status_panels_.size(); ++i) {
        auto* panel = new QLabel(kPanelDesignTexts[i]);
        panel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        const bool last = i + 1 == status_panels_.size();
        if (last)
            panel->setMinimumWidth(kPanelWidths[i]);
        else
            panel->setFixedWidth(kPanelWidths[i]);
        status_bar1_->addWidget(panel, last ? 1 : 0);
        status_panels_[i] = panel;
    }
    setStatusBar(status_bar1_);
}

QMenu* Form1::createPopupMenu()
{
    return nullptr; // nothing ever shows the tool bar
}

// ---- Process end and the unsaved-changes prompt ------------------------

int Form1::ConfirmUnsaved(int kind)
{
    if (kind == kQuitting) {
        if (doc_.edit_count >= 2 && MessageBox(kUnsavedText, kUnsavedCaption, kStyleYesNo) == kAnswerYes &&
            !SaveOverOwnFile())
            return kCancelled; // the picture stays, and so does the program
        exit_process(0);
        return kGoOn;
    }
    if (kind != kReplacing)
        return -1;
    if (doc_.edit_count < 2)
        return kGoOn;
    switch (MessageBox(kUnsavedText, kUnsavedCaption, kStyleYesNoCancel)) {
    case kAnswerYes:
        return SaveOverOwnFile() ? kGoOn : kCancelled;
    case kAnswerCancel:
        return kCancelled;
    default:
        return kGoOn;
    }
}

bool Form1::SaveOverOwnFile()
{
    if (doc_.SaveBitmap(doc_.bitmap.GetFileName()) >= 1)
        return true;
    ShowWriteFailure();
    return false;
}

void Form1::Q1Click() { ConfirmUnsaved(kQuitting); }

void Form1::FormCloseQuery() { ConfirmUnsaved(kQuitting); }

void Form1::closeEvent(QCloseEvent* event)
{
    // The close request never completes: either the process ends inside
    // FormCloseQuery or the window stays.
    event->ignore();
    FormCloseQuery();
}

void Form1::FormCreate() {}

// ---- File commands -----------------------------------------------------

void Form1::L1Click()
{
    if (context_.Running() || ConfirmUnsaved(kReplacing) != kGoOn)
        return;
    const QString path = dialogs_->OpenFileName(this);
    const int result = doc_.LoadBitmap(LocalPath(path));
    if (result <= 0 && result != kNotOpened)
        MessageBox(kReadFailure, kFileErrorCaption, kStyleOk);
    if (result < 1)
        return;
    doc_.edit_count = 1;
    // The undo buffers now belong to the new picture.
    doc_.ForgetUndo();
    UpdateEditMenu();
    SetPictureControlsEnabled(true);
    Image1()->SetPicture(DecodePicture(doc_.file_bytes));
    const QString name = DisplayPath(doc_.bitmap.GetFileName());
    setWindowTitle(name + kRunningSuffix);
    ShowFileNamePanel(name);
    SetPanelText(1, QStringLiteral("解像度：　%1 * %2").arg(doc_.bitmap.GetWidth()).arg(doc_.bitmap.GetHeight()));
    SetPanelText(2, EditStateText(doc_.edit_count));
    SetPanelText(3, QStringLiteral("ファイル形式：ビットマップ(24Bit)"));
}

void Form1::S1Click()
{
    if (context_.Running())
        return;
    const std::optional<QString> chosen = dialogs_->SaveFileName(this, save_dialog_name_);
    if (!chosen)
        return;
    save_dialog_name_ = *chosen;
    QString name = *chosen;
    if (!name.isEmpty() && !name.endsWith(QLatin1String(".bmp"), Qt::CaseSensitive))
        name += QLatin1String(".bmp");
    const int result = doc_.SaveBitmap(LocalPath(name));
    if (result <= 0 && result != kEmptyPath)
        ShowWriteFailure();
    if (result < 1)
        return;
    doc_.edit_count = 1;
    doc_.bitmap.SetFileName(LocalPath(name));
    setWindowTitle(name + kRunningSuffix);
    ShowFileNamePanel(name);
    SetPanelText(2, EditStateText(doc_.edit_count));
}

void Form1::O1Click()
{
    if (context_.Running())
        return;
    const int result = doc_.SaveBitmap(doc_.bitmap.GetFileName());
    if (result <= 0 && result != kEmptyPath)
        ShowWriteFailure();
    if (result < 1)
        return;
    doc_.edit_count = 1;
    setWindowTitle(DisplayPath(doc_.bitmap.GetFileName()));
    SetPanelText(2, EditStateText(doc_.edit_count));
}

void Form1::C1Click()
{
    if (context_.Running() || ConfirmUnsaved(kReplacing) != kGoOn)
        return;
    for (size_t i = 0; i < kPanelClosedTexts.size(); ++i)
        SetPanelText(static_cast<int>(i), kPanelClosedTexts[i]);
    doc_.edit_count = 0;
    setWindowTitle(kClosedCaption);
    Image1()->ClearPicture();
    Image1()->SetShownSize(0, 0);
    SetPictureControlsEnabled(false);
    // The undo buffers belonged to the picture that is gone.
    doc_.ForgetUndo();
    UpdateEditMenu();
    SetTrackBarPosition(100);
    label3_->setText(QStringLiteral("100%"));
}

void Form1::ShowWriteFailure() { MessageBox(kWriteFailure, kFileErrorCaption, kStyleOk); }

void Form1::ShowFileNamePanel(const QString& path)
{
    SetPanelText(0, QStringLiteral("ファイル名：　") + path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
}

void Form1::SetPictureControlsEnabled(bool enabled)
{
    for (const char* name : kPictureItems)
        Item(QLatin1String(name))->setEnabled(enabled);
    track_bar1_->setEnabled(enabled);
}

// ---- Undo and redo -----------------------------------------------------

void Form1::U1Click()
{
    if (context_.Running() || !doc_.undo_enabled)
        return;
    doc_.Undo();
    UpdateEditMenu();
    RefreshDisplay();
}

void Form1::S9Click()
{
    if (context_.Running() || !doc_.redo_enabled)
        return;
    doc_.Redo();
    UpdateEditMenu();
    RefreshDisplay();
}

void Form1::UpdateEditMenu()
{
    Item(QStringLiteral("U1"))->setEnabled(doc_.undo_enabled);
    Item(QStringLiteral("S9"))->setEnabled(doc_.redo_enabled);
}

// ---- Effects -----------------------------------------------------------

void Form1::RunMenuEffect(std::string_view menu_id)
{
    // No nested runs: a command chosen while an effect pumps messages is
    // refused here rather than run on the same planes.
    if (context_.Running())
        return;
    if (const EffectEntry* effect = FindEffect(menu_id))
        RunEffect(context_, *effect);
}

void Form1::I4Click() { RunMenuEffect("I4"); }
void Form1::H6Click() { RunMenuEffect("H6"); }
void Form1::S11Click() { RunMenuEffect("S11"); }
void Form1::E2Click() { RunMenuEffect("E2"); }
void Form1::N22Click() { RunMenuEffect("N22"); }
void Form1::G2Click() { RunMenuEffect("G2"); }
void Form1::N14Click() { RunMenuEffect("N14"); }
void Form1::N9Click() { RunMenuEffect("N9"); }
void Form1::M2Click() { RunMenuEffect("M2"); }
void Form1::G8Click() { RunMenuEffect("G8"); }
void Form1::G9Click() { RunMenuEffect("G9"); }
void Form1::I3Click() { RunMenuEffect("I3"); }
void Form1::K2Click() { RunMenuEffect("K2"); }
void Form1::R1Click() { RunMenuEffect("R1"); }
void Form1::M3Click() { RunMenuEffect("M3"); }
void Form1::N24Click() { RunMenuEffect("N24"); }
void Form1::Y1Click() { RunMenuEffect("Y1"); }
void Form1::O2Click() { RunMenuEffect("O2"); }
void Form1::C2Click() { RunMenuEffect("C2"); }
void Form1::H5Click() { RunMenuEffect("H5"); }
void Form1::G6Click() { RunMenuEffect("G6"); }
void Form1::S12Click() { RunMenuEffect("S12"); }

void Form1::Button1Click() { context_.Cancel(); }

void Form1::SetProgressMax(int64_t maximum)
{
    progress_bar1_->setMaximum(static_cast<int>(std::clamp<int64_t>(maximum, 0, INT_MAX)));
}

void Form1::SetProgress(int64_t position)
{
    progress_bar1_->setValue(static_cast<int>(std::clamp<int64_t>(position, 0, progress_bar1_->maximum())));
}

void Form1::ProcessMessages() { QCoreApplication::processEvents(); }

void Form1::SetCancelEnabled(bool enabled) { button1_->setEnabled(enabled); }

void Form1::RunFinished(bool cancelled)
{
    if (!cancelled) {
        setWindowTitle(DisplayPath(doc_.bitmap.GetFileName()) + QStringLiteral(" * ") + kRunningSuffix);
        SetEditedPanel();
    }
    UpdateEditMenu();
    RefreshDisplay();
}

void Form1::SetEditedPanel() { SetPanelText(2, EditStateText(2)); }

QString Form1::ScratchBitmap() { return QCoreApplication::applicationFilePath() + QStringLiteral(".bmp"); }

void Form1::RefreshDisplay()
{
    // The copy on disk is a by-product; the view shows the bytes in memory,
    // so a folder without write access changes nothing on screen.
    [[maybe_unused]] const int written = doc_.SaveScratchCopy(LocalPath(scratch_path));
    Image1()->SetPicture(DecodePicture(doc_.file_bytes));
}

// ---- View: panels ------------------------------------------------------

namespace {

// Shows or hides area after the state of its own visibility, and sets the
// item's check mark to match.
void ToggleArea(QWidget* area, QAction* item)
{
    const bool show = area->isHidden();
    area->setVisible(show);
    item->setChecked(show);
}

} // namespace

void Form1::Q2Click()
{
    ToggleArea(panel1_, Item(QStringLiteral("Q2")));
    frame11_->MoveImageHome();
}

void Form1::S7Click()
{
    ToggleArea(status_bar1_, Item(QStringLiteral("S7")));
    frame11_->MoveImageHome();
}

void Form1::S10Click()
{
    ToggleArea(panel2_, Item(QStringLiteral("S10")));
    frame11_->MoveImageHome();
}

void Form1::K5Click()
{
    ToggleArea(panel4_, Item(QStringLiteral("K5")));
    frame11_->MoveImageHome();
}

void Form1::Button3Click()
{
    panel1_->hide();
    Item(QStringLiteral("Q2"))->setChecked(false);
}

void Form1::Button2Click()
{
    panel2_->hide();
    Item(QStringLiteral("S10"))->setChecked(false);
}

void Form1::Button4Click()
{
    panel4_->hide();
    Item(QStringLiteral("K5"))->setChecked(false);
}

// ---- View: zoom and display modes ----------------------------------------

ImageControl* Form1::Image1() const { return frame11_->Image1(); }

void Form1::SetPanelText(int index, const QString& text) { status_panels_.at(static_cast<size_t>(index))->setText(text); }

QString Form1::PanelText(int index) const { return status_panels_.at(static_cast<size_t>(index))->text(); }

void Form1::ShowZoomPercent(bool status_panel, bool label)
{
    const QString text = kZoomPrefix + QString::number(ZoomPercent(Image1()->width(), PictureWidth())) + QLatin1Char('%');
    if (status_panel)
        SetPanelText(4, text);
    if (label)
        label3_->setText(text);
}

void Form1::SetTrackBarPosition(int position) { track_bar1_->setValue(position); }

void Form1::TrackBar1Change()
{
    ImageControl* image = Image1();
    image->SetAutoSize(false);
    image->SetStretch(true);
    const int position = track_bar1_->value();
    image->SetShownSize(ScaledSize(PictureWidth(), position), ScaledSize(PictureHeight(), position));
    ShowZoomPercent(true, true);
}

void Form1::G4Click()
{
    track_bar1_->setEnabled(true);
    Item(QStringLiteral("G4"))->setChecked(true);
    Item(QStringLiteral("T2"))->setChecked(false);
    frame11_->MoveImageHome();
    frame11_->SetClientAligned(false);
    Image1()->SetStretch(false);
    for (const char* name : {"N25U1", "H4", "N25U2"})
        Item(QLatin1String(name))->setEnabled(true);
    SetTrackBarPosition(100);
    SetPanelText(4, kActualSize);
}

void Form1::T2Click()
{
    Item(QStringLiteral("T2"))->setChecked(true);
    Item(QStringLiteral("G4"))->setChecked(false);
    frame11_->MoveImageHome();
    frame11_->SetClientAligned(true);
    Image1()->SetStretch(true);
    for (const char* name : {"N25U1", "H4", "N25U2"})
        Item(QLatin1String(name))->setEnabled(false);
    track_bar1_->setEnabled(false);
    SetPanelText(4, kScreenMode);
}

void Form1::N25U1Click()
{
    ImageControl* image = Image1();
    image->SetAutoSize(false);
    image->SetStretch(true);
    image->SetShownSize(StepUp(image->width()), image->height());
    image->SetShownSize(image->width(), StepUp(image->height()));
    frame11_->MoveImageHome();
    ShowZoomPercent(true, true);
    SetTrackBarPosition(ZoomPercent(image->width(), PictureWidth()));
}

void Form1::N25U2Click()
{
    ImageControl* image = Image1();
    frame11_->MoveImageHome();
    image->SetAutoSize(false);
    image->SetStretch(true);
    image->SetShownSize(StepDown(image->width()), image->height());
    image->SetShownSize(image->width(), StepDown(image->height()));
    ShowZoomPercent(true, true);
    SetTrackBarPosition(ZoomPercent(image->width(), PictureWidth()));
}

void Form1::H4Click()
{
    ImageControl* image = Image1();
    image->SetAutoSize(true);
    image->SetStretch(false);
    frame11_->MoveImageHome();
    SetPanelText(4, kActualSize);
    ShowZoomPercent(false, true);
    SetTrackBarPosition(ZoomPercent(image->width(), PictureWidth()));
}

// ---- Help, About box and plug-ins -------------------------------------

void Form1::V1Click()
{
    setEnabled(false);
    form2_->show();
    form2_->raise();
    form2_->activateWindow();
}

void Form1::H2Click()
{
    // The current folder first, then beside the program, then where the
    // installation puts the documentation.
    const QString program_folder = QCoreApplication::applicationDirPath();
    const QString candidates[] = {
        QDir::current().absoluteFilePath(kHelpFileName),
        QDir(program_folder).absoluteFilePath(kHelpFileName),
        QDir(program_folder).absoluteFilePath(QStringLiteral(KORVANTI_HELP_FROM_PROGRAM "/") + kHelpFileName),
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo::exists(candidate)) {
            open_url(QUrl::fromLocalFile(QDir::cleanPath(candidate)));
            return;
        }
    }
}

void Form1::S3Click() { open_url(QUrl(kSupportPageAddress)); }

void Form1::N23Click()
{
    InstallPlugins(LocalPath(QDir::currentPath()), [](PluginOutcome outcome, const std::string&) {
        if (outcome == PluginOutcome::Installed)
            MessageBox(kPluginInstalledText, QString(), kStyleOk);
        else if (outcome == PluginOutcome::NoEntryPoint)
            MessageBox(kPluginBrokenText, QString(), kStyleOk);
    });
}

} // namespace korvanti
