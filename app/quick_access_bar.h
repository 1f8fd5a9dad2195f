// The quick access bar at the window's left edge: its title strip, the zoom
// box (slider and percentage) and the progress box (bar and Cancel), with a
// splitter between the two boxes.
#pragma once

#include <QFrame>

class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;

namespace korvanti {

class QuickAccessBar : public QFrame {
    Q_OBJECT

public:
    explicit QuickAccessBar(QWidget* parent = nullptr);

    // The "×" buttons on the title strips of the bar and of its boxes.
    QPushButton* close_button() const { return close_button_; }
    QPushButton* zoom_box_close_button() const { return zoom_box_close_button_; }
    QPushButton* progress_box_close_button() const { return progress_box_close_button_; }

    QFrame* zoom_box() const { return zoom_box_; }
    QSlider* zoom_slider() const { return zoom_slider_; }
    QLabel* zoom_label() const { return zoom_label_; }

    QFrame* progress_box() const { return progress_box_; }
    QProgressBar* progress_bar() const { return progress_bar_; }
    QPushButton* cancel_button() const { return cancel_button_; }

private:
    void BuildZoomBox();
    void BuildProgressBox();

    QPushButton* close_button_ = nullptr;
    QFrame* zoom_box_ = nullptr;
    QPushButton* zoom_box_close_button_ = nullptr;
    QSlider* zoom_slider_ = nullptr;
    QLabel* zoom_label_ = nullptr;
    QFrame* progress_box_ = nullptr;
    QPushButton* progress_box_close_button_ = nullptr;
    QProgressBar* progress_bar_ = nullptr;
    QPushButton* cancel_button_ = nullptr;
};

} // namespace korvanti
