// Showing and hiding the quick access bar, its two boxes and the status bar,
// from the View menu and from the "×" buttons on the boxes' title strips.
#include <QAction>

#include "app/main_window.h"
#include "app/quick_access_bar.h"
#include "app/status_panels.h"
#include "view/image_frame.h"

namespace korvanti {
namespace {

// Shows or hides area after the state of its own visibility, and sets the
// action's check mark to match.
void ToggleArea(QWidget* area, QAction* action)
{
    const bool show = area->isHidden();
    area->setVisible(show);
    action->setChecked(show);
}

} // namespace

void MainWindow::ToggleQuickAccessBar()
{
    ToggleArea(quick_access_bar_, actions_.quick_access_bar);
    image_frame_->MoveImageHome();
}

void MainWindow::ToggleStatusBar()
{
    ToggleArea(status_panels_, actions_.status_bar);
    image_frame_->MoveImageHome();
}

void MainWindow::ToggleProgressBox()
{
    ToggleArea(quick_access_bar_->progress_box(), actions_.progress_box);
    image_frame_->MoveImageHome();
}

void MainWindow::ToggleZoomBox()
{
    ToggleArea(quick_access_bar_->zoom_box(), actions_.zoom_box);
    image_frame_->MoveImageHome();
}

void MainWindow::HideQuickAccessBar()
{
    quick_access_bar_->hide();
    actions_.quick_access_bar->setChecked(false);
}

void MainWindow::HideProgressBox()
{
    quick_access_bar_->progress_box()->hide();
    actions_.progress_box->setChecked(false);
}

void MainWindow::HideZoomBox()
{
    quick_access_bar_->zoom_box()->hide();
    actions_.zoom_box->setChecked(false);
}

} // namespace korvanti
