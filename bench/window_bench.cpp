// End to end in the window, offscreen: from choosing an effect in the menu
// to the new picture painted, on a 4000 x 3000 picture. Not a test: it
// prints the times.
//
//   QT_QPA_PLATFORM=offscreen build/release/bench/korvanti-window-bench [effect ...]
//
// Effects are named as the batch tool names them (name or menu id).
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

namespace {

// Answers the open dialog with one path.
class OnePicture : public korvanti::FileDialogs {
public:
    explicit OnePicture(QString path) : path_(std::move(path)) {}
    QString OpenFileName(QWidget*) override { return path_; }
    std::optional<QString> SaveFileName(QWidget*, const QString&) override { return std::nullopt; }

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

    std::vector<std::string> effects(argv + 1, argv + argc);
    if (effects.empty())
        effects.push_back("median");
    for (const std::string& name : effects) {
        const korvanti::EffectEntry* effect = korvanti::FindEffect(name);
        if (!effect) {
            std::fprintf(stderr, "no effect %s\n", name.c_str());
            return 2;
        }
        QAction* action = window.EffectAction(*effect);
        std::vector<double> times;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer timer;
            timer.start();
            action->trigger();
            window.repaint();
            QApplication::processEvents();
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
            window.Undo(); // back to the original picture
            QApplication::processEvents();
        }
        std::sort(times.begin(), times.end());
        std::printf("%-4s choose to painted: median %.1f ms (best %.1f, worst %.1f) of %zu runs\n", name.c_str(),
                    times[times.size() / 2], times.front(), times.back(), times.size());
    }
    return 0;
}
