// The About box: its texts and layout, shown without a modal loop over the
// disabled main window.
#include "app/about_box.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "app/main_window.h"

namespace korvanti {
namespace {

QLabel* PlaceLabel(QWidget* parent, const char* name, const QString& text, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->move(x, y);
    label->adjustSize();
    return label;
}

} // namespace

// A dialog window owned by the main window: the desktop keeps it above the
// main window, and while it is shown it is the only window that takes input.
AboutBox::AboutBox(QWidget* main_window)
    : QWidget(main_window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint),
      main_window_(main_window)
{
    setObjectName(QStringLiteral("aboutBox"));
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("Korvanti Ver 1.0.0 のバージョン情報"));
    QFont font(kWindowFontFamily);
    font.setPixelSize(12);
    setFont(font);
    // 320 x 154 outside, less a thin border and the title bar.
    setFixedSize(312, 127);
    move(198, 103);

    PlaceLabel(this, "authorLabel", QStringLiteral("このソフトの製作者　　　　：") + kAuthorName, 8, 8);
    PlaceLabel(this, "copyrightLabel", QStringLiteral("このソフトの著作権保持者：") + kAuthorName, 8, 32);
    PlaceLabel(this, "webPageLabel", kWebPageAddress, 40, 56);
    PlaceLabel(this, "contactLabel", kContactAddress, 88, 72);

    ok_button_ = new QPushButton(QStringLiteral("OK"), this);
    ok_button_->setObjectName(QStringLiteral("okButton"));
    ok_button_->setGeometry(120, 96, 57, 25);
    ok_button_->setDefault(true);
    connect(ok_button_, &QPushButton::clicked, this, &AboutBox::Dismiss);
}

void AboutBox::showEvent(QShowEvent* event)
{
    // The main window is disabled before the box is shown, and that reaches
    // its child windows too; a window of its own can be enabled again.
    setEnabled(true);
    QWidget::showEvent(event);
}

void AboutBox::Dismiss()
{
    hide();
    if (main_window_)
        main_window_->setEnabled(true);
}

void AboutBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        ok_button_->click();
    else
        QWidget::keyPressEvent(event);
}

void AboutBox::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (main_window_)
        main_window_->setEnabled(true);
}

} // namespace korvanti
