// The open and save dialogs behind a small interface, so that tests can
// answer them with scripted names.
#pragma once

#include <optional>

#include <QString>

class QWidget;

namespace korvanti {

class FileDialogs {
public:
    virtual ~FileDialogs() = default;

    // The open dialog, started with an empty name. Returns the chosen path,
    // or an empty text when the user cancels.
    virtual QString OpenFileName(QWidget* parent) = 0;

    // The save dialog, started with initial_name. Returns the chosen path,
    // or nothing when the user cancels.
    virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& initial_name) = 0;
};

// The real dialogs: one filter, "Bitmap(*.bmp)", that lists .bmp files in
// any letter case.
class QtFileDialogs : public FileDialogs {
public:
    QString OpenFileName(QWidget* parent) override;
    std::optional<QString> SaveFileName(QWidget* parent, const QString& initial_name) override;
};

} // namespace korvanti
