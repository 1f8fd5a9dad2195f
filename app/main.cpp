// The program: the application object, the main window and its About box,
// and the event loop. `korvanti FILE` opens FILE at start.
#include <cstdio>
#include <exception>

#include "app/application.h"
#include "app/main_window.h"

int main(int argc, char** argv)
{
    korvanti::KorvantiApplication application(argc, argv);
    const korvanti::CommandLine command_line = korvanti::ReadCommandLine(application.arguments());
    if (command_line.exit_status) {
        std::fputs(command_line.output.toLocal8Bit().constData(), *command_line.exit_status == 0 ? stdout : stderr);
        return *command_line.exit_status;
    }
    try {
        korvanti::MainWindow window;
        window.show();
        if (!command_line.file.isEmpty())
            korvanti::WhenOnScreen(&window, [&window, &command_line] { window.OpenPictureFile(command_line.file); });
        application.exec();
    } catch (...) {
        korvanti::ReportCurrentException();
    }
    return 0;
}
