// Qt's own open and save dialogs, in Japanese throughout: texts, sizes and
// dates, with the list's columns as wide as their contents.
#include "app/file_dialogs.h"

#include "app/file_texts.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QListView>
#include <QScrollBar>
#include <QSplitter>
#include <QTreeView>

namespace korvanti {
namespace {

// A filter as Qt takes it: the description shown as it is, then, in the
// last brackets (which the dialog hides), its patterns in any letter case:
// "Bitmap(*.bmp) (*.[bB][mM][pP])".
QString QtFilter(const TypeFilter& filter)
{
    QStringList patterns;
    for (const QString& pattern : filter.patterns) {
        QString any_case;
        for (const QChar c : pattern)
            any_case += c.isLetter() ? QStringLiteral("[%1%2]").arg(c.toLower(), c.toUpper()) : QString(c);
        patterns << any_case;
    }
    return filter.description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QStringList QtFilters(std::span<const TypeFilter> filters)
{
    QStringList list;
    for (const TypeFilter& filter : filters)
        list << QtFilter(filter);
    return list;
}

// Qt's file list writes sizes and dates in the system's locale, which on
// most desktops is not Japanese; this writes them in the program's own.
class JapaneseFileList : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || files == nullptr || (index.column() != kSizeColumn && index.column() != kDateColumn))
            return QIdentityProxyModel::data(index, role);
        const QModelIndex file = mapToSource(index);
        const QLocale locale;
        if (index.column() == kDateColumn)
            return locale.toString(files->lastModified(file), QLocale::ShortFormat);
        return files->isDir(file) ? QString() : locale.formattedDataSize(files->size(file));
    }

private:
    // QFileSystemModel's columns: name, size, type, date modified.
    static constexpr int kSizeColumn = 1;
    static constexpr int kDateColumn = 3;
};

// The detail list: the name takes the room the other columns leave, and
// they are always as wide as their contents. The places on the left are
// as wide as their names.
void FitColumns(QFileDialog& dialog)
{
    if (auto* list = dialog.findChild<QTreeView*>()) {
        QHeaderView* header = list->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    auto* places = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    auto* splitter = places != nullptr ? qobject_cast<QSplitter*>(places->parentWidget()) : nullptr;
    if (splitter != nullptr && splitter->count() == 2) {
        const int room = places->sizeHintForColumn(0) + 2 * places->frameWidth() + places->verticalScrollBar()->sizeHint().width();
        splitter->setSizes({room, splitter->width() - room});
    }
}

std::optional<ChosenFile> RunDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& initial_name,
                                    codecs::Format initial_filter)
{
    const std::span<const TypeFilter> filters = mode == QFileDialog::AcceptOpen ? OpenFilters() : SaveFilters();
    const QStringList qt_filters = QtFilters(filters);
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(qt_filters);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    // Qt's own dialog, so that its texts come from the loaded translations
    // and the filter behaves the same on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The program itself decides about the extension and about replacing a file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setProxyModel(new JapaneseFileList(&dialog));
    FitColumns(dialog);
    // After the options: setting them lays the filters out afresh.
    for (size_t i = 0; i < filters.size(); ++i) {
        if (filters[i].format == initial_filter)
            dialog.selectNameFilter(qt_filters[static_cast<qsizetype>(i)]);
    }
    if (!initial_name.isEmpty())
        dialog.selectFile(initial_name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    // The chosen filter as given, or as the dialog shows it (details hidden).
    const QString selected = dialog.selectedNameFilter().trimmed();
    codecs::Format chosen = initial_filter;
    for (size_t i = 0; i < filters.size(); ++i) {
        if (selected == qt_filters[static_cast<qsizetype>(i)] || selected == filters[i].description)
            chosen = filters[i].format;
    }
    return ChosenFile{dialog.selectedFiles().constFirst(), chosen};
}

} // namespace

QString QtFileDialogs::OpenFileName(QWidget* parent)
{
    const std::optional<ChosenFile> chosen = RunDialog(parent, QFileDialog::AcceptOpen, QString(), codecs::Format::Unknown);
    return chosen ? chosen->path : QString();
}

std::optional<ChosenFile> QtFileDialogs::SaveFileName(QWidget* parent, const QString& initial_name,
                                                      codecs::Format initial_filter)
{
    return RunDialog(parent, QFileDialog::AcceptSave, initial_name, initial_filter);
}

} // namespace korvanti
