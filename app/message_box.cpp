#include "app/message_box.h"

#include <QApplication>
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

int ShowMessageBox(const QString& text, const QString& caption, int style)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::NoButton, BoxOwner());
    switch (style) {
    case kStyleYesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case kStyleYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
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
    QMessageBox::critical(BoxOwner(), kApplicationTitle, message);
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

int MessageBox(const QString& text, const QString& caption, int style)
{
    return CurrentMessageBox()(text, caption, style);
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
