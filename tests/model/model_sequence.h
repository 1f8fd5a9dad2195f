// The model-based sequence of window commands: its generator, the model of
// what the window and the disk must show, and the sequence that drives the
// main window and checks it after every step.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <QAction>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include "effects/catalogue.h"
#include "engine/c_rand.h"
#include "engine/effect_context.h"
#include "../support/bitmap.h"
#include "../support/files.h"
#include "gui_test_support.h"
#include "image/document.h"
#include "view/image_control.h"

#ifndef KORVANTI_MODEL_DEFAULT_STEPS
#define KORVANTI_MODEL_DEFAULT_STEPS 2000
#endif

namespace korvanti::testing::model {

namespace fs = std::filesystem;

inline constexpr uint64_t kDefaultSeed = 20250517;

inline const QString kSuffix = QStringLiteral("  -  Korvanti ver 1.0.0");
inline const QString kUnsavedText = QStringLiteral("保存していないファイルがあります。上書き保存しますか？");
inline const QString kUnsavedCaption = QStringLiteral("ファイルの未保存");
inline const QString kReadFailure = QStringLiteral("読み込みに失敗しました。");
inline const QString kWriteFailure = QStringLiteral("書き込みに失敗しました。読取専用の場合、上書きできません。");
inline const QString kFileErrorCaption = QStringLiteral("書き込みエラー");
inline const QString kUnedited = QStringLiteral("ファイル：未編集");
inline const QString kEdited = QStringLiteral("ファイル：編集済み");
inline const QString kFormatPanel = QStringLiteral("ファイル形式：ビットマップ(24Bit)");
inline const std::array<QString, 4> kDesignPanels = {QStringLiteral("ファイル名："), QStringLiteral("解像度："),
                                             QStringLiteral("編集："), QStringLiteral("ファイル形式：")};
inline const std::array<QString, 4> kClosedPanels = {QStringLiteral("ファイル名："), QStringLiteral("解像度："),
                                             QStringLiteral("ファイル："), QStringLiteral("ファイル形式：")};
inline const char* const kPictureActions[] = {"saveAsAction", "saveAction",       "toolsMenu",
                                       "closeAction",  "actualSizeAction", "fitToWindowAction",
                                       "zoomInAction", "normalSizeAction", "zoomOutAction"};


// The sequence's own generator: mt19937_64 gives the same numbers
// everywhere, and the reductions here are plain arithmetic, so a seed
// always replays the same steps.
class Random {
public:
    explicit Random(uint64_t seed) : engine_(seed) {}
    int Below(int n) { return static_cast<int>(engine_() % static_cast<uint64_t>(n)); }
    bool Percent(int percent) { return Below(100) < percent; }
    uint8_t Byte() { return static_cast<uint8_t>(engine_() >> 56); }
    template <class T>
    const T& Pick(const std::vector<T>& items) { return items[static_cast<size_t>(Below(static_cast<int>(items.size())))]; }

private:
    std::mt19937_64 engine_;
};

struct Geometry {
    int width = 0;
    int height = 0;
    size_t offset = 0;
    size_t stride = 0;
    size_t tail = 0;
};

// The core on its own: the same effect from the same bytes, cancelled at
// the same message pump, with a host that only counts the pumps.
struct CoreRun {
    Bytes bytes;
    int pumps = 0;
};

uint64_t FromEnvironment(const char* name, uint64_t fallback);
uint32_t Read32(const Bytes& b, size_t at);
Geometry GeometryOf(const Bytes& b);
// A bottom-up 24-bit picture: rows padded to four bytes, and at times a
// larger header (pixels further than 54 bytes in) and bytes after the last
// row. Header gap, padding and tail bytes are random too: they must come
// back from a save exactly as loaded.
Bytes MakePicture(Random& random);
fs::path FsPath(const QString& path);
QString QtPath(const fs::path& path);
std::string Utf8(const QString& text);
std::string Show(const QString& text);
std::string Show(int value);
std::string Show(bool value);
std::string Show(const std::vector<int>& values);
// Where two byte strings part, for messages.
std::string Difference(const Bytes& actual, const Bytes& expected);
// The view must show the document: every pixel of the shown picture is the
// pixel the bytes hold (rows stored bottom first, blue-green-red).
std::optional<std::string> ViewDifference(const QImage& shown, const Bytes& bytes);
// The core on its own: the same effect from the same bytes, cancelled at
// the same message pump, with a host that only counts the pumps.
CoreRun RunInCore(const fs::path& file, const Bytes& start, const EffectEntry& effect, int cancel_at, CRand& random);

// What the window and the disk must show.
struct Model {
    bool open = false;
    QString path;
    Bytes bytes;
    Bytes before_effect; // the picture before the last effect
    Bytes effect_result; // what that effect left
    bool undo = false;
    bool redo = false;
    int edit_count = 0;
    QString caption = QStringLiteral("Korvanti Ver 1.0.0");
    std::array<QString, 4> panels = kDesignPanels;
    QString save_dialog_name;
};

struct DiskFile {
    Bytes bytes;
    bool writable = true;
    bool picture = true; // one the program opens
};

class Sequence {
public:
    Sequence(uint64_t seed, int steps) : seed_(seed), steps_(steps), random_(seed) {}

