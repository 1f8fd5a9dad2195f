#include "app/application.h"

#include <exception>

#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/main_window.h"
#include "app/message_box.h"

namespace korvanti {
namespace {

void SetUpJapaneseEnvironment(QApplication& application)
{
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application.installTranslator(translator);
    else
        delete translator;
    // The window font is asked for by its Windows name; these are the
    // metric-compatible Japanese P-Gothic faces a Linux desktop has.
    QFont::insertSubstitutions(kWindowFontFamily, {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                                                   QStringLiteral("VL PGothic"), QStringLiteral("Noto Sans CJK JP"),
                                                   QStringLiteral("IPAGothic")});
}

} // namespace

KorvantiApplication::KorvantiApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(kApplicationTitle);
    setApplicationVersion(QStringLiteral(KORVANTI_VERSION));
    setDesktopFileName(QStringLiteral("korvanti"));
    SetUpJapaneseEnvironment(*this);
}

bool KorvantiApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}

void ReportCurrentException()
{
    try {
        throw;
    } catch (const std::exception& error) {
        ShowException(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowException(QString());
    }
}

} // namespace korvanti
