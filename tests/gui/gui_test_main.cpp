// The GUI tests run inside the program's own application object, so that
// its translations, fonts and exception report are the ones tested.
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/application.h"
#include "app/main_window.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // No display is needed, not even to list the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The settings file in a folder of the run's own, never the user's.
    QTemporaryDir settings_folder;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings_folder.path()));
    korvanti::KorvantiApplication application(argc, argv);
    // The tests count every pump point and read the scratch copy at once.
    korvanti::MainWindow::exact_timing = true;
    return RUN_ALL_TESTS();
}