    void Run();

private:
    void MakeFiles();
    void StartProgram();
    void DoStep();
    void Open();
    void Effect(bool cancel, bool quit = false);
    void UndoOrRedo(bool undo);
    void Save();
    void SaveAs();
    void Close();
    void Quit();
    void ToggleReadOnly();
    void NewPicture();
    bool Prompt(bool quitting);
    bool SaveSucceeds(const QString& name) const;
    void Written(const QString& path);
    void Trigger(const char* name);
    void TriggerNested(const std::string& name);
    void SetWritable(const QString& name, bool writable);
    int PumpsOf(const EffectEntry& effect);
    void Check(bool ok, const std::string& what);
    template <class T>
    void CheckEq(const T& actual, const T& expected, const std::string& what)
    {
        if (!(actual == expected))
            problems_.push_back(what + " is " + Show(actual) + ", expected " + Show(expected));
    }
    void CheckAll();
    void CheckWindow();
    void CheckDisk();
    void ExpectBox(const QString& text, const QString& caption, int style)
    {
        expected_boxes_.push_back({text, caption, style});
    }
    std::string Report(int step) const;
    void Count(const std::string& what) { ++counts_[what]; }
    void Note(const std::string& text) { note_ += text; }

    QString Path(const QString& name) const { return files_.path() + QLatin1Char('/') + name; }
    QString NameOf(const QString& path) const { return path.mid(files_.path().size() + 1); }
    // A menu action by object name, or an effect's action by its catalogue name.
    QAction* Action(const std::string& name) const
    {
        if (const EffectEntry* effect = FindEffect(name))
            return window_->EffectAction(*effect);
        return window_->Action(QString::fromStdString(name));
    }

    const uint64_t seed_;
    const int steps_;
    Random random_;

    QTemporaryDir folder_;
    QTemporaryDir files_;
    QTemporaryDir core_folder_;
    ScriptedBoxes boxes_;
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<CRand> core_random_; // follows the window's generator
    std::vector<int> exits_;
    bool scratch_written_ = false;
    bool prompt_saved_ = false; // the last prompt was answered Yes and saved

    Model model_;
    std::map<QString, DiskFile> disk_; // by name in files_
    int pictures_made_ = 0;

    // What one step must show.
    std::vector<ShownBox> expected_boxes_;
    int expected_open_dialogs_ = 0;
    std::vector<QString> expected_save_dialogs_;
    std::vector<int> expected_exits_;

    PumpWatcher watcher_;

    std::string note_;
    std::deque<std::string> history_;
    std::vector<std::string> problems_;
    std::map<std::string, int> counts_;
    std::set<std::string_view> effects_run_;
};

} // namespace korvanti::testing::model
