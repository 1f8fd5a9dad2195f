// The status bar and its five panels, with their design texts and widths.
#include "app/status_panels.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace korvanti {
namespace {

const std::array<QString, 5> kDesignTexts = {QStringLiteral("ファイル名："), QStringLiteral("解像度："),
                                            QStringLiteral("編集："), QStringLiteral("ファイル形式："),
                                            QStringLiteral("拡大率：")};
constexpr std::array<int, 5> kWidths = {150, 120, 100, 174, 50};
// Room between the sunken frame and the text, on either side.
constexpr int kTextIndent = 2;

} // namespace

QString EditStateText(int32_t edit_count)
{
    return edit_count < 2 ? QStringLiteral("ファイル：未編集") : QStringLiteral("ファイル：編集済み");
}

PanelLabel::PanelLabel(const QString& text, int design_width, bool gives_way)
    : QLabel(text), design_width_(design_width), gives_way_(gives_way)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setIndent(kTextIndent);
}

int PanelLabel::TextWidth() const
{
    return fontMetrics().horizontalAdvance(text()) + 2 * frameWidth() + 2 * kTextIndent;
}

QSize PanelLabel::sizeHint() const { return {std::max(design_width_, TextWidth()), QLabel::sizeHint().height()}; }

QSize PanelLabel::minimumSizeHint() const
{
    // The panel that gives way may become as narrow as the bar needs.
    return gives_way_ ? QSize(0, QLabel::minimumSizeHint().height()) : sizeHint();
}

bool PanelLabel::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QLabel::event(event);
    if (Shortened())
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
    else
        QToolTip::hideText();
    return true;
}

void PanelLabel::paintEvent(QPaintEvent* event)
{
    if (!Shortened()) {
        QLabel::paintEvent(event);
        return;
    }
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect room = contentsRect().adjusted(kTextIndent, 0, -kTextIndent, 0);
    painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()));
}

StatusPanels::StatusPanels(QWidget* parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("statusBar"));
    // The panels need the whole width of the bar; the window's border resizes it.
    setSizeGripEnabled(false);
    // One row of panels, parted by their sunken frames alone.
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (size_t i = 0; i < panels_.size(); ++i) {
        const bool last = i + 1 == panels_.size();
        auto* panel = new PanelLabel(kDesignTexts[i], kWidths[i], i == kFileNamePanel);
        panel->setObjectName(QStringLiteral("statusPanel%1").arg(i));
        panel->setSizePolicy(last                  ? QSizePolicy::MinimumExpanding
                             : i == kFileNamePanel ? QSizePolicy::Preferred
                                                   : QSizePolicy::Fixed,
                             QSizePolicy::Preferred);
        layout->addWidget(panel, last ? 1 : 0);
        panels_[i] = panel;
    }
    addWidget(row, 1);
}

void StatusPanels::SetText(int panel, const QString& text)
{
    Panel(panel)->setText(text);
    Panel(panel)->updateGeometry();
}

QString StatusPanels::Text(int panel) const { return Panel(panel)->text(); }

} // namespace korvanti
