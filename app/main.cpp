// The program: the application object, the main window and its About box,
// and the event loop. Command-line arguments are ignored.
#include <exception>

#include "app/application.h"
#include "app/main_window.h"

int main(int argc, char** argv)
{
    korvanti::KorvantiApplication application(argc, argv);
    try {
        korvanti::MainWindow window;
        window.show();
        application.exec();
    } catch (...) {
        korvanti::ReportCurrentException();
    }
    return 0;
}
