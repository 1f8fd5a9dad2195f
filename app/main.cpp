// The program: the application object, the main window and its About box,
// and the event loop. `korvanti FILE` opens FILE at start;
// `korvanti --reset-settings` starts with the first start's layout.
#include <cstdio>
#include <exception>

#include "app/application.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "image/file_ops.h"

int main(int argc, char** argv)
{
    // A closed standard descriptor would be taken by the next file opened,
    // and Qt's messages would land in a picture being saved.
    korvanti::EnsureStandardDescriptors();
    // --help, --version and mistakes are answered before the application
    // object, which needs a display, exists.
    const korvanti::CommandLine command_line = korvanti::ReadCommandLine(argc, argv);
    if (command_line.exit_status) {
        std::fputs(command_line.output.toLocal8Bit().constData(), *command_line.exit_status == 0 ? stdout : stderr);
        return *command_line.exit_status;
    }
    korvanti::KorvantiApplication application(argc, argv);
    if (command_line.reset_settings)
        korvanti::settings::Reset();
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
