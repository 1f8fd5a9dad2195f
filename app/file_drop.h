// Opening a picture by dropping its file on the main window: anywhere on
// it (view, quick access bar, status bar). Of several files dropped at once
// the first is opened; a drop is refused while the window is busy.
#pragma once

#include <functional>

#include <QObject>
#include <QString>

class QMimeData;
class QWidget;

namespace korvanti {

// The first local file a drop carries; empty when it carries none.
QString FirstDroppedFile(const QMimeData* data);

class FileDropTarget : public QObject {
    Q_OBJECT

public:
    // Makes window take drops. taking tells whether a drop is welcome now;
    // open gets the dropped file once the drop is over, from the event loop.
    FileDropTarget(QWidget* window, std::function<bool()> taking, std::function<void(const QString& path)> open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<bool()> taking_;
    std::function<void(const QString& path)> open_;
};

} // namespace korvanti
