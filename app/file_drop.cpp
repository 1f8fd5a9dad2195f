// A file dropped anywhere on the main window: the first one is opened,
// none while the window is busy.
#include "app/file_drop.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace korvanti {

QString FirstDroppedFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

FileDropTarget::FileDropTarget(QWidget* window, std::function<bool()> taking,
                               std::function<void(const QString& path)> open)
    : QObject(window), taking_(std::move(taking)), open_(std::move(open))
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

bool FileDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    auto* drop = static_cast<QDropEvent*>(event);
    const QString path = FirstDroppedFile(drop->mimeData());
    if (path.isEmpty() || !taking_()) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    // Opened after the drop has ended, so that the program that started the
    // drag is not kept waiting while the unsaved-changes prompt is up.
    if (type == QEvent::Drop)
        QTimer::singleShot(0, this, [this, path] { open_(path); });
    return true;
}

} // namespace korvanti
