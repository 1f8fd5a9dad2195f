#include "view/image_frame.h"

#include <QScrollBar>

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
