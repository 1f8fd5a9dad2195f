// The window's words about files: each type's name in the status bar and
// in the file dialogs' filters, and why a file could not be read.
#pragma once

#include <span>

#include <QString>
#include <QStringList>

#include "codecs/format.h"
#include "image/problem.h"

namespace korvanti {

// One filter of a file dialog: what it reads as and the names it lists.
struct TypeFilter {
    codecs::Format format; // Unknown: every type the program opens
    QString description;   // shown as it is, e.g. "JPEG (*.jpg *.jpeg)"
    QStringList patterns;  // e.g. "*.jpg"; matched in any letter case
};

// The open dialog's filters: every type first, then one per type.
std::span<const TypeFilter> OpenFilters();
// The save dialog's: one per type written, BMP first.
std::span<const TypeFilter> SaveFilters();

// The status bar's file format panel for a picture of that type.
QString FormatPanelText(codecs::Format format);

// Why a file could not be read, in a short line of Japanese for the read
// failure box; a decoder's reason (English, from the library) is quoted.
QString CauseOf(const FileProblem& problem);

// The type a name given to the save dialog is written in, by its extension
// as the program writes extensions (lower case); Unknown without one.
codecs::Format WrittenTypeOfName(const QString& name);

} // namespace korvanti
