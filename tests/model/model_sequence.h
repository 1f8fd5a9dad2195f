// The model-based sequence of window commands: its generator, the model of
// what the window and the disk must show, and the sequence that drives the
// main window and checks it after every step.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <QAction>
#include <QDebug>
#include <QFile>
#include <QTemporaryDir>

#include "../support/engine_bench.h"
#include "effects/catalogue.h"
#include "gui_test_support.h"

#ifndef KORVANTI_MODEL_DEFAULT_STEPS
#define KORVANTI_MODEL_DEFAULT_STEPS 2000
#endif

namespace korvanti::testing::model {

inline constexpr uint64_t kDefaultSeed = 20250517;

inline const QString kSuffix = QStringLiteral("  -  Korvanti ver 1.0.0");
inline const QString kReadFailure = QStringLiteral("読み込みに失敗しました。");
inline const QString kWriteFailure = QStringLiteral("書き込みに失敗しました。読取専用の場合、上書きできません。");
inline const QString kFileErrorCaption = QStringLiteral("書き込みエラー");
inline const QString kUnedited = QStringLiteral("ファイル：未編集");
inline const QString kEdited = QStringLiteral("ファイル：編集済み");

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

// Where a picture file keeps its pixels.
struct Geometry {
    int width = 0;
    int height = 0;
    size_t offset = 0;
    size_t stride = 0;
    size_t tail = 0; // bytes after the last row
};

inline Geometry GeometryOf(const Bytes& b)
{
    const auto read32 = [&](size_t at) {
        return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
    };
    Geometry g;
    g.width = static_cast<int>(read32(18));
    g.height = static_cast<int>(read32(22));
    g.offset = read32(10);
    g.stride = (static_cast<size_t>(g.width) * 3 + 3) & ~size_t{3};
    g.tail = b.size() - g.offset - g.stride * static_cast<size_t>(g.height);
    return g;
}

inline fs::path FsPath(const QString& path) { return fs::path(QFile::encodeName(path).toStdString()); }
inline QString QtPath(const fs::path& path) { return QFile::decodeName(QByteArray::fromStdString(path.string())); }
inline std::string Utf8(const QString& text) { return text.toStdString(); }
template <class T>
std::string Show(const T& value)
{
    QString text;
    QDebug(&text).nospace() << value;
    return Utf8(text);
}
// Where two byte strings part, for messages.
inline std::string Difference(const Bytes& actual, const Bytes& expected)
{
    std::ostringstream text;
    const size_t common = std::min(actual.size(), expected.size());
    const size_t at = std::mismatch(actual.begin(), actual.begin() + common, expected.begin()).first - actual.begin();
    text << actual.size() << " bytes, expected " << expected.size();
    if (at < common)
        text << "; first difference at byte " << at << " (" << int{actual[at]} << ", expected " << int{expected[at]}
             << ")";
    return text.str();
}

// What the window and the disk must show.
struct Model {
    bool open = false;
    QString path; // empty for a pasted picture
    Bytes bytes;
    Bytes before_effect; // the picture before the last effect
    Bytes effect_result; // what that effect left
    bool undo = false;
    bool redo = false;
    int edit_count = 0;
    QString caption = QStringLiteral("Korvanti Ver 1.0.0");
    std::array<QString, 4> panels = {QStringLiteral("ファイル名："), QStringLiteral("解像度："),
                                     QStringLiteral("編集："), QStringLiteral("ファイル形式：")};
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
    // What the window must show after it was asked to open answer.
    void Opened(const QString& answer);
    void Effect(bool cancel, bool quit = false);
    void UndoOrRedo(bool undo);
    void Save(bool as);
    void Close();
    void Quit();
    void ToggleReadOnly();
    void NewPicture();
    // habit_steps.cpp: the clipboard, the recent files, the wheel.
    void Copy();
    void Paste();
    void OpenRecent();
    void ClearRecent();
    void WheelZoom();
    void Remember(const QString& path);
    // Answers the save dialog at random; the name saved under (".bmp"
    // added), or nothing when the dialog was cancelled or left empty.
    std::optional<QString> ChooseSaveName(const std::string& command);
    // The caption's and panel's name of the picture: "無題" when untitled.
    QString Name() const { return model_.path.isEmpty() ? QStringLiteral("無題") : model_.path; }
    bool Prompt(bool quitting);
    bool SaveSucceeds(const QString& name) const;
    void Written(const QString& path);
    void Trigger(const std::string& name);
    void SetWritable(const QString& name, bool writable);
    void Check(bool ok, const std::string& what)
    {
        if (!ok)
            problems_.push_back(what);
    }
    template <class T>
    void CheckEq(const T& actual, const T& expected, const std::string& what)
    {
        Check(actual == expected, what + " is " + Show(actual) + ", expected " + Show(expected));
    }
    void CheckAll();
    void CheckWindow();
    void CheckDisk();
    std::string Report(int step) const;
    void ExpectBox(const QString& text, const QString& caption, int style)
    {
        expected_boxes_.push_back({text, caption, style});
    }
    // A road the sequence went down: counted, and told in the step's line.
    void Saw(const std::string& road)
    {
        ++roads_[road];
        note_ += " [" + road + "]";
    }
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
    ScriptedBoxes boxes_;
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<CRand> core_random_; // follows the window's generator
    std::vector<int> exits_;
    bool scratch_written_ = false;
    bool prompt_saved_ = false; // the last prompt was answered Yes and saved

    Model model_;
    std::map<QString, DiskFile> disk_; // by name in files_
    // Kept by the program across restarts: the recent files, newest first,
    // and the picture last copied.
    std::deque<QString> recent_;
    std::optional<Bytes> clipboard_;
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
    std::map<std::string, int> roads_;
    std::set<std::string_view> effects_run_;
};

} // namespace korvanti::testing::model
