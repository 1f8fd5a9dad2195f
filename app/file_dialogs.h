// The open and save dialogs behind a small interface, so that tests can
// answer them with scripted names.
#pragma once

#include <optional>

#include <QString>

#include "codecs/format.h"

class QWidget;

namespace korvanti {

// What a file dialog gave: the name, and the type of the filter chosen.
struct ChosenFile {
    QString path;
    codecs::Format filter = codecs::Format::Bmp;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;

    // The open dialog, started with an empty name. Returns the chosen path,
    // or an empty text when the user cancels.
    virtual QString OpenFileName(QWidget* parent) = 0;

    // The save dialog, started with initial_name and the filter of
    // initial_filter's type. Returns the chosen path and filter, or nothing
    // when the user cancels.
    virtual std::optional<ChosenFile> SaveFileName(QWidget* parent, const QString& initial_name,
                                                   codecs::Format initial_filter) = 0;
};

// The real dialogs, with the filters of OpenFilters() and SaveFilters()
// (app/file_texts.h), each listing its files in any letter case.
class QtFileDialogs : public FileDialogs {
public:
    QString OpenFileName(QWidget* parent) override;
    std::optional<ChosenFile> SaveFileName(QWidget* parent, const QString& initial_name,
                                           codecs::Format initial_filter) override;
};

} // namespace korvanti
