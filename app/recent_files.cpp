// The File menu's recent files: the last pictures opened or saved, newest
// first, kept in the settings file.
#include <QAction>
#include <QFileInfo>
#include <QMenu>

#include "app/main_window.h"
#include "app/settings.h"

namespace korvanti {

void MainWindow::RebuildRecentFilesMenu()
{
    QMenu* menu = actions_.recent_files_menu->menu();
    // The numbered items stand above the separator and "一覧を消去".
    for (QAction* item : menu->actions()) {
        if (item->property("recentFile").isValid())
            delete item;
    }
    QAction* separator = menu->actions().front();
    const QStringList files = settings::RecentFiles();
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString& path = files[i];
        auto* item = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()), menu);
        item->setObjectName(QStringLiteral("recentFileAction%1").arg(i + 1));
        item->setToolTip(path);
        item->setProperty("recentFile", path);
        connect(item, &QAction::triggered, this, RefusedDuringRun([this, path] { OpenRecentFile(path); }));
        menu->insertAction(separator, item);
    }
    menu->setToolTipsVisible(true);
    actions_.clear_recent_files->setEnabled(!files.isEmpty());
}

void MainWindow::RememberRecentFile(const QString& path)
{
    settings::AddRecentFile(path);
    RebuildRecentFilesMenu();
}

void MainWindow::OpenRecentFile(const QString& path)
{
    if (!ConfirmReplace())
        return;
    const bool gone = !QFileInfo::exists(path);
    OpenPictureFile(path);
    if (gone) {
        settings::RemoveRecentFile(path);
        RebuildRecentFilesMenu();
    }
}

void MainWindow::ClearRecentFiles()
{
    settings::ClearRecentFiles();
    RebuildRecentFilesMenu();
}

} // namespace korvanti
