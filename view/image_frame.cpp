// The scrolling frame around the picture control, and its screen mode.
#include "view/image_frame.h"

#include <QNativeGestureEvent>
#include <QScrollBar>
#include <QWheelEvent>

namespace korvanti {

ImageFrame::ImageFrame(QWidget* parent) : QScrollArea(parent), image_(new ImageControl)
{
    setObjectName(QStringLiteral("imageFrame"));
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidget(image_);
    // Smooth scrolling that follows the thumb while it is dragged.
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    // Wheel and gesture events come to the control or the view area under
    // the pointer before the frame scrolls.
    viewport()->installEventFilter(this);
    image_->installEventFilter(this);
}

namespace {

// One wheel notch, in eighths of a degree; a pinch's scale change per step.
constexpr int kWheelNotch = 120;
constexpr qreal kPinchStep = 0.25;

} // namespace

bool ImageFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (!wheel->modifiers().testFlag(Qt::ControlModifier))
            return QScrollArea::eventFilter(watched, event);
        wheel_turn_ += wheel->angleDelta().y();
        const int steps = wheel_turn_ / kWheelNotch;
        wheel_turn_ -= steps * kWheelNotch;
        if (steps != 0)
            emit ZoomStepsAsked(steps);
        event->accept(); // not passed on to the parent as well
        return true;
    }
    if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() != Qt::ZoomNativeGesture)
            return QScrollArea::eventFilter(watched, event);
        pinch_scale_ += gesture->value();
        const int steps = static_cast<int>(pinch_scale_ / kPinchStep);
        pinch_scale_ -= steps * kPinchStep;
        if (steps != 0)
            emit ZoomStepsAsked(steps);
        event->accept(); // not passed on to the parent as well
        return true;
    }
    return QScrollArea::eventFilter(watched, event);
}

void ImageFrame::SetClientAligned(bool on)
{
    if (on == client_aligned_)
        return;
    client_aligned_ = on;
    const Qt::ScrollBarPolicy policy = on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
    // QScrollArea keeps the control at the view area's size while resizable.
    image_->SetAlignedToClient(on);
    setWidgetResizable(on);
    if (on)
        image_->resize(viewport()->size());
}

void ImageFrame::MoveImageHome()
{
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    image_->move(0, 0);
}

} // namespace korvanti
