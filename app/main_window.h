// The main window: menus, quick access bar, image view and status bar, and
// the commands behind them. Each group of commands has its own source file:
// menus.cpp, file_commands.cpp, effect_runner.cpp, zoom_commands.cpp,
// panel_commands.cpp and help_commands.cpp.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <QHash>
#include <QMainWindow>
#include <QUrl>

#include "app/file_dialogs.h"
#include "app/picture_files.h"
#include "app/window_texts.h"
#include "codecs/photo_file.h"
#include "engine/c_rand.h"
#include "engine/effect_context.h"
#include "engine/effect_host.h"
#include "image/document.h"

class QAction;
class QToolBar;

namespace korvanti {

class AboutBox;
class ImageControl;
class ImageFrame;
class QuickAccessBar;
class StatusPanels;
struct EffectEntry;

// Where the zoom percentage is shown.
enum class ZoomReadout { kStatusBarAndZoomBox, kZoomBoxOnly };

// The actions whose state changes while the program runs.
struct WindowActions {
    QAction* save_as = nullptr;
    QAction* save = nullptr;
    QAction* close = nullptr;
    QAction* undo = nullptr;
    QAction* redo = nullptr;
    QAction* quick_access_bar = nullptr;
    QAction* status_bar = nullptr;
    QAction* progress_box = nullptr;
    QAction* zoom_box = nullptr;
    QAction* zoom_in = nullptr;
    QAction* normal_size = nullptr;
    QAction* zoom_out = nullptr;
    QAction* actual_size = nullptr;
    QAction* fit_to_window = nullptr;
    QAction* tools_menu = nullptr;
    QAction* copy = nullptr;
    QAction* paste = nullptr;
    QAction* recent_files_menu = nullptr;
    QAction* clear_recent_files = nullptr;
};

class MainWindow : public QMainWindow, public EffectHost {
    Q_OBJECT

public:
    // dialogs: the file dialogs to use; the real ones when null.
    explicit MainWindow(std::unique_ptr<FileDialogs> dialogs = nullptr);
    ~MainWindow() override;

    // Ends the process; std::_Exit by default, tests put a recorder here.
    std::function<void(int status)> exit_process;
    // Hands a file or page to the desktop; QDesktopServices by default.
    std::function<void(const QUrl& url)> open_url;
    // Makes the view's picture from a document: PictureOf by default; a
    // null picture is a failure (no memory for it). Tests put one here that
    // fails.
    std::function<QImage(const Document& document, QImage reuse)> make_picture = PictureOf;
    // The largest BMP form a photo may be decoded into; tests lower it.
    int64_t largest_picture = kLargestBitmap;
    // Where RefreshDisplay writes its copy; DefaultScratchPath() by default.
    QString scratch_path;
    // The help file's name; OpenHelp looks for it in a few folders.
    QString help_file_name = kHelpFileName;
    // Set by test programs before they make windows that must pump at every
    // pump point of a run and write the scratch copy before a command returns.
    static inline bool exact_timing = false;
    // The engine's pump interval for runs (zero: every pump point), and
    // whether the scratch copy is written by a background thread.
    std::chrono::microseconds pump_interval = exact_timing ? std::chrono::microseconds{0} : kInteractivePumpInterval;
    bool scratch_in_background = !exact_timing;

    // The picture commands (open, save, close, undo, redo, effects...) are
    // refused while an effect runs where the menus connect them; called
    // directly, they expect no run in progress. Quit, view and help
    // commands work during a run.

    // File menu (file_commands.cpp).
    void OpenPicture();
    // Opens path as OpenPicture does once its dialog has given a name: the
    // program's file argument and dropped files come in here.
    void OpenPictureFile(const QString& path);
    // A file dropped on the window: refused while an effect runs, otherwise
    // opened after the unsaved-changes prompt, as by OpenPicture.
    void OpenDroppedFile(const QString& path);
    void SavePictureAs();
    void SavePicture();
    void ClosePicture();
    void Quit();
    // The recent files submenu: a file chosen there opens after the prompt;
    // one that no longer exists is dropped from the list.
    void OpenRecentFile(const QString& path);
    void ClearRecentFiles();
    // The unsaved-changes prompt before the picture is given up for
    // another (or none): true when the command may go on, false when the
    // user cancelled or the save chosen with Yes failed.
    bool ConfirmReplace();
    // The prompt before the program ends: ends the process unless the save
    // chosen with Yes fails or the prompt is closed without an answer.
    void QuitAfterPrompt();

    // Edit menu and effects (effect_runner.cpp).
    void Undo();
    void Redo();
    // The picture's pixels to the clipboard, and the clipboard's image in as
    // a new untitled picture (after the unsaved-changes prompt), as if a
    // 24-bit BMP of it over white had been opened, marked edited.
    void CopyPicture();
    void PastePicture();
    void ApplyEffect(const EffectEntry& effect);
    void CancelEffect();
    // Writes the scratch file and shows the document's bytes in the view.
    void RefreshDisplay();
    // Returns once the last scratch copy asked for is on disk.
    void WaitForScratchCopy() { scratch_writer_.Wait(); }
    // The program's full path with ".bmp" appended.
    static QString DefaultScratchPath();

