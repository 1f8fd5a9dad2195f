#include "app/application.h"

#include <exception>

#include <QCommandLineParser>
#include <QFileInfo>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <QWindow>

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

CommandLine ReadCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("24ビットBMP画像にエフェクトをかけます。"));
    // Options of our own rather than Qt's, whose help lists Qt's options too.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("この説明を表示します。"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("バージョンを表示します。"));
    parser.addOptions({help, version});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("開くBMPファイル"), QStringLiteral("[FILE]"));
    CommandLine result;
    if (!parser.parse(arguments)) {
        result.exit_status = 2;
        result.output = parser.errorText() + QLatin1Char('\n');
    } else if (parser.isSet(help)) {
        result.exit_status = 0;
        result.output = parser.helpText();
    } else if (parser.isSet(version)) {
        result.exit_status = 0;
        result.output = QStringLiteral("korvanti " KORVANTI_VERSION "\n");
    } else {
        // A full path, as the open dialog gives, for the caption and panels.
        const QString file = parser.positionalArguments().value(0);
        if (!file.isEmpty())
            result.file = QFileInfo(file).absoluteFilePath();
    }
    return result;
}

namespace {

// Waits for the first exposure of a window.
class ExposureWatch : public QObject {
public:
    ExposureWatch(QWindow* window, std::function<void()> fn) : QObject(window), fn_(std::move(fn))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, watched, std::move(fn_));
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> fn_;
};

} // namespace

void WhenOnScreen(QWidget* window, std::function<void()> fn)
{
    window->winId(); // the native window, to watch
    if (window->windowHandle()->isExposed())
        QTimer::singleShot(0, window, std::move(fn));
    else
        new ExposureWatch(window->windowHandle(), std::move(fn));
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
