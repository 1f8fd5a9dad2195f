// The scrolling view frame that holds the image control. When the control is
// larger than the view area the frame scrolls; in screen mode the frame
// sizes the control to its view area and shows no scroll bars.
#pragma once

#include <QScrollArea>

#include "view/image_control.h"

namespace korvanti {

class ImageFrame : public QScrollArea {
    Q_OBJECT

public:
    explicit ImageFrame(QWidget* parent = nullptr);

    ImageControl* image_control() const { return image_; }

    // Client alignment of the image control together with the frame's automatic
    // sizing: on, the control fills the view area without scroll bars.
    void SetClientAligned(bool on);
    bool ClientAligned() const { return client_aligned_; }

    // Puts the image control back at the frame's top left corner.
    void MoveImageHome();

signals:
    // Ctrl + mouse wheel or a pinch on a touchpad: steps up (positive) or
    // down (negative) the user asked for; the wheel alone scrolls.
    void ZoomStepsAsked(int steps);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Wheel turns and pinch scale gathered until they make a whole step.
    int wheel_turn_ = 0;
    qreal pinch_scale_ = 0;

    ImageControl* image_;
    bool client_aligned_ = false;
};

} // namespace korvanti
