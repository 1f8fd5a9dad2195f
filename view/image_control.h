// The control that shows the picture. It knows three settings:
// automatic sizing (the control takes the picture's pixel size), stretch
// (the picture is scaled to the control's size, each axis on its own) and
// client alignment (the frame sizes the control to its view area). It never
// changes the picture, only how it is drawn.
#pragma once

#include <utility>

#include <QImage>
#include <QWidget>

namespace korvanti {

class ImageControl : public QWidget {
    Q_OBJECT

public:
    explicit ImageControl(QWidget* parent = nullptr);

    void SetPicture(const QImage& picture);
    void ClearPicture();
    const QImage& Picture() const { return picture_; }
    // Hands the picture over, leaving none; SetPicture shows the next one.
    QImage TakePicture() { return std::exchange(picture_, QImage()); }

    bool AutoSize() const { return auto_size_; }
    // Turning it on sizes the control to the picture at once.
    void SetAutoSize(bool on);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool on);
    // The zoom commands' drawing: the picture scaled to a size they set.
    void StretchToShownSize();
    // The normal size: the control follows the picture, drawn unscaled.
    void FollowPictureSize();

    // Sets the shown size; the toolkit's largest widget size is the limit.
    // While the control is aligned to its frame's client area the frame
    // decides the size, and neither this nor automatic sizing changes it.
    void SetShownSize(int width, int height);
    void SetAlignedToClient(bool on) { aligned_to_client_ = on; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void FitToPicture();

    QImage picture_;
    bool auto_size_ = true;
    bool stretch_ = false;
    bool aligned_to_client_ = false;
};

} // namespace korvanti
