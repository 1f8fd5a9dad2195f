// End to end in the window, offscreen: from choosing an effect in the menu
// to the new picture painted, on a 4000 x 3000 picture, beside the core's
// own time for the same effect on the same picture; and from opening a
// picture of each type to its picture painted, with the peak memory. Not a
// test: it prints the medians of five runs each.
//
//   QT_QPA_PLATFORM=offscreen build/release/bench/korvanti-window-bench [effect ...]
//   QT_QPA_PLATFORM=offscreen build/release/bench/korvanti-window-bench --open [WIDTHxHEIGHT | FILE ...]
//
// Without arguments it runs every effect of the catalogue; effects are
// named as the batch tool names them (name or menu id). --open opens each
// FILE, or the bench picture (4000 x 3000 unless a size is given) written
// as BMP, JPEG (quality 92), PNG, WebP (quality 92), TIFF and, when heif-enc
// is installed, HEIC and AVIF, each in a process of its own so that its
// peak memory (VmHWM, read after the first open) is its own.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "codecs/photo_file.h"
#include "effects/catalogue.h"
#include "engine/effect_context.h"

namespace {

// Answers the open dialog with one path.
class OnePicture : public korvanti::FileDialogs {
public:
    explicit OnePicture(QString path) : path_(std::move(path)) {}
    QString OpenFileName(QWidget*) override { return path_; }
    std::optional<korvanti::ChosenFile> SaveFileName(QWidget*, const QString&, korvanti::codecs::Format) override
    {
        return std::nullopt;
    }

private:
    QString path_;
};

void WritePicture(const std::string& path, int32_t width, int32_t height)
{
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    std::vector<uint8_t> bytes(54 + stride * height);
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = uint8_t(v >> (8 * i));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(2, uint32_t(bytes.size()));
    put(10, 54);
    put(14, 40);
    put(18, uint32_t(width));
    put(22, uint32_t(height));
    bytes[26] = 1;
    bytes[28] = 24;
    uint32_t x = 12345;
    for (size_t i = 54; i < bytes.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        bytes[i] = uint8_t(((i / 3) % width) / 16 + (x >> 29));
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

constexpr int kRuns = 5;

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The core alone with a host that does nothing: the effect, then undo back
// to the original picture for the next run.
double CoreMilliseconds(const std::string& picture, const korvanti::EffectEntry& effect)
{
    korvanti::Document document;
    if (!document.LoadBitmap(picture).ok())
        return -1;
    korvanti::EffectHost host;
    korvanti::CRand random;
    korvanti::EffectContext context(document, host, random);
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        korvanti::RunEffect(context, effect);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        document.Undo();
    }
    return Median(times);
}

// Menu to painted picture: the action, then the paint of the window.
double WindowMilliseconds(korvanti::MainWindow& window, const korvanti::EffectEntry& effect)
{
    QAction* action = window.EffectAction(effect);
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        action->trigger();
        window.repaint();
        QApplication::processEvents();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        window.Undo(); // back to the original picture
        QApplication::processEvents();
        window.WaitForScratchCopy(); // the next run starts with no write pending
    }
    return Median(times);
}

// The process's peak resident memory so far (VmHWM), in MiB.
double PeakMebibytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024;
    }
    return -1;
}

// Opens path in a window of its own: the first open, then the peak memory,
// then the median of kRuns opens (each over the picture the last one left).
int OpenOne(const QString& path)
{
    korvanti::MainWindow window(std::make_unique<OnePicture>(path));
    window.scratch_path = QStringLiteral("/dev/null");
    window.show();
    QApplication::processEvents();
    std::vector<double> times;
    double peak = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        window.OpenPictureFile(path);
        window.repaint();
        QApplication::processEvents();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (run == 0)
            peak = PeakMebibytes();
    }
    const double bitmap = double(window.document().file_bytes.size()) / (1 << 20);
    if (bitmap == 0) {
        std::fprintf(stderr, "%s was not opened\n", qPrintable(path));
        return 1;
    }
    std::printf("%-6s %10.1f %10.1f %10.1f %10.1f %8.2f   %s\n",
                std::string(korvanti::codecs::NameOf(window.picture_traits().format)).c_str(), times.front(),
                Median(times), bitmap, peak, peak / bitmap, qPrintable(path));
    return 0;
}

