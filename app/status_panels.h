// The status bar and its five panels: file name, resolution, edit state,
// file format and zoom, addressed by index. Each panel is at least its
// design width and grows to show its whole text, measured with its own
// font. The file name panel is the one that gives way when the bar is too
// narrow for all of them: it then shortens its text in the middle and shows
// the whole text as its tool tip. The zoom panel takes the room left.
#pragma once

#include <array>
#include <cstdint>

#include <QLabel>
#include <QStatusBar>

namespace korvanti {

enum StatusPanel { kFileNamePanel = 0, kResolutionPanel, kEditStatePanel, kFormatPanel, kZoomPanel };

// The edit state panel's text: unedited below two edits, edited from two on.
QString EditStateText(int32_t edit_count);

// One panel: a sunken label as wide as its text, at least its design width.
class PanelLabel : public QLabel {
    Q_OBJECT

public:
    PanelLabel(const QString& text, int design_width, bool gives_way);

    // The width that shows the whole text, frame and indents included.
    int TextWidth() const;
    // Whether the text is shortened at the panel's present width.
    bool Shortened() const { return width() < TextWidth(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int design_width_;
    bool gives_way_;
};

class StatusPanels : public QStatusBar {
    Q_OBJECT

public:
    explicit StatusPanels(QWidget* parent = nullptr);

    void SetText(int panel, const QString& text);
    QString Text(int panel) const;
    PanelLabel* Panel(int panel) const { return panels_.at(static_cast<size_t>(panel)); }

private:
    std::array<PanelLabel*, 5> panels_{};
};

} // namespace korvanti
