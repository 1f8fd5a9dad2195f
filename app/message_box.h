// The application's message boxes. Every box the program raises goes
// through MessageBox(), and the exception report through ShowException(),
// so that tests can put scripted answers in place of the real boxes.
#pragma once

#include <functional>

#include <QString>

namespace korvanti {

// Styles: which buttons a box has.
enum BoxStyle : int { kStyleOk = 0, kStyleYesNoCancel = 3, kStyleYesNo = 4 };
// Answers.
enum BoxAnswer : int { kAnswerOk = 1, kAnswerCancel = 2, kAnswerYes = 6, kAnswerNo = 7 };

// The application title, with ideographic spaces around "Ver": the caption
// of the exception report.
inline const QString kApplicationTitle = QStringLiteral("Korvanti　Ver　1.0.0");

// Shows a box without icon and returns the answer (1, 2, 6 or 7). Closing a
// box without choosing a button (Esc, the close box) counts as Cancel, in
// the Yes/No box too. A detail, when given, is a second, smaller line under
// the text.
int MessageBox(const QString& text, const QString& caption, BoxStyle style, const QString& detail = QString());

// The exception report: an error box with the message under the
// application title. The program goes on afterwards.
void ShowException(const QString& message);

using MessageBoxHandler =
    std::function<int(const QString& text, const QString& caption, BoxStyle style, const QString& detail)>;
using ExceptionHandler = std::function<void(const QString& message)>;

// Put another implementation in place (an empty function restores the real
// boxes); each returns the one it replaced.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
ExceptionHandler SetExceptionHandler(ExceptionHandler handler);

} // namespace korvanti