// The bench picture written as every type the program reads, in folder.
QStringList WriteEveryType(const QString& folder, int32_t width, int32_t height)
{
    using korvanti::codecs::Format;
    const QString bitmap = folder + QStringLiteral("/picture.bmp");
    WritePicture(bitmap.toStdString(), width, height);
    korvanti::Document document;
    document.keep_undo = false;
    if (!document.LoadBitmap(bitmap.toStdString()).ok())
        return {};
    QStringList files{bitmap};
    for (const Format format : {Format::Jpeg, Format::Png, Format::Webp, Format::Tiff}) {
        files << folder + QStringLiteral("/picture") + QString::fromUtf8(korvanti::codecs::ExtensionOf(format));
        if (!korvanti::codecs::SavePictureFile(document, files.back().toStdString(), format, {92, false}, {}, {}).ok())
            return {};
    }
    if (QStandardPaths::findExecutable(QStringLiteral("heif-enc")).isEmpty())
        return files;
    for (const auto& [extension, options] :
         {std::pair(QStringLiteral(".heic"), QStringList{}), std::pair(QStringLiteral(".avif"), QStringList{QStringLiteral("-A")})}) {
        const QString file = folder + QStringLiteral("/picture") + extension;
        if (QProcess::execute(QStringLiteral("heif-enc"),
                              options + QStringList{QStringLiteral("-q"), QStringLiteral("92"), files[2],
                                                    QStringLiteral("-o"), file}) == 0)
            files << file;
    }
    return files;
}

// --open: each file, or every type at a size, each in a process of its own.
int OpenEveryType(const QStringList& arguments)
{
    QTemporaryDir folder;
    QStringList files = arguments.mid(2);
    int32_t width = 4000, height = 3000;
    if (files.size() == 1 && files[0].contains(QLatin1Char('x')) && !QFile::exists(files[0])) {
        width = files[0].section(QLatin1Char('x'), 0, 0).toInt();
        height = files[0].section(QLatin1Char('x'), 1, 1).toInt();
        files.clear();
    }
    if (files.isEmpty())
        files = WriteEveryType(folder.path(), width, height);
    std::printf("%-6s %10s %10s %10s %10s %8s   (open to painted picture; median of %d opens)\n", "type",
                "first ms", "median ms", "BMP MiB", "peak MiB", "peak/BMP", kRuns);
    std::fflush(stdout);
    int status = 0;
    for (const QString& file : files) {
        QProcess one;
        one.setProcessChannelMode(QProcess::ForwardedChannels);
        one.start(arguments[0], {QStringLiteral("--open-one"), file});
        one.waitForFinished(-1);
        status |= one.exitCode();
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--open")
        return OpenEveryType(QApplication::arguments());
    if (argc == 3 && std::string(argv[1]) == "--open-one")
        return OpenOne(QString::fromLocal8Bit(argv[2]));
    QTemporaryDir folder;
    const QString picture = folder.filePath(QStringLiteral("picture.bmp"));
    WritePicture(picture.toStdString(), 4000, 3000);

    korvanti::MainWindow window(std::make_unique<OnePicture>(picture));
    window.scratch_path = folder.filePath(QStringLiteral("scratch.bmp"));
    window.show();
    window.OpenPicture();
    QApplication::processEvents();

    std::vector<const korvanti::EffectEntry*> effects;
    for (int i = 1; i < argc; ++i) {
        const korvanti::EffectEntry* effect = korvanti::FindEffect(argv[i]);
        if (!effect) {
            std::fprintf(stderr, "no effect %s\n", argv[i]);
            return 2;
        }
        effects.push_back(effect);
    }
    if (effects.empty())
        for (const korvanti::EffectEntry& effect : korvanti::EffectCatalogue())
            effects.push_back(&effect);
    std::printf("%-20s %10s %10s %10s   (medians of %d runs, 4000 x 3000)\n", "effect", "window ms", "core ms",
                "extra ms", kRuns);
    for (const korvanti::EffectEntry* effect : effects) {
        const double window_ms = WindowMilliseconds(window, *effect);
        const double core_ms = CoreMilliseconds(picture.toStdString(), *effect);
        std::printf("%-20s %10.1f %10.1f %10.1f\n", std::string(effect->batch_name).c_str(), window_ms, core_ms,
                    window_ms - core_ms);
        std::fflush(stdout);
    }
    return 0;
}
