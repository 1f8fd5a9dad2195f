// Effects, undo and redo in the window: the window as the engine's host
// (progress bar, Cancel, message pump) and the refreshed view after a run.
#include <algorithm>
#include <climits>
#include <utility>

#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>

#include "app/application.h"
#include "app/main_window.h"
#include "app/picture_files.h"
#include "app/quick_access_bar.h"
#include "app/status_panels.h"
#include "effects/catalogue.h"
#include "view/image_control.h"

namespace korvanti {

void MainWindow::ApplyEffect(const EffectEntry& effect)
{
    // A nested run (an effect chosen while one pumps messages) is refused
    // by the core and leaves the pending quit to the run in progress.
    try {
        scratch_writer_.WaitUntilTaken(); // the picture is about to change
        // The undo copy of a picture just opened is made by its first run.
        if (!context_.Running() && doc_.undo_bytes.size() != doc_.file_bytes.size())
            doc_.undo_bytes = doc_.file_bytes;
        if (!RunEffect(context_, effect))
            return;
    } catch (...) {
        // The core has put the picture back as it was before the run, but
        // the undo copy may hold that same picture now: undo is disabled
        // rather than left to give nothing back.
        doc_.ForgetUndo();
        UpdateActions();
        RefreshDisplay();
        ReportCurrentException();
    }
    // Quit chosen during the run cancelled it; the run has now unwound and
    // the document holds what the Cancel left, which the view shows.
    if (std::exchange(quit_pending_, false))
        QuitAfterPrompt();
}

void MainWindow::CancelEffect() { context_.Cancel(); }

void MainWindow::Undo()
{
    if (!doc_.undo_enabled)
        return;
    scratch_writer_.WaitUntilTaken();
    doc_.Undo();
    UpdateActions();
    RefreshDisplay();
}

void MainWindow::Redo()
{
    if (!doc_.redo_enabled)
        return;
    scratch_writer_.WaitUntilTaken();
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
        setWindowTitle(PictureName() + QStringLiteral(" * ") + kRunningSuffix);
        SetStatusText(kEditStatePanel, EditStateText(2));
    }
    UpdateActions();
    RefreshDisplay();
}

QString MainWindow::DefaultScratchPath() { return QCoreApplication::applicationFilePath() + QStringLiteral(".bmp"); }

// Called when no run is in progress (after a run, undo or redo), so the
// document's bytes are the picture to show and nothing writes them while
// they are copied. The view and the scratch writer each get a copy of their
// own: the next run swaps and rewrites the document's buffers while the view
// still paints and the writer may still be writing. The writer takes its
// copy on its own thread; whatever changes the document first waits until
// it is taken (ApplyEffect, Undo, Redo, TakePicture).
void MainWindow::RefreshDisplay()
{
    // The view's last picture is filled again when nothing else holds it;
    // it is made first, on every core, before the copy on disk takes one.
    image_control()->SetPicture(make_picture(doc_, image_control()->TakePicture()));
    // The copy on disk is a by-product; the view shows the bytes in memory,
    // so a folder without write access changes nothing on screen.
    scratch_writer_.Write(doc_.file_bytes, LocalPath(scratch_path), scratch_in_background);
}

} // namespace korvanti
