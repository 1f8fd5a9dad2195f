#include "gui_test_support.h"

#include <QFile>
#include <QMetaObject>
#include <QtEndian>

namespace korvanti::testing {
namespace {

void PutLittle32(QByteArray& bytes, int offset, uint32_t value)
{
    qToLittleEndian<uint32_t>(value, bytes.data() + offset);
}

void PutLittle16(QByteArray& bytes, int offset, uint16_t value)
{
    qToLittleEndian<uint16_t>(value, bytes.data() + offset);
}

} // namespace

void WriteBitmap(const QString& path, int width, int height, int bits)
{
    const int pixel_bytes = bits / 8;
    const int stride = (width * pixel_bytes + 3) & ~3;
    QByteArray bytes(54 + stride * height, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutLittle32(bytes, 2, static_cast<uint32_t>(bytes.size())); // file size
    PutLittle32(bytes, 10, 54);                                 // pixel offset
    PutLittle32(bytes, 14, 40);                                 // info header size
    PutLittle32(bytes, 18, static_cast<uint32_t>(width));       // width
    PutLittle32(bytes, 22, static_cast<uint32_t>(height));      // height, bottom-up
    PutLittle16(bytes, 26, 1);                                  // planes
    PutLittle16(bytes, 28, static_cast<uint16_t>(bits));        // bits per pixel
    PutLittle32(bytes, 34, static_cast<uint32_t>(stride * height));
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            char* pixel = bytes.data() + 54 + row * stride + column * pixel_bytes;
            pixel[0] = static_cast<char>((column * 37 + row * 11) & 0xff);  // blue
            pixel[1] = static_cast<char>((column * 13 + row * 71) & 0xff);  // green
            pixel[2] = static_cast<char>(((column ^ row) * 29 + 7) & 0xff); // red
        }
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray ToByteArray(const Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

QString ScriptedDialogs::OpenFileName(QWidget*)
{
    ++open_shown;
    if (open_answers.empty())
        return {};
    QString answer = open_answers.front();
    open_answers.pop_front();
    return answer;
}

std::optional<QString> ScriptedDialogs::SaveFileName(QWidget*, const QString& initial_name)
{
    ++save_shown;
    save_initial_names.push_back(initial_name);
    if (save_answers.empty())
        return std::nullopt;
    std::optional<QString> answer = save_answers.front();
    save_answers.pop_front();
    return answer;
}

ScriptedBoxes::ScriptedBoxes()
{
    previous_box_ = SetMessageBoxHandler([this](const QString& text, const QString& caption, int style) {
        shown.push_back({text, caption, style});
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return style == kStyleYesNo ? kAnswerNo : style == kStyleYesNoCancel ? kAnswerCancel : kAnswerOk;
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

QString WindowTest::OpenEdited(const QString& name)
{
    const QString path = MakeBitmap(name, 6, 5);
    Open(path);
    Apply("sharpen");
    return path;
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
