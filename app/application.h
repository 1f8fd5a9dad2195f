// The application object: Qt's own Japanese texts for the standard dialogs
// and buttons, the window font mapped to an installed Japanese P-Gothic, and
// the exception report for anything a handler lets escape. Also what the
// command line asks for.
#pragma once

#include <functional>
#include <optional>

#include <QApplication>
#include <QString>
#include <QStringList>

namespace korvanti {

class KorvantiApplication : public QApplication {
    Q_OBJECT

public:
    KorvantiApplication(int& argc, char** argv);

    // Qt cannot carry an exception through its event loop, so every event is
    // delivered inside a try block here; an escaped exception is shown in
    // the exception report and the loop goes on with the next event.
    bool notify(QObject* receiver, QEvent* event) override;
};

// What the command line asks for: `korvanti [FILE]` opens FILE at start (a
// second argument is ignored); --help and --version print their text and
// end the program, and so does an unknown option, with status 2. Read
// before the application object exists, so that these need no display.
struct CommandLine {
    QString file;                     // empty: start without a picture
    bool reset_settings = false;      // start with the first start's layout
    std::optional<int> exit_status;   // set: print output and end at once
    QString output;                   // for stdout (status 0) or stderr
};

// arguments as main() gets them, program first.
CommandLine ReadCommandLine(const QStringList& arguments);
CommandLine ReadCommandLine(int argc, char** argv);

// Runs fn from the event loop once window is on the screen, framed by the
// desktop, so that a box it raises can be centred over the whole window.
void WhenOnScreen(QWidget* window, std::function<void()> fn);

// Shows the exception being handled (call from a catch block only): its
// message for a standard exception, an empty message for anything else.
void ReportCurrentException();

} // namespace korvanti
