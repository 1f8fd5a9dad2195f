// The message boxes and the exception report, centred over the main window.
#include "app/message_box.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>

namespace korvanti {
namespace {

// Every box belongs to the main window and opens centred over it. The
// active window is no guide: right after a file dialog closes there is none.
QWidget* BoxOwner()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(widget) != nullptr && widget->isVisible())
            return widget;
    }
    return QApplication::activeWindow();
}

// Qt places a dialog before a message box has taken its final size, and
// guesses the window frame; this centres the box once its size is known,
// taking the frame to be the owner's.
class CentredBox : public QMessageBox {
public:
    CentredBox(Icon icon, const QString& caption, const QString& text)
        : QMessageBox(icon, caption, text, QMessageBox::NoButton, BoxOwner())
    {
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        QMessageBox::showEvent(event);
        const QWidget* owner = parentWidget();
        if (owner == nullptr || !owner->isVisible())
            return;
        // The client area goes where the frame's middle meets the owner's,
        // the frame taken to be as thick as the owner's.
        const QRect over = owner->frameGeometry();
        const QPoint inset = owner->geometry().topLeft() - over.topLeft();
        const QSize frame = size() + over.size() - owner->size();
        setGeometry(QRect(over.center() - QPoint(frame.width() / 2, frame.height() / 2) + inset, size()));
    }
};

// The detail as one line under the text, a little smaller than it.
void ShowDetail(QMessageBox& box, const QString& detail)
{
    if (detail.isEmpty())
        return;
    box.setInformativeText(detail);
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setWordWrap(false);
        QFont font = label->font();
        if (font.pixelSize() > 0)
            font.setPixelSize(font.pixelSize() * 5 / 6);
        else
            font.setPointSizeF(font.pointSizeF() * 5 / 6);
        label->setFont(font);
    }
}

int ShowMessageBox(const QString& text, const QString& caption, BoxStyle style, const QString& detail)
{
    CentredBox box(QMessageBox::NoIcon, caption, text);
    ShowDetail(box, detail);
    switch (style) {
    case kStyleYesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case kStyleYesNo:
        // Esc and the close box would otherwise answer No; they close the
        // box unanswered (Cancel) through a button nobody sees.
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.button(QMessageBox::Cancel)->hide();
        box.setEscapeButton(QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return kAnswerOk;
    case QMessageBox::Yes:
        return kAnswerYes;
    case QMessageBox::No:
        return kAnswerNo;
    default:
        return kAnswerCancel;
    }
}

void ShowExceptionBox(const QString& message)
{
    CentredBox box(QMessageBox::Critical, kApplicationTitle, message);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

MessageBoxHandler& CurrentMessageBox()
{
    static MessageBoxHandler handler = ShowMessageBox;
    return handler;
}

ExceptionHandler& CurrentExceptionHandler()
{
    static ExceptionHandler handler = ShowExceptionBox;
    return handler;
}

} // namespace

int MessageBox(const QString& text, const QString& caption, BoxStyle style, const QString& detail)
{
    return CurrentMessageBox()(text, caption, style, detail);
}

void ShowException(const QString& message) { CurrentExceptionHandler()(message); }

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    MessageBoxHandler previous = std::move(CurrentMessageBox());
    CurrentMessageBox() = handler ? std::move(handler) : MessageBoxHandler(ShowMessageBox);
    return previous;
}

ExceptionHandler SetExceptionHandler(ExceptionHandler handler)
{
    ExceptionHandler previous = std::move(CurrentExceptionHandler());
    CurrentExceptionHandler() = handler ? std::move(handler) : ExceptionHandler(ShowExceptionBox);
    return previous;
}

} // namespace korvanti
