// The picture control: its three sizing settings and the painting of the
// picture at its zoom.
#include "view/image_control.h"

#include <QPaintEvent>
#include <QPainter>

#include "view/zoom.h"

namespace korvanti {

ImageControl::ImageControl(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("imageControl"));
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    // The control's own size before any picture is loaded.
    resize(161, 81);
}

void ImageControl::SetPicture(const QImage& picture)
{
    picture_ = picture;
    if (auto_size_)
        FitToPicture();
    update();
}

void ImageControl::ClearPicture()
{
    picture_ = QImage();
    update();
}

void ImageControl::SetAutoSize(bool on)
{
    auto_size_ = on;
    if (on)
        FitToPicture();
}

void ImageControl::SetStretch(bool on)
{
    stretch_ = on;
    update();
}

void ImageControl::StretchToShownSize()
{
    SetAutoSize(false);
    SetStretch(true);
}

void ImageControl::FollowPictureSize()
{
    SetAutoSize(true);
    SetStretch(false);
}

void ImageControl::SetShownSize(int width, int height)
{
    if (aligned_to_client_)
        return;
    resize(ClampViewSize(width), ClampViewSize(height));
    update();
}

QSize ImageControl::sizeHint() const { return size(); }

void ImageControl::FitToPicture()
{
    if (!picture_.isNull() && !aligned_to_client_)
        resize(picture_.size());
}

void ImageControl::paintEvent(QPaintEvent* event)
{
    if (picture_.isNull() || width() <= 0 || height() <= 0)
        return;
    QPainter painter(this);
    if (!stretch_) {
        painter.drawImage(QPointF(0, 0), picture_);
        return;
    }
    // Draws only the exposed part, so that a control zoomed to many times
    // the screen's size costs no more than the visible pixels.
    const QRectF target = event->rect();
    const qreal scale_x = qreal(picture_.width()) / width();
    const qreal scale_y = qreal(picture_.height()) / height();
    const QRectF source(target.x() * scale_x, target.y() * scale_y, target.width() * scale_x,
                        target.height() * scale_y);
    painter.drawImage(target, picture_, source);
}

} // namespace korvanti
