// The quick access bar at the window's left edge: its title strip, the zoom
// box and the progress box, placed and coloured as designed.
#include "app/quick_access_bar.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QVBoxLayout>

#include "app/window_texts.h"

namespace korvanti {
namespace {

const QColor kTitleStripColour(0, 0, 255);
const QColor kBarColour(192, 192, 192);
const QColor kBoxColour(212, 208, 200);

void Paint(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// A blue title strip with its heading and "×" button. name prefixes the
// object names of the strip and its children.
QFrame* TitleStrip(QWidget* parent, const QString& name, const QString& heading, QPushButton** close_button)
{
    auto* strip = new QFrame(parent);
    strip->setObjectName(name + QStringLiteral("Title"));
    strip->setFixedHeight(17);
    Paint(strip, kTitleStripColour);
    auto* label = new QLabel(heading, strip);
    label->setObjectName(name + QStringLiteral("Heading"));
    label->setFont(WindowFont(11));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    label->move(4, 2);
    label->adjustSize();
    *close_button = new QPushButton(QStringLiteral("×"), strip);
    (*close_button)->setObjectName(name + QStringLiteral("CloseButton"));
    (*close_button)->setFont(WindowFont(11));
    (*close_button)->setGeometry(80, 2, 13, 13);
    (*close_button)->setFocusPolicy(Qt::NoFocus);
    return strip;
}

// A box of the bar: a title strip on top, controls placed by position below.
QFrame* TitledBox(const QString& name, const QString& heading, QPushButton** close_button)
{
    auto* box = new QFrame;
    box->setObjectName(name);
    Paint(box, kBoxColour);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(TitleStrip(box, name, heading, close_button));
    layout->addStretch(1);
    return box;
}

} // namespace

QuickAccessBar::QuickAccessBar(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("quickAccessBar"));
    setFixedWidth(105);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    Paint(this, kBarColour);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(
        TitleStrip(this, QStringLiteral("quickAccess"), QStringLiteral("クイックアクセス"), &close_button_));

    BuildZoomBox();
    BuildProgressBox();

    // The splitter sits between the two boxes and resizes the progress box;
    // while dragged it is drawn as a line, and it never snaps a box away.
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("boxSplitter"));
    splitter->setHandleWidth(6);
    splitter->setOpaqueResize(false);
    splitter->setChildrenCollapsible(false);
    // The zoom box is bottom-aligned above the splitter.
    auto* upper = new QWidget;
    auto* upper_layout = new QVBoxLayout(upper);
    upper_layout->setContentsMargins(0, 0, 0, 0);
    upper_layout->addStretch(1);
    upper_layout->addWidget(zoom_box_);
    splitter->addWidget(upper);
    splitter->addWidget(progress_box_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({1000, 80});
    layout->addWidget(splitter, 1);
}

void QuickAccessBar::BuildZoomBox()
{
    zoom_box_ = TitledBox(QStringLiteral("zoomBox"), QStringLiteral("表示の拡大率"), &zoom_box_close_button_);
    zoom_box_->setFixedHeight(80);
    zoom_slider_ = new QSlider(Qt::Horizontal, zoom_box_);
    zoom_slider_->setObjectName(QStringLiteral("zoomSlider"));
    zoom_slider_->setGeometry(8, 24, 81, 25);
    zoom_slider_->setRange(10, 500);
    zoom_slider_->setValue(100);
    zoom_slider_->setPageStep(2);
    zoom_slider_->setTickInterval(5);
    zoom_slider_->setTickPosition(QSlider::TicksBelow);
    zoom_slider_->setEnabled(false);
    zoom_label_ = new QLabel(QStringLiteral("拡大率：100%"), zoom_box_);
    zoom_label_->setObjectName(QStringLiteral("zoomLabel"));
    zoom_label_->move(16, 56);
    zoom_label_->setFixedWidth(80);
}

void QuickAccessBar::BuildProgressBox()
{
    progress_box_ =
        TitledBox(QStringLiteral("progressBox"), QStringLiteral("処理の進行状況"), &progress_box_close_button_);
    progress_box_->setMinimumHeight(30);
    progress_bar_ = new QProgressBar(progress_box_);
    progress_bar_->setObjectName(QStringLiteral("progressBar"));
    progress_bar_->setGeometry(5, 24, 85, 17);
    progress_bar_->setRange(0, 100);
    progress_bar_->setValue(0);
    progress_bar_->setTextVisible(false);
    cancel_button_ = new QPushButton(QStringLiteral("キャンセル"), progress_box_);
    cancel_button_->setObjectName(QStringLiteral("cancelButton"));
    cancel_button_->setGeometry(5, 48, 85, 25);
    cancel_button_->setEnabled(false);
}

} // namespace korvanti
