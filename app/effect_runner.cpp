// Effects, undo and redo in the window: the window as the engine's host
// (progress bar, Cancel, message pump) and the refreshed view after a run.
#include <algorithm>
#include <climits>

#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>

#include "app/main_window.h"
#include "app/picture_files.h"
#include "app/quick_access_bar.h"
#include "app/status_panels.h"
#include "effects/catalogue.h"
#include "view/image_control.h"

namespace korvanti {

void MainWindow::ApplyEffect(const EffectEntry& effect)
{
    // No nested runs: a command chosen while an effect pumps messages is
    // refused here rather than run on the same planes.
    if (context_.Running())
        return;
    RunEffect(context_, effect);
}

void MainWindow::CancelEffect() { context_.Cancel(); }

void MainWindow::Undo()
{
    if (context_.Running() || !doc_.undo_enabled)
        return;
    doc_.Undo();
    UpdateActions();
    RefreshDisplay();
}

void MainWindow::Redo()
{
    if (context_.Running() || !doc_.redo_enabled)
        return;
    doc_.Redo();
    UpdateActions();
    RefreshDisplay();
}

void MainWindow::SetProgressMax(int64_t maximum)
{
    quick_access_bar_->progress_bar()->setMaximum(static_cast<int>(std::clamp<int64_t>(maximum, 0, INT_MAX)));
}

void MainWindow::SetProgress(int64_t position)
{
    QProgressBar* bar = quick_access_bar_->progress_bar();
    bar->setValue(static_cast<int>(std::clamp<int64_t>(position, 0, bar->maximum())));
}

void MainWindow::ProcessMessages() { QCoreApplication::processEvents(); }

void MainWindow::SetCancelEnabled(bool enabled) { quick_access_bar_->cancel_button()->setEnabled(enabled); }

void MainWindow::RunFinished(bool cancelled)
{
    if (!cancelled) {
        setWindowTitle(DisplayPath(doc_.bitmap.GetFileName()) + QStringLiteral(" * ") + kRunningSuffix);
        SetStatusText(kEditStatePanel, EditStateText(2));
    }
    UpdateActions();
    RefreshDisplay();
}

QString MainWindow::DefaultScratchPath() { return QCoreApplication::applicationFilePath() + QStringLiteral(".bmp"); }

void MainWindow::RefreshDisplay()
{
    // The copy on disk is a by-product; the view shows the bytes in memory,
    // so a folder without write access changes nothing on screen.
    [[maybe_unused]] const int written = doc_.SaveScratchCopy(LocalPath(scratch_path));
    image_control()->SetPicture(DecodePicture(doc_.file_bytes));
}

} // namespace korvanti
