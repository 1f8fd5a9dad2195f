// The application object: Qt's own Japanese texts for the standard dialogs
// and buttons, the window font mapped to an installed Japanese P-Gothic, and
// the exception report for anything a handler lets escape.
#pragma once

#include <QApplication>

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

// Shows the exception being handled (call from a catch block only): its
// message for a standard exception, an empty message for anything else.
void ReportCurrentException();

} // namespace korvanti
