#include "app/about_box.h"

#include <QCloseEvent>
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

// A window of its own, not a child of the main window, so that disabling
// the main window does not disable this box too.
AboutBox::AboutBox(QWidget* main_window)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      main_window_(main_window)
{
    setObjectName(QStringLiteral("aboutBox"));
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

void AboutBox::Dismiss()
{
    hide();
    if (main_window_)
        main_window_->setEnabled(true);
}

void AboutBox::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (main_window_)
        main_window_->setEnabled(true);
}

} // namespace korvanti
