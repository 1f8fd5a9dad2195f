// Helpers for the window tests: small BMP files made on the spot, scripted
// file dialogs and message boxes, and a fixture holding one main window.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include "app/file_dialogs.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "../support/engine_bench.h"
#include "effects/catalogue.h"

namespace korvanti::testing {

// Writes a 24-bit BMP of width x height with varied pixels (so filters change
// them); other bits go into the header alone, which the program refuses.
void WriteBitmap(const QString& path, int width, int height, int bits = 24);

// Drags urls over the middle of target and drops them there, through the
// window as the desktop delivers them, then lets the event loop open what
// was dropped. Returns whether the window took the drop.
bool DropOn(QWidget* target, const QList<QUrl>& urls);
QList<QUrl> Files(std::initializer_list<QString> paths);

inline QByteArray ToByteArray(const Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// Answers the file dialogs from queues; counts how often each was shown.
class ScriptedDialogs : public FileDialogs {
public:
    QString OpenFileName(QWidget* parent) override;
    std::optional<ChosenFile> SaveFileName(QWidget* parent, const QString& initial_name,
                                           codecs::Format initial_filter) override;

    std::deque<QString> open_answers;                // empty text: cancelled
    std::deque<std::optional<QString>> save_answers; // nullopt: cancelled
    std::deque<codecs::Format> save_filters;         // the filter chosen; when empty, the one it started with
    int open_shown = 0;
    std::vector<QString> save_initial_names; // one for each time the save dialog was shown
    std::vector<codecs::Format> save_initial_filters;
};

struct ShownBox {
    QString text;
    QString caption;
    int style;
    QString detail = {};
};

// Replaces the message boxes while alive: records every box and answers it
// from a queue (with OK, No or Cancel for its style when the queue is empty).
class ScriptedBoxes {
public:
    ScriptedBoxes();
    ~ScriptedBoxes();

    std::deque<int> answers;
    std::vector<ShownBox> shown;
    std::vector<QString> exceptions;

private:
    MessageBoxHandler previous_box_;
    ExceptionHandler previous_exception_;
};

// Calls fn once per message pump of the window's effect runs, with the
// pump's number (1 for the first), until the next Start or Stop.
class PumpWatcher {
public:
    void Start(MainWindow* window, std::function<void(int pump)> fn);
    void Stop() { fn_ = nullptr; }
    int pumps = 0;

private:
    void Post(int generation);
    MainWindow* window_ = nullptr;
    std::function<void(int)> fn_;
    int generation_ = 0;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new main window in place of the fixture's, as the program starts
    // anew: with the settings the last one left.
    void StartWindow();
    // A picture file in the test's own folder.
    QString MakeBitmap(const QString& name, int width, int height, int bits = 24);
    // Opens path through the scripted open dialog.
    void Open(const QString& path);
    // The ways a file comes in, by name: the open dialog, the program's
    // argument and a drop on the view (the window must be shown for it).
    std::vector<std::pair<const char*, std::function<void(const QString& path)>>> OpenWays();
    // Runs the effect of that catalogue name as its menu command does.
    void Apply(const char* effect) { window->ApplyEffect(*FindEffect(effect)); }
    // Runs an effect and, through the event queue, calls fn once per
    // message pump of its run with the pump's number (1 for the first).
    // Leaves the number of pumps in pumps.
    void RunWatched(const char* effect, std::function<void(int pump)> fn);

    QAction* Action(const char* name) const { return window->Action(QLatin1String(name)); }
    template <class T>
    T* Find(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
    QString Caption() const { return window->windowTitle(); }

    std::unique_ptr<QTemporaryDir> folder;
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<ScriptedBoxes> boxes;
    std::unique_ptr<MainWindow> window;
    std::vector<int> exits;
    std::vector<QUrl> opened_urls;
    int pumps = 0;

private:
    PumpWatcher watcher_;
};

} // namespace korvanti::testing
