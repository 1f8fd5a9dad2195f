// The About box: a small dialog window of the main window, shown without a
// modal loop while the main window is disabled, and kept above it. OK or its
// close box hides it and enables the main window again.
#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;

namespace korvanti {

inline const QString kAuthorName = QStringLiteral("Korvanti 開発チーム");
inline const QString kWebPageAddress = QStringLiteral("https://www.example.org/korvanti/");
inline const QString kContactAddress = QStringLiteral("korvanti@example.org");
inline const QString kSupportPageAddress = QStringLiteral("https://www.example.org/korvanti/support/");

class AboutBox : public QWidget {
    Q_OBJECT

public:
    explicit AboutBox(QWidget* main_window);

    // "OK".
    void Dismiss();

    QPushButton* ok_button() const { return ok_button_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Esc is "OK".
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QPointer<QWidget> main_window_;
    QPushButton* ok_button_;
};

} // namespace korvanti
