#include "app/status_panels.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace korvanti {
namespace {

// Room between the sunken frame and the text, on either side.
constexpr int kTextIndent = 2;
// Room between two panels: none, their sunken frames part them.
constexpr int kPanelGap = 0;

} // namespace

StatusPanel::StatusPanel(const QString& text, int design_width, bool gives_way, QWidget* parent)
    : QLabel(text, parent), design_width_(design_width), gives_way_(gives_way)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setIndent(kTextIndent);
    setSizePolicy(gives_way ? QSizePolicy::Preferred : QSizePolicy::Fixed, QSizePolicy::Preferred);
}

int StatusPanel::TextWidth() const
{
    return fontMetrics().horizontalAdvance(text()) + 2 * frameWidth() + 2 * kTextIndent;
}

bool StatusPanel::Shortened() const { return width() < TextWidth(); }

QSize StatusPanel::sizeHint() const { return {std::max(design_width_, TextWidth()), QLabel::sizeHint().height()}; }

QSize StatusPanel::minimumSizeHint() const
{
    // The panel that gives way may become as narrow as the row needs.
    return gives_way_ ? QSize(0, QLabel::minimumSizeHint().height()) : sizeHint();
}

bool StatusPanel::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QLabel::event(event);
    if (Shortened())
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
    else
        QToolTip::hideText();
    return true;
}

void StatusPanel::paintEvent(QPaintEvent* event)
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

StatusPanels::StatusPanels(std::span<const StatusPanelDesign> designs, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kPanelGap);
    for (size_t i = 0; i < designs.size(); ++i) {
        const bool last = i + 1 == designs.size();
        auto* panel = new StatusPanel(designs[i].text, designs[i].width, i == 0, this);
        panel->setObjectName(QLatin1String(designs[i].object_name));
        if (last)
            panel->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Preferred);
        layout->addWidget(panel, last ? 1 : 0);
        panels_.push_back(panel);
    }
}

void StatusPanels::SetText(int index, const QString& text)
{
    StatusPanel* panel = Panel(index);
    panel->setText(text);
    panel->updateGeometry();
}

QString StatusPanels::Text(int index) const { return Panel(index)->text(); }

StatusPanel* StatusPanels::Panel(int index) const { return panels_.at(static_cast<size_t>(index)); }

} // namespace korvanti
