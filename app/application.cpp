// The application object's Japanese texts and font, the exception report,
// and the command line read before any window exists.
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

// Qt's Japanese catalogue has the file dialog's type names ("Folder") under
// QFileDialog, where Qt 6 asks for them under QAbstractFileIconProvider
// (and QFileSystemModel): this looks them up there.
class FileTypeTranslator : public QTranslator {
public:
    FileTypeTranslator(const QTranslator* qt, QObject* parent) : QTranslator(parent), qt_(qt) {}

    QString translate(const char* context, const char* source, const char* disambiguation, int n) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0 && qstrcmp(context, "QFileSystemModel") != 0)
            return QString();
        const QString text = qt_->translate(context, source, disambiguation, n);
        return text.isEmpty() ? qt_->translate("QFileDialog", source, nullptr, n) : text;
    }
    bool isEmpty() const override { return false; }

private:
    const QTranslator* qt_;
};

void SetUpJapaneseEnvironment(QApplication& application)
{
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        application.installTranslator(translator);
        application.installTranslator(new FileTypeTranslator(translator, &application));
    } else {
        delete translator;
    }
    // The window font is asked for by its Windows name; these are the
    // metric-compatible Japanese P-Gothic faces a Linux desktop has.
    QFont::insertSubstitutions(kWindowFontFamily, {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                                                   QStringLiteral("VL PGothic"), QStringLiteral("Noto Sans CJK JP"),
                                                   QStringLiteral("IPAGothic")});
}

} // namespace

KorvantiApplication::KorvantiApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // The program's name, which is also the X11 window class, the desktop
    // entry's name and the settings file's folder and name.
    setOrganizationName(QStringLiteral("korvanti"));
    setApplicationName(QStringLiteral("korvanti"));
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
    parser.setApplicationDescription(QStringLiteral("BMP画像や写真（JPEG・PNG・WebP・TIFF・HEIC・AVIF）にエフェクトをかけます。"));
    // Options of our own rather than Qt's, whose help lists Qt's options too.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("この説明を表示します。"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("バージョンを表示します。"));
    const QCommandLineOption reset_settings(QStringLiteral("reset-settings"),
                                            QStringLiteral("ウィンドウの大きさ、位置、表示と最近使ったファイルを初期状態に戻します。"));
    parser.addOptions({help, version, reset_settings});
    // The options QApplication takes for itself (-platform xcb) are let
    // through to it.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* name : {"platform", "display", "geometry", "style", "stylesheet", "qwindowgeometry",
                             "qwindowtitle", "platformtheme"}) {
        QCommandLineOption qt_option(QLatin1String(name), QString(), QStringLiteral("value"));
        qt_option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qt_option);
    }
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("開く画像ファイル"), QStringLiteral("[FILE]"));
    CommandLine result;
    if (!parser.parse(arguments)) {
        result.exit_status = 2;
        result.output =
            QStringLiteral("korvanti: ") + parser.errorText() + QStringLiteral("\nTry 'korvanti --help'.\n");
    } else if (parser.isSet(help)) {
        result.exit_status = 0;
        // Without an application object Qt cannot name the program itself.
        result.output = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("korvanti"));
    } else if (parser.isSet(version)) {
        result.exit_status = 0;
        result.output = QStringLiteral("korvanti " KORVANTI_VERSION "\n");
    } else {
        result.reset_settings = parser.isSet(reset_settings);
        // A full path, as the open dialog gives, for the caption and panels.
        const QString file = parser.positionalArguments().value(0);
        if (!file.isEmpty())
            result.file = QFileInfo(file).absoluteFilePath();
    }
    return result;
}

CommandLine ReadCommandLine(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return ReadCommandLine(arguments);
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
