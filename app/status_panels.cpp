// The status bar and its five panels, with their design texts and widths.
#include "app/status_panels.h"

#include <QLabel>

namespace korvanti {
namespace {

const std::array<QString, 5> kDesignTexts = {QStringLiteral("ファイル名："), QStringLiteral("解像度："),
                                            QStringLiteral("編集："), QStringLiteral("ファイル形式："),
                                            QStringLiteral("拡大率：")};
// The last panel takes whatever room is left, at least its width.
constexpr std::array<int, 5> kWidths = {150, 120, 100, 174, 50};

} // namespace

QString EditStateText(int32_t edit_count)
{
    return edit_count < 2 ? QStringLiteral("ファイル：未編集") : QStringLiteral("ファイル：編集済み");
}

StatusPanels::StatusPanels(QWidget* parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("statusBar"));
    for (size_t i = 0; i < panels_.size(); ++i) {
        auto* panel = new QLabel(kDesignTexts[i]);
        panel->setObjectName(QStringLiteral("statusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        const bool last = i + 1 == panels_.size();
        if (last)
            panel->setMinimumWidth(kWidths[i]);
        else
            panel->setFixedWidth(kWidths[i]);
        addWidget(panel, last ? 1 : 0);
        panels_[i] = panel;
    }
}

void StatusPanels::SetText(int panel, const QString& text) { panels_.at(static_cast<size_t>(panel))->setText(text); }

QString StatusPanels::Text(int panel) const { return panels_.at(static_cast<size_t>(panel))->text(); }

} // namespace korvanti
