// What the window keeps from one start to the next in the user's settings
// file (~/.config/korvanti/korvanti.conf): the recent files, the window's
// size and position and which panels are shown.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace korvanti::settings {

// How many recent files the File menu lists.
inline constexpr int kRecentFilesLimit = 8;

// Newest first.
QStringList RecentFiles();
// path goes first, once; the list is cut to the limit.
void AddRecentFile(const QString& path);
void RemoveRecentFile(const QString& path);
void ClearRecentFiles();

// QWidget::saveGeometry's bytes; empty before the first quit.
QByteArray WindowGeometry();
void SetWindowGeometry(const QByteArray& geometry);
// A panel by its View menu action's name; shown unless saved hidden.
bool PanelShown(const QString& name);
void SetPanelShown(const QString& name, bool shown);

// Writes every change to the file; the program ends without unwinding, so
// it calls this first.
void Flush();

// Forgets everything: the next window starts as the first one did.
void Reset();

} // namespace korvanti::settings
