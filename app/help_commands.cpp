// The Help menu (help file, support page, About box) and the plug-in command.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/picture_files.h"
#include "plugins/plugin_installer.h"

namespace korvanti {
namespace {

const QString kHelpMissingText = QStringLiteral("ヘルプファイルが見つかりません。");
const QString kHelpCaption = QStringLiteral("ヘルプ");
const QString kPluginInstalledText = QStringLiteral("正常にプラグインの追加を行いました。");
const QString kPluginBrokenText =
    QStringLiteral("エラーのあるプラグインファイルです。有効なプラグインファイルではありません。追加を行えません。");

} // namespace

void MainWindow::ShowAbout()
{
    setEnabled(false);
    about_box_->show();
    about_box_->raise();
    about_box_->activateWindow();
}

void MainWindow::OpenHelp()
{
    // The current folder first, then beside the program (a build tree copies
    // it there), then the installed data folder, ../share/korvanti from the
    // program's folder.
    const QString program_folder = QCoreApplication::applicationDirPath();
    const QString candidates[] = {
        QDir::current().absoluteFilePath(help_file_name),
        QDir(program_folder).absoluteFilePath(help_file_name),
        QDir(program_folder).absoluteFilePath(QStringLiteral(KORVANTI_HELP_FROM_PROGRAM "/") + help_file_name),
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo::exists(candidate)) {
            open_url(QUrl::fromLocalFile(QDir::cleanPath(candidate)));
            return;
        }
    }
    MessageBox(kHelpMissingText, kHelpCaption, kStyleOk);
}

void MainWindow::OpenSupportPage() { open_url(QUrl(kSupportPageAddress)); }

void MainWindow::InstallPlugins()
{
    korvanti::InstallPlugins(LocalPath(QDir::currentPath()), [](PluginOutcome outcome, const std::string&) {
        if (outcome == PluginOutcome::Installed)
            MessageBox(kPluginInstalledText, QString(), kStyleOk);
        else if (outcome == PluginOutcome::NoEntryPoint)
            MessageBox(kPluginBrokenText, QString(), kStyleOk);
    });
}

} // namespace korvanti
