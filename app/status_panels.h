// The status bar and its five panels: file name, resolution, edit state,
// file format and zoom, addressed by index.
#pragma once

#include <array>
#include <cstdint>

#include <QStatusBar>

class QLabel;

namespace korvanti {

enum StatusPanel { kFileNamePanel = 0, kResolutionPanel, kEditStatePanel, kFormatPanel, kZoomPanel };

// The edit state panel's text: unedited below two edits, edited from two on.
QString EditStateText(int32_t edit_count);

class StatusPanels : public QStatusBar {
    Q_OBJECT

public:
    explicit StatusPanels(QWidget* parent = nullptr);

    void SetText(int panel, const QString& text);
    QString Text(int panel) const;

private:
    std::array<QLabel*, 5> panels_{};
};

} // namespace korvanti
