// The View menu's zoom commands, the zoom slider and the two display modes:
// actual size (the picture scrolls) and fit to window (it fills the view).
#include <QLabel>
#include <QSlider>

#include "app/main_window.h"
#include "app/quick_access_bar.h"
#include "app/status_panels.h"
#include "view/image_control.h"
#include "view/image_frame.h"
#include "view/zoom.h"

namespace korvanti {
namespace {

const QString kZoomPrefix = QStringLiteral("拡大率：");
const QString kActualSizeText = QStringLiteral("拡大率：原寸大表示");
const QString kFitToWindowText = QStringLiteral("拡大率：スクリーン表示");

} // namespace

void MainWindow::ShowZoomPercent(ZoomReadout where)
{
    const QString text =
        kZoomPrefix + QString::number(ZoomPercent(image_control()->width(), PictureWidth())) + QLatin1Char('%');
    if (where == ZoomReadout::kStatusBarAndZoomBox)
        SetStatusText(kZoomPanel, text);
    quick_access_bar_->zoom_label()->setText(text);
}

void MainWindow::ZoomToSlider()
{
    ImageControl* image = image_control();
    image->StretchToShownSize();
    const int position = quick_access_bar_->zoom_slider()->value();
    image->SetShownSize(ScaledSize(PictureWidth(), position), ScaledSize(PictureHeight(), position));
    ShowZoomPercent(ZoomReadout::kStatusBarAndZoomBox);
}

void MainWindow::ZoomIn()
{
    ImageControl* image = image_control();
    image->StretchToShownSize();
    image->SetShownSize(StepUp(image->width()), image->height());
    image->SetShownSize(image->width(), StepUp(image->height()));
    image_frame_->MoveImageHome();
    ShowZoomPercent(ZoomReadout::kStatusBarAndZoomBox);
    quick_access_bar_->zoom_slider()->setValue(ZoomPercent(image->width(), PictureWidth()));
}

void MainWindow::ZoomOut()
{
    ImageControl* image = image_control();
    image_frame_->MoveImageHome();
    image->StretchToShownSize();
    image->SetShownSize(StepDown(image->width()), image->height());
    image->SetShownSize(image->width(), StepDown(image->height()));
    ShowZoomPercent(ZoomReadout::kStatusBarAndZoomBox);
    quick_access_bar_->zoom_slider()->setValue(ZoomPercent(image->width(), PictureWidth()));
}

void MainWindow::NormalSize()
{
    ImageControl* image = image_control();
    image->FollowPictureSize();
    image_frame_->MoveImageHome();
    SetStatusText(kZoomPanel, kActualSizeText);
    ShowZoomPercent(ZoomReadout::kZoomBoxOnly);
    quick_access_bar_->zoom_slider()->setValue(ZoomPercent(image->width(), PictureWidth()));
}

void MainWindow::ActualSize()
{
    zoom_enabled_ = true;
    UpdateActions();
    actions_.actual_size->setChecked(true);
    actions_.fit_to_window->setChecked(false);
    image_frame_->MoveImageHome();
    image_frame_->SetClientAligned(false);
    image_control()->SetStretch(false);
    // The control still has the view's size from the screen mode: it takes
    // the slider's size again, also where the slider is at 100 already.
    QSlider* slider = quick_access_bar_->zoom_slider();
    if (slider->value() == 100)
        ZoomToSlider();
    else
        slider->setValue(100);
    SetStatusText(kZoomPanel, kActualSizeText);
}

void MainWindow::FitToWindow()
{
    actions_.fit_to_window->setChecked(true);
    actions_.actual_size->setChecked(false);
    image_frame_->MoveImageHome();
    image_frame_->SetClientAligned(true);
    image_control()->SetStretch(true);
    zoom_enabled_ = false;
    UpdateActions();
    SetStatusText(kZoomPanel, kFitToWindowText);
}

} // namespace korvanti
