// Helpers for the window tests: pictures on disk, scripted dialogs and
// boxes, the pump watcher and the fixture holding one main window.
#include "gui_test_support.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMetaObject>
#include <QMimeData>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <iterator>

#include "app/application.h"
#include "app/settings.h"
#include "view/image_frame.h"

namespace korvanti::testing {

void WriteBitmap(const QString& path, int width, int height, int bits)
{
    WriteFile(QFile::encodeName(path).toStdString(),
              MakeBmp(Varied(width, height, 7), 54, {}, 0, static_cast<uint16_t>(bits)));
}

bool DropOn(QWidget* target, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    QWidget* top = target->window();
    const QPoint at = target->mapTo(top, target->rect().center());
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(top->windowHandle(), &enter);
    if (!enter.isAccepted()) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(top->windowHandle(), &leave);
        return false;
    }
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(top->windowHandle(), &drop);
    QCoreApplication::processEvents();
    return drop.isAccepted();
}

QList<QUrl> Files(std::initializer_list<QString> paths)
{
    QList<QUrl> urls;
    std::transform(paths.begin(), paths.end(), std::back_inserter(urls), QUrl::fromLocalFile);
    return urls;
}

namespace {

// The queue's next answer, or fallback when it is empty.
template <class T>
T Next(std::deque<T>& queue, T fallback)
{
    if (queue.empty())
        return fallback;
    T answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}

} // namespace

QString ScriptedDialogs::OpenFileName(QWidget*)
{
    ++open_shown;
    return Next(open_answers, QString());
}

std::optional<ChosenFile> ScriptedDialogs::SaveFileName(QWidget*, const QString& initial_name,
                                                        codecs::Format initial_filter)
{
    save_initial_names.push_back(initial_name);
    save_initial_filters.push_back(initial_filter);
    const std::optional<QString> answer = Next(save_answers, std::optional<QString>());
    const codecs::Format filter = Next(save_filters, initial_filter);
    if (!answer)
        return std::nullopt;
    return ChosenFile{*answer, filter};
}

ScriptedBoxes::ScriptedBoxes()
{
    previous_box_ = SetMessageBoxHandler([this](const QString& text, const QString& caption, int style,
                                                const QString& detail) {
        shown.push_back({text, caption, style, detail});
        return Next<int>(answers, style == kStyleYesNo ? kAnswerNo : style == kStyleYesNoCancel ? kAnswerCancel : kAnswerOk);
    });
    previous_exception_ = SetExceptionHandler([this](const QString& message) { exceptions.push_back(message); });
}

ScriptedBoxes::~ScriptedBoxes()
{
    SetMessageBoxHandler(std::move(previous_box_));
    SetExceptionHandler(std::move(previous_exception_));
}

void WindowTest::SetUp()
{
    folder = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(folder->isValid());
    boxes = std::make_unique<ScriptedBoxes>();
    settings::Reset(); // each test's window starts as the first one does
    StartWindow();
}

void WindowTest::StartWindow()
{
    window.reset(); // one program at a time
    auto scripted = std::make_unique<ScriptedDialogs>();
    dialogs = scripted.get();
    window = std::make_unique<MainWindow>(std::move(scripted));
    window->exit_process = [this](int status) { exits.push_back(status); };
    window->open_url = [this](const QUrl& url) { opened_urls.push_back(url); };
    // Test programs may run side by side; each window gets its own copy.
    window->scratch_path = QDir(folder->path()).absoluteFilePath(QStringLiteral("scratch.bmp"));
}

void WindowTest::TearDown()
{
    watcher_.Stop();
    window.reset();
    boxes.reset();
    folder.reset();
}

QString WindowTest::MakeBitmap(const QString& name, int width, int height, int bits)
{
    const QString path = QDir(folder->path()).absoluteFilePath(name);
    WriteBitmap(path, width, height, bits);
    return path;
}

void WindowTest::Open(const QString& path)
{
    dialogs->open_answers.push_back(path);
    window->OpenPicture();
}

std::vector<std::pair<const char*, std::function<void(const QString& path)>>> WindowTest::OpenWays()
{
    return {
        {"dialog", [this](const QString& path) { Open(path); }},
        {"argument",
         [this](const QString& path) {
             window->OpenPictureFile(ReadCommandLine({QStringLiteral("korvanti"), path}).file);
         }},
        {"drop", [this](const QString& path) { EXPECT_TRUE(DropOn(window->image_frame()->viewport(), Files({path}))); }},
    };
}

void WindowTest::RunWatched(const char* effect, std::function<void(int pump)> fn)
{
    watcher_.Start(window.get(), std::move(fn));
    Apply(effect);
    watcher_.Stop();
    pumps = watcher_.pumps;
}

void PumpWatcher::Start(MainWindow* window, std::function<void(int pump)> fn)
{
    window_ = window;
    fn_ = std::move(fn);
    pumps = 0;
    Post(++generation_);
}

// Each pump of a run handles the events posted before it, so a watcher that
// posts itself again runs exactly once per pump. A watcher left in the queue
// by an earlier run belongs to an older generation and does nothing.
void PumpWatcher::Post(int generation)
{
    QMetaObject::invokeMethod(
        window_,
        [this, generation] {
            if (generation != generation_ || !fn_ || !window_->context().Running())
                return;
            fn_(++pumps);
            Post(generation);
        },
        Qt::QueuedConnection);
}

} // namespace korvanti::testing
