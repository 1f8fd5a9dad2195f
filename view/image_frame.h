// The scrolling view frame (Frame11) that holds Image1. When the control is
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

    ImageControl* Image1() const { return image_; }

    // Client alignment of Image1 together with the frame's automatic
    // sizing: on, the control fills the view area without scroll bars.
    void SetClientAligned(bool on);
    bool ClientAligned() const { return client_aligned_; }

    // Puts Image1 back at the frame's top left corner.
    void MoveImageHome();

private:
    ImageControl* image_;
    bool client_aligned_ = false;
};

} // namespace korvanti
