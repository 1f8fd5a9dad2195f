// The settings file behind the window's recent files and layout.
#include "app/settings.h"

#include <QSettings>
#include <QVariant>

namespace korvanti::settings {
namespace {

const QString kRecentFilesKey = QStringLiteral("recentFiles");
const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kPanelGroup = QStringLiteral("panels/");

// One for the whole program: Qt writes its changes to the file now and
// then, and Flush() before the program ends.
QSettings& Store()
{
    static QSettings settings;
    return settings;
}

void Write(const QString& key, const QVariant& value) { Store().setValue(key, value); }

} // namespace

QStringList RecentFiles() { return Store().value(kRecentFilesKey).toStringList(); }

void AddRecentFile(const QString& path)
{
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    Write(kRecentFilesKey, files.mid(0, kRecentFilesLimit));
}

void RemoveRecentFile(const QString& path)
{
    QStringList files = RecentFiles();
    files.removeAll(path);
    Write(kRecentFilesKey, files);
}

void ClearRecentFiles() { Write(kRecentFilesKey, QStringList()); }

QByteArray WindowGeometry() { return Store().value(kGeometryKey).toByteArray(); }

void SetWindowGeometry(const QByteArray& geometry) { Write(kGeometryKey, geometry); }

bool PanelShown(const QString& name) { return Store().value(kPanelGroup + name, true).toBool(); }

void SetPanelShown(const QString& name, bool shown) { Write(kPanelGroup + name, shown); }

void Flush() { Store().sync(); }

void Reset()
{
    Store().clear();
    Store().sync();
}

} // namespace korvanti::settings
