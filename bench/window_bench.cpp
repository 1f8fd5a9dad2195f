// End to end in the window, offscreen: from choosing an effect in the menu
// to the new picture painted, on a 4000 x 3000 picture, beside the core's
// own time for the same effect on the same picture. Not a test: it prints
// the medians of five runs each.
//
//   QT_QPA_PLATFORM=offscreen build/release/bench/korvanti-window-bench [effect ...]
//
// Without arguments it runs every effect of the catalogue; effects are
// named as the batch tool names them (name or menu id).
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_window.h"
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

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
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
