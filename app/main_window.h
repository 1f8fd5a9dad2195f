// Form1, the main window: the menu, the quick access bar with its zoom and
// progress boxes, the image view, the status bar and the hidden tool bar.
// Its handlers carry the names of the controls that fire them (L1Click for
// the menu item L1, TrackBar1Change, FormCloseQuery...). The window is also
// the host every effect runs in: progress bar, Cancel button, message pump.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string_view>

#include <QHash>
#include <QMainWindow>
#include <QUrl>

#include "app/file_dialogs.h"
#include "engine/c_rand.h"
#include "engine/effect_context.h"
#include "engine/effect_host.h"
#include "image/document.h"

class QAction;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QSplitter;
class QStatusBar;
class QToolBar;

namespace korvanti {

class AboutBox;
class ImageControl;
class ImageFrame;

// The window font, by its Windows name; the application maps it to an
// installed Japanese P-Gothic face.
inline const QString kWindowFontFamily = QStringLiteral("ＭＳ Ｐゴシック");

// Captions.
inline const QString kDesignCaption = QStringLiteral("Korvanti Ver 1.0.0");
inline const QString kRunningSuffix = QStringLiteral("  -  Korvanti ver 1.0.0");
inline const QString kClosedCaption = QStringLiteral("Korvanti ver 1.0.0");

// The help file, found in the current folder or beside the program.
inline const QString kHelpFileName = QStringLiteral("korvanti_help.html");

// What ConfirmUnsaved is asked about.
inline constexpr int kQuitting = 1;
inline constexpr int kReplacing = 2;
// What it answers for kReplacing.
inline constexpr int kGoOn = 1;
inline constexpr int kCancelled = 2;

class Form1 : public QMainWindow, public EffectHost {
    Q_OBJECT

public:
    // dialogs: the file dialogs to use; the real ones when null.
    explicit Form1(std::unique_ptr<FileDialogs> dialogs = nullptr);
    ~Form1() override;

    // Ends the process; std::_Exit by default, tests put a recorder here.
    std::function<void(int status)> exit_process;
    // Hands a file or page to the desktop; QDesktopServices by default.
    std::function<void(const QUrl& url)> open_url;
    // Where RefreshDisplay writes its copy; ScratchBitmap() by default.
    QString scratch_path;

    // File menu.
    void L1Click();
    void S1Click();
    void O1Click();
    void C1Click();
    void Q1Click();
    // Edit menu.
    void U1Click();
    void S9Click();
    // View menu: panels.
    void Q2Click();
    void S7Click();
    void S10Click();
    void K5Click();
    // View menu: zoom and display modes.
    void N25U1Click();
    void H4Click();
    void N25U2Click();
    void G4Click();
    void T2Click();
    void TrackBar1Change();
    // Tools menu: one handler per working effect.
    void I4Click();
    void H6Click();
    void S11Click();
    void E2Click();
    void N22Click();
    void G2Click();
    void N14Click();
    void N9Click();
    void M2Click();
    void G8Click();
    void G9Click();
    void I3Click();
    void K2Click();
    void R1Click();
    void M3Click();
    void N24Click();
    void Y1Click();
    void O2Click();
    void C2Click();
    void H5Click();
    void G6Click();
    void S12Click();
    void N23Click();
    // Help menu.
    void H2Click();
    void S3Click();
    void V1Click();
    // Buttons.
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void FormCreate();
    // The close request: asks ConfirmUnsaved(kQuitting).
    void FormCloseQuery();

    // Offers to save an edited picture before it is given up. kQuitting
    // ends the process (unless a save chosen with Yes fails); kReplacing
    // returns kGoOn or kCancelled; any other kind returns -1.
    int ConfirmUnsaved(int kind);

    // Writes the scratch file and shows file_bytes in Image1.
    void RefreshDisplay();

    // The scratch file: the program's full path with ".bmp" appended.
    static QString ScratchBitmap();


    // EffectHost.
    void SetProgressMax(int64_t maximum) override;
    void SetProgress(int64_t position) override;
    void ProcessMessages() override;
    void SetCancelEnabled(bool enabled) override;
    void RunFinished(bool cancelled) override;

    Document& document() { return doc_; }
    EffectContext& context() { return context_; }
    // A menu item (or submenu) by its design name; null when unknown.
    QAction* Item(const QString& name) const { return items_.value(name); }
    QString PanelText(int index) const;
    ImageControl* Image1() const;
    ImageFrame* Frame11() const { return frame11_; }
    AboutBox* Form2() const { return form2_.get(); }

    // No context menu offers to show the tool bar.
    QMenu* createPopupMenu() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    void BuildToolBar();
    QWidget* BuildQuickAccessBar();
    void BuildStatusBar();

    void RunMenuEffect(std::string_view menu_id);
    void SetPanelText(int index, const QString& text);
    void SetEditedPanel();
    void SetPictureControlsEnabled(bool enabled);
    void UpdateEditMenu();
    void ShowZoomPercent(bool status_panel, bool label);
    void ShowWriteFailure();
    // Saves over the picture's own file for the unsaved-changes prompt.
    bool SaveOverOwnFile();
    // Sets the track bar; TrackBar1Change runs when the value changes.
    void SetTrackBarPosition(int position);
    void ShowFileNamePanel(const QString& path);
    int32_t PictureWidth() const { return doc_.bitmap.GetWidth(); }
    int32_t PictureHeight() const { return doc_.bitmap.GetHeight(); }

    Document doc_;
    CRand random_;
    EffectContext context_{doc_, *this, random_};
    std::unique_ptr<FileDialogs> dialogs_;
    std::unique_ptr<AboutBox> form2_;
    // SaveDialog1 keeps the last name chosen in it.
    QString save_dialog_name_;

    QHash<QString, QAction*> items_;
    QToolBar* tool_bar1_ = nullptr;
    QFrame* panel1_ = nullptr;
    QFrame* panel2_ = nullptr;
    QFrame* panel4_ = nullptr;
    QSplitter* splitter2_ = nullptr;
    QSlider* track_bar1_ = nullptr;
    QLabel* label3_ = nullptr;
    QProgressBar* progress_bar1_ = nullptr;
    QPushButton* button1_ = nullptr;
    QStatusBar* status_bar1_ = nullptr;
    std::array<QLabel*, 5> status_panels_{};
    ImageFrame* frame11_ = nullptr;
};

} // namespace korvanti
