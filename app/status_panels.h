// The status bar's row of panels. Each panel is at least its design width
// and grows to show its whole text, measured with its own font. The first
// panel (the file name) is the one that gives way when the row is too
// narrow for all of them: it then shortens its text in the middle and
// shows the whole text as its tool tip. The last panel takes the room left.
#pragma once

#include <span>
#include <vector>

#include <QLabel>
#include <QString>
#include <QWidget>

namespace korvanti {

class StatusPanel : public QLabel {
    Q_OBJECT

public:
    StatusPanel(const QString& text, int design_width, bool gives_way, QWidget* parent = nullptr);

    // The width that shows the whole text, frame and indents included.
    int TextWidth() const;
    // Whether the text is shortened at the panel's present width.
    bool Shortened() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int design_width_;
    bool gives_way_;
};

struct StatusPanelDesign {
    const char* object_name;
    QString text;
    int width;
};

class StatusPanels : public QWidget {
    Q_OBJECT

public:
    explicit StatusPanels(std::span<const StatusPanelDesign> designs, QWidget* parent = nullptr);

    void SetText(int index, const QString& text);
    QString Text(int index) const;
    StatusPanel* Panel(int index) const;
    int Count() const { return static_cast<int>(panels_.size()); }

private:
    std::vector<StatusPanel*> panels_;
};

} // namespace korvanti