    // View menu: panels (panel_commands.cpp).
    void ToggleQuickAccessBar();
    void ToggleStatusBar();
    void ToggleProgressBox();
    void ToggleZoomBox();
    void HideQuickAccessBar();
    void HideProgressBox();
    void HideZoomBox();

    // View menu: zoom and display modes (zoom_commands.cpp).
    void ZoomIn();
    void ZoomOut();
    void NormalSize();
    void ActualSize();
    void FitToWindow();
    void ZoomToSlider();

    // Help menu and plug-ins (help_commands.cpp).
    void OpenHelp();
    void OpenSupportPage();
    void ShowAbout();
    void InstallPlugins();

    // EffectHost.
    void SetProgressMax(int64_t maximum) override;
    void SetProgress(int64_t position) override;
    void ProcessMessages() override;
    void SetCancelEnabled(bool enabled) override;
    std::chrono::microseconds PumpInterval() const override { return pump_interval; }
    void RunFinished(bool cancelled) override;

    Document& document() { return doc_; }
    // The open picture's file type and what a photo keeps besides its pixels.
    const codecs::PhotoTraits& picture_traits() const { return traits_; }
    EffectContext& context() { return context_; }
    // A menu action or submenu by object name ("openAction", "toolsMenu"...);
    // null when unknown.
    QAction* Action(const QString& name) const { return actions_by_name_.value(name); }
    // The Tools menu action that runs an effect of the catalogue.
    QAction* EffectAction(const EffectEntry& effect) const { return effect_actions_.value(&effect); }
    QString StatusText(int panel) const;
    StatusPanels* status_panels() const { return status_panels_; }
    ImageControl* image_control() const;
    ImageFrame* image_frame() const { return image_frame_; }
    AboutBox* about_box() const { return about_box_.get(); }

    // No context menu offers to show the tool bar.
    QMenu* createPopupMenu() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    // The standard shortcuts, Esc for Cancel, wheel and pinch zoom, the
    // clipboard's state (window_habits.cpp).
    void AddDesktopHabits();
    void RebuildRecentFilesMenu();
    // A file opened or saved goes first in the recent files.
    void RememberRecentFile(const QString& path);
    // Window size and position and the four panels, kept at quit and
    // restored at start.
    void SaveLayout();
    void RestoreLayout();
    // Puts a picture read aside in the document's place and shows it, as
    // unedited; false (and nothing changed) when there is no memory for it.
    bool TakePicture(Document& incoming, codecs::PhotoTraits traits = {});
    // The picture's path for captions and panels; "無題" when it has none.
    QString PictureName() const;
    // A menu command wrapped so that it does nothing while an effect runs.
    std::function<void()> RefusedDuringRun(std::function<void()> command);
    std::function<void()> RefusedDuringRun(void (MainWindow::*command)());
    void BuildToolBar();
    void ConnectQuickAccessBar();
    // Works out every changing action's enabled state from the window's state.
    void UpdateActions();

    void SetStatusText(int panel, const QString& text);
    void ShowFileName(const QString& path);
    void ShowWriteFailure();
    // The read failure box, with the problem's cause under its text.
    void ShowReadFailure(const FileProblem& problem);
    // Saves over the picture's own file for the unsaved-changes prompt (or,
    // for a picture without one or of a type not written, under a name
    // chosen in the save dialog).
    bool SaveOverOwnFile();
    // Save as: false when the dialog was cancelled or the save failed. The
    // dialog starts with initial_name and the filter of initial_filter.
    bool SaveUnderChosenName(const QString& initial_name, codecs::Format initial_filter);
    // The save dialog's start for a picture whose own type is not written
    // (HEIC, AVIF): its name as a JPEG.
    bool SaveAsJpeg();
    // Writes the picture to path in format, keeping its colour profile and
    // EXIF block; on success the picture's type is format.
    FileProblem WritePicture(const std::string& path, codecs::Format format);
    void ShowZoomPercent(ZoomReadout where);
    // Quit and the close box: during a run, cancels it and leaves the
    // prompt to ApplyEffect once the run has unwound.
    void RequestQuit();
    int32_t PictureWidth() const { return doc_.bitmap.GetWidth(); }
    int32_t PictureHeight() const { return doc_.bitmap.GetHeight(); }

    Document doc_;
    codecs::PhotoTraits traits_;
    CRand random_;
    EffectContext context_{doc_, *this, random_};
    std::unique_ptr<FileDialogs> dialogs_;
    std::unique_ptr<AboutBox> about_box_;
    ScratchWriter scratch_writer_;
    // Quit was chosen while a run pumped messages.
    bool quit_pending_ = false;
    // The save dialog opens with the last name chosen in it.
    QString last_save_name_;
    // A picture is open; the zoom commands and slider are enabled (open and
    // the actual-size mode enable them, the screen mode and close do not).
    bool has_picture_ = false;
    bool zoom_enabled_ = false;

    WindowActions actions_;
    QHash<QString, QAction*> actions_by_name_;
    QHash<const EffectEntry*, QAction*> effect_actions_;
    QToolBar* tool_bar_ = nullptr;
    QuickAccessBar* quick_access_bar_ = nullptr;
    ImageFrame* image_frame_ = nullptr;
    StatusPanels* status_panels_ = nullptr;
};

} // namespace korvanti
