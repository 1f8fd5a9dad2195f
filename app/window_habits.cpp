// What a desktop user expects of the window besides its menus: the standard
// shortcuts beside the menu captions, Esc for Cancel, Ctrl + wheel and pinch
// zoom, copy and paste through the clipboard, and the layout kept from one
// start to the next.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QPushButton>

#include "app/main_window.h"
#include "app/quick_access_bar.h"
#include "app/settings.h"
#include "app/status_panels.h"
#include "view/image_frame.h"

namespace korvanti {
namespace {

// Keys every desktop gets (the first is shown beside the caption), then the
// desktop's own keys for the command where Qt knows a standard one.
struct Shortcut {
    const char* action;
    QKeySequence::StandardKey standard;
    const char* keys;
};

constexpr Shortcut kShortcuts[] = {
    {"openAction", QKeySequence::Open, "Ctrl+O"},
    {"saveAction", QKeySequence::Save, "Ctrl+S"},
    {"saveAsAction", QKeySequence::SaveAs, "Ctrl+Shift+S"},
    {"closeAction", QKeySequence::Close, "Ctrl+W"},
    {"quitAction", QKeySequence::Quit, "Ctrl+Q"},
    {"undoAction", QKeySequence::Undo, "Ctrl+Z"},
    {"redoAction", QKeySequence::Redo, "Ctrl+Y; Ctrl+Shift+Z"},
    {"copyAction", QKeySequence::Copy, "Ctrl+C"},
    {"pasteAction", QKeySequence::Paste, "Ctrl+V"},
    {"zoomInAction", QKeySequence::ZoomIn, "Ctrl++; Ctrl+="},
    {"zoomOutAction", QKeySequence::ZoomOut, "Ctrl+-"},
    {"normalSizeAction", QKeySequence::UnknownKey, "Ctrl+0"},
    {"helpAction", QKeySequence::HelpContents, "F1"},
};

// The View menu's panel toggles, by action name, as the settings keep them.
constexpr const char* kPanelActions[] = {"quickAccessBarAction", "statusBarAction", "progressBoxAction",
                                         "zoomBoxAction"};

} // namespace

void MainWindow::AddDesktopHabits()
{
    for (const Shortcut& shortcut : kShortcuts) {
        QList<QKeySequence> keys;
        for (const QString& key : QString::fromLatin1(shortcut.keys).split(QLatin1Char(';')))
            keys.append(QKeySequence(key.trimmed(), QKeySequence::PortableText));
        for (const QKeySequence& key : QKeySequence::keyBindings(shortcut.standard)) {
            if (!keys.contains(key))
                keys.append(key);
        }
        Action(QLatin1String(shortcut.action))->setShortcuts(keys);
    }
    // Esc does what the Cancel button does, when it does anything.
    auto* cancel = new QAction(this);
    cancel->setObjectName(QStringLiteral("cancelRunAction"));
    cancel->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(cancel, &QAction::triggered, quick_access_bar_->cancel_button(), &QPushButton::click);
    addAction(cancel);
    actions_by_name_.insert(cancel->objectName(), cancel);
    // Wheel and pinch steps are the zoom commands', where those are enabled.
    connect(image_frame_, &ImageFrame::ZoomStepsAsked, this, [this](int steps) {
        for (; steps > 0 && actions_.zoom_in->isEnabled(); --steps)
            actions_.zoom_in->trigger();
        for (; steps < 0 && actions_.zoom_out->isEnabled(); ++steps)
            actions_.zoom_out->trigger();
    });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &MainWindow::UpdateActions);
}

void MainWindow::CopyPicture()
{
    const QImage picture = make_picture(doc_, QImage());
    if (!picture.isNull())
        QGuiApplication::clipboard()->setImage(picture);
}

void MainWindow::PastePicture()
{
    const QImage image = QGuiApplication::clipboard()->image();
    if (image.isNull() || !ConfirmReplace())
        return;
    Document incoming;
    incoming.keep_undo = false;
    Bytes bytes = BitmapOf(image);
    const FileProblem problem =
        bytes.empty() ? FileProblem(FileProblemKind::OutOfMemory) : incoming.AdoptBitmap(std::move(bytes), std::string());
    if (!problem.ok() || !TakePicture(incoming)) {
        ShowReadFailure(problem.ok() ? FileProblem(FileProblemKind::OutOfMemory) : problem);
        return;
    }
    doc_.edit_count = 2;
    SetStatusText(kEditStatePanel, EditStateText(doc_.edit_count));
}

void MainWindow::SaveLayout()
{
    settings::SetWindowGeometry(saveGeometry());
    for (const char* name : kPanelActions)
        settings::SetPanelShown(QLatin1String(name), Action(QLatin1String(name))->isChecked());
}

void MainWindow::RestoreLayout()
{
    const QByteArray geometry = settings::WindowGeometry();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    for (const char* name : kPanelActions) {
        QAction* toggle = Action(QLatin1String(name));
        if (!settings::PanelShown(QLatin1String(name)) && toggle->isChecked())
            toggle->trigger();
    }
}

} // namespace korvanti
