#include "app/file_dialogs.h"

#include <QFileDialog>

namespace korvanti {
namespace {

// The description reads "Bitmap(*.bmp)"; the pattern in the last brackets
// matches the extension in any letter case, in Qt's dialog and in native ones.
const QString kBitmapFilter = QStringLiteral("Bitmap(*.bmp) (*.[bB][mM][pP])");

std::optional<QString> RunDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& initial_name)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilter(kBitmapFilter);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    // Qt's own dialog, so that its texts come from the loaded translations
    // and the filter behaves the same on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The program itself decides about ".bmp" and about replacing a file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!initial_name.isEmpty())
        dialog.selectFile(initial_name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString QtFileDialogs::OpenFileName(QWidget* parent)
{
    return RunDialog(parent, QFileDialog::AcceptOpen, QString()).value_or(QString());
}

std::optional<QString> QtFileDialogs::SaveFileName(QWidget* parent, const QString& initial_name)
{
    return RunDialog(parent, QFileDialog::AcceptSave, initial_name);
}

} // namespace korvanti
