// Long random sequences of what a user does with the window: open, effects
// run to the end or cancelled at a random row, undo, redo, save, save as,
// close, quit by menu or close box (also during a run, which ends it as a
// Cancel would before the prompt), with the prompt answered at random. Every
// command goes through the main window's own menu items, dialogs and
// message boxes, and after every step the window, the document and the
// files on disk are compared with a small model of what they must be:
//
// - undo gives the bytes from before the last effect, redo that effect's
//   result, and both swap the Edit menu items; open and close disable both;
// - an effect gives the same bytes as the same effect run outside the
//   window from the same picture (cancelled at the same row, if it was);
//   a cancelled run changes the picture and arms undo but counts no edit;
// - a save writes exactly the document, a refused save changes no file,
//   and no temporary file is ever left behind;
// - the edit counter, the caption, the status panels, the picture controls
//   and the view follow the document, and every catalogue effect runs;
// - the prompt appears on open, close and quit exactly when the picture has
//   unsaved edits, and Yes saves over the picture's file (or, when that
//   fails, shows the write failure and gives nothing up);
// - while an effect runs, every other file, edit and effect command does
//   nothing at all.
//
// KORVANTI_MODEL_SEED picks the sequence and KORVANTI_MODEL_STEPS its
// length; a failure prints both, the step that failed and the steps before.
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
#include "gui_test_support.h"
#include "image/document.h"
#include "view/image_control.h"

#ifndef KORVANTI_MODEL_DEFAULT_STEPS
#define KORVANTI_MODEL_DEFAULT_STEPS 2000
#endif

namespace korvanti::testing {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kDefaultSeed = 20250517;

const QString kSuffix = QStringLiteral("  -  Korvanti ver 1.0.0");
const QString kUnsavedText = QStringLiteral("保存していないファイルがあります。上書き保存しますか？");
const QString kUnsavedCaption = QStringLiteral("ファイルの未保存");
const QString kReadFailure = QStringLiteral("読み込みに失敗しました。");
const QString kWriteFailure = QStringLiteral("書き込みに失敗しました。読取専用の場合、上書きできません。");
const QString kFileErrorCaption = QStringLiteral("書き込みエラー");
const QString kUnedited = QStringLiteral("ファイル：未編集");
const QString kEdited = QStringLiteral("ファイル：編集済み");
const QString kFormatPanel = QStringLiteral("ファイル形式：ビットマップ(24Bit)");
const std::array<QString, 4> kDesignPanels = {QStringLiteral("ファイル名："), QStringLiteral("解像度："),
                                             QStringLiteral("編集："), QStringLiteral("ファイル形式：")};
const std::array<QString, 4> kClosedPanels = {QStringLiteral("ファイル名："), QStringLiteral("解像度："),
                                             QStringLiteral("ファイル："), QStringLiteral("ファイル形式：")};
const char* const kPictureActions[] = {"saveAsAction", "saveAction",       "toolsMenu",
                                       "closeAction",  "actualSizeAction", "fitToWindowAction",
                                       "zoomInAction", "normalSizeAction", "zoomOutAction"};

uint64_t FromEnvironment(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 0);
    return *end == '\0' ? value : fallback;
}

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

uint32_t Read32(const Bytes& b, size_t at)
{
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (size_t i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Geometry {
    int width = 0;
    int height = 0;
    size_t offset = 0;
    size_t stride = 0;
    size_t tail = 0;
};

Geometry GeometryOf(const Bytes& b)
{
    Geometry g;
    g.width = static_cast<int>(Read32(b, 18));
    g.height = static_cast<int>(Read32(b, 22));
    g.offset = Read32(b, 10);
    g.stride = (static_cast<size_t>(g.width) * 3 + 3) & ~size_t{3};
    g.tail = b.size() - g.offset - g.stride * static_cast<size_t>(g.height);
    return g;
}

// A bottom-up 24-bit picture: rows padded to four bytes, and at times a
// larger header (pixels further than 54 bytes in) and bytes after the last
// row. Header gap, padding and tail bytes are random too: they must come
// back from a save exactly as loaded.
Bytes MakePicture(Random& random)
{
    // Widths that are multiples of 4 have no row padding; the others do.
    const int width = random.Percent(40) ? 4 * (1 + random.Below(3)) : 1 + random.Below(13);
    const int height = 1 + random.Below(9);
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    size_t info = 40;
    size_t gap = 0;
    const int header = random.Below(4);
    if (header == 0) // a version 4 header
        info = 108, gap = 68 + static_cast<size_t>(random.Below(3)) * 4;
    else if (header == 1) // something between header and pixels
        gap = 1 + static_cast<size_t>(random.Below(40));
    const size_t tail = random.Percent(35) ? 1 + static_cast<size_t>(random.Below(9)) : 0;
    const size_t offset = 54 + gap;
    Bytes b(offset + stride * static_cast<size_t>(height) + tail);
    for (uint8_t& byte : b)
        byte = random.Byte();
    std::fill(b.begin(), b.begin() + 54, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, static_cast<uint32_t>(offset));
    Put32(b, 14, static_cast<uint32_t>(info));
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = 24;
    Put32(b, 34, static_cast<uint32_t>(stride * static_cast<size_t>(height)));
    if (info > 40)
        std::fill(b.begin() + 54, b.begin() + static_cast<std::ptrdiff_t>(14 + info), 0);
    // Noise, flat patches and gradients, so that every filter has work to do.
    const int style = random.Below(3);
    const uint8_t flat = random.Byte();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = b.data() + offset + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
            for (int k = 0; k < 3; ++k) {
                if (style == 1 && random.Percent(70))
                    pixel[k] = flat;
                else if (style == 2)
                    pixel[k] = static_cast<uint8_t>(x * 40 + y * 25 + k * 90 + random.Below(8));
            }
        }
    }
    return b;
}

Bytes ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

fs::path FsPath(const QString& path) { return fs::path(QFile::encodeName(path).toStdString()); }
QString QtPath(const fs::path& path) { return QFile::decodeName(QByteArray::fromStdString(path.string())); }

std::string Utf8(const QString& text) { return text.toStdString(); }
std::string Show(const QString& text) { return '"' + Utf8(text) + '"'; }
std::string Show(int value) { return std::to_string(value); }
std::string Show(bool value) { return value ? "true" : "false"; }
std::string Show(const std::vector<int>& values) { return std::to_string(values.size()) + " values"; }

// Where two byte strings part, for messages.
std::string Difference(const Bytes& actual, const Bytes& expected)
{
    std::ostringstream text;
    const size_t common = std::min(actual.size(), expected.size());
    size_t at = 0;
    while (at < common && actual[at] == expected[at])
        ++at;
    text << actual.size() << " bytes, expected " << expected.size();
    if (at < common)
        text << "; first difference at byte " << at << " (" << int{actual[at]} << ", expected " << int{expected[at]}
             << ")";
    return text.str();
}

// The view must show the document: every pixel of the shown picture is the
// pixel the bytes hold (rows stored bottom first, blue-green-red).
std::optional<std::string> ViewDifference(const QImage& shown, const Bytes& bytes)
{
    const Geometry g = GeometryOf(bytes);
    if (shown.width() != g.width || shown.height() != g.height)
        return "the view shows " + std::to_string(shown.width()) + " x " + std::to_string(shown.height()) +
               ", the document is " + std::to_string(g.width) + " x " + std::to_string(g.height);
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            const uint8_t* p = bytes.data() + g.offset + static_cast<size_t>(g.height - 1 - y) * g.stride +
                               static_cast<size_t>(x) * 3;
            const QRgb pixel = shown.pixel(x, y);
            if (qRed(pixel) != p[2] || qGreen(pixel) != p[1] || qBlue(pixel) != p[0])
                return "the view differs from the document at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
        }
    }
    return std::nullopt;
}

// The core on its own: the same effect from the same bytes, cancelled at
// the same message pump, with a host that only counts the pumps.
struct CoreRun {
    Bytes bytes;
    int pumps = 0;
};

CoreRun RunInCore(const fs::path& file, const Bytes& start, const EffectEntry& effect, int cancel_at, CRand& random)
{
    WriteBytes(file, start);
    Document document;
    if (document.LoadBitmap(file.string()) != kLoaded)
        return {};
    CountingHost host;
    EffectContext context(document, host, random);
    host.context = &context;
    host.cancel_at = cancel_at;
    RunEffect(context, effect);
    return {document.file_bytes, host.pumps};
}

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

// ---- set-up ---------------------------------------------------------------

void Sequence::MakeFiles()
{
    for (int i = 0; i < 6; ++i)
        NewPicture();
    // Files the program refuses with the read failure box.
    WriteBitmap(Path(QStringLiteral("deep.bmp")), 4, 3, 32);
    Bytes shortened = MakePicture(random_);
    shortened.resize(shortened.size() - GeometryOf(shortened).tail - 2);
    Bytes packed = MakePicture(random_);
    packed[30] = 1; // compressed
    const std::string text = "not a picture at all, only some words";
    for (auto& [name, bytes] : std::map<QString, Bytes>{{QStringLiteral("short.bmp"), shortened},
                                                       {QStringLiteral("packed.bmp"), packed},
                                                       {QStringLiteral("notes.bmp"), Bytes(text.begin(), text.end())}})
        WriteBytes(FsPath(Path(name)), bytes);
    for (const char* name : {"deep.bmp", "short.bmp", "packed.bmp", "notes.bmp"}) {
        const QString q = QLatin1String(name);
        disk_[q] = {ReadBytes(FsPath(Path(q))), true, false};
    }
    // A folder named like a picture: it opens as nothing and saves as a failure.
    fs::create_directory(FsPath(Path(QStringLiteral("dir.bmp"))));
}

void Sequence::StartProgram()
{
    auto dialogs = std::make_unique<ScriptedDialogs>();
    dialogs_ = dialogs.get();
    window_.reset(); // one program at a time
    window_ = std::make_unique<MainWindow>(std::move(dialogs));
    window_->exit_process = [this](int status) { exits_.push_back(status); };
    window_->open_url = [](const QUrl&) {};
    window_->scratch_path = folder_.path() + QStringLiteral("/scratch.bmp");
    window_->show();
    core_random_ = std::make_unique<CRand>();
    model_ = Model{};
    scratch_written_ = false;
}

// ---- the steps ------------------------------------------------------------

void Sequence::DoStep()
{
    const bool open = model_.open;
    const std::pair<int, std::function<void()>> commands[] = {
        {open ? 8 : 40, [this] { Open(); }},
        {1, [this] { Quit(); }},
        {3, [this] { ToggleReadOnly(); }},
        {2, [this] { NewPicture(); }},
        {open ? 20 : 0, [this] { Effect(false); }},
        {open ? 14 : 0, [this] { Effect(true); }},
        {open ? 6 : 0, [this] { Save(); }},
        {open ? 8 : 0, [this] { SaveAs(); }},
        {open ? 5 : 0, [this] { Close(); }},
        {open && model_.undo ? 14 : 0, [this] { UndoOrRedo(true); }},
        {open && model_.redo ? 12 : 0, [this] { UndoOrRedo(false); }},
        {open ? 2 : 0, [this] { Effect(true, true); }},
    };
    int pick = 0;
    for (const auto& [weight, command] : commands)
        pick += weight;
    pick = random_.Below(pick);
    for (const auto& [weight, command] : commands) {
        if (pick < weight)
            return command();
        pick -= weight;
    }
}

void Sequence::Open()
{
    Note("open");
    if (!Prompt(false)) {
        Trigger("openAction");
        return;
    }
    ++expected_open_dialogs_;
    std::vector<QString> pictures;
    std::vector<QString> refused;
    for (const auto& [name, file] : disk_)
        (file.picture ? pictures : refused).push_back(name);
    const int choice = random_.Below(100);
    QString answer;
    if (choice < 8) {
        Note(": dialog cancelled");
    } else if (choice < 12) {
        answer = Path(QStringLiteral("gone.bmp"));
    } else if (choice < 15) {
        answer = Path(QStringLiteral("dir.bmp"));
    } else if (choice < 25 && !refused.empty()) {
        answer = Path(random_.Pick(refused));
    } else {
        answer = Path(random_.Pick(pictures));
    }
    if (!answer.isEmpty())
        Note(" " + Utf8(NameOf(answer)));
    dialogs_->open_answers.push_back(answer);
    Trigger("openAction");

    const auto found = disk_.find(NameOf(answer));
    if (answer.isEmpty()) {
        Count("open: nothing to open");
        return;
    }
    // Whatever is named but not read (refused, gone, a folder) is reported.
    if (found == disk_.end() || !found->second.picture) {
        ExpectBox(kReadFailure, kFileErrorCaption, kStyleOk);
        Count("open: refused file");
        Note(" (refused)");
        return;
    }
    const Bytes& bytes = found->second.bytes;
    const Geometry g = GeometryOf(bytes);
    Count(g.width % 4 == 0 ? "open: rows without padding" : "open: rows with padding");
    if (g.offset > 54)
        Count("open: pixels after a larger header");
    if (g.tail > 0)
        Count("open: bytes after the pixels");
    model_.open = true;
    model_.path = answer;
    model_.bytes = bytes;
    model_.edit_count = 1;
    model_.undo = model_.redo = false;
    model_.caption = answer + kSuffix;
    model_.panels = {QStringLiteral("ファイル名：　") + NameOf(answer),
                     QStringLiteral("解像度：　%1 * %2").arg(g.width).arg(g.height), kUnedited, kFormatPanel};
}

int Sequence::PumpsOf(const EffectEntry& effect)
{
    CRand throwaway;
    return RunInCore(FsPath(core_folder_.path() + QStringLiteral("/dry.bmp")), model_.bytes, effect, 0, throwaway)
        .pumps;
}

// quit: the user quits (menu or close box) at the pump where a cancel
// would come; the run ends as if cancelled, and then the prompt follows.
void Sequence::Effect(bool cancel, bool quit)
{
    const auto catalogue = EffectCatalogue();
    const EffectEntry& effect = catalogue[static_cast<size_t>(random_.Below(static_cast<int>(catalogue.size())))];
    Note("effect " + std::string(effect.batch_name));
    effects_run_.insert(effect.batch_name);
    const int pumps = PumpsOf(effect);
    const int cancel_at = cancel && pumps > 0 ? 1 + random_.Below(pumps) : 0;
    const bool quitting = quit && cancel_at > 0;
    const bool close_box = quitting && random_.Percent(30);
    // Now and then the user chooses another command while the run pumps.
    const std::vector<std::string> commands{"openAction", "saveAsAction", "saveAction", "closeAction",
                                            "undoAction", "redoAction",   "effect"};
    const int nested_at = pumps > 0 && random_.Percent(20) ? 1 + random_.Below(pumps) : 0;
    std::string nested = nested_at > 0 ? random_.Pick(commands) : std::string();
    if (nested == "effect") {
        const size_t other = static_cast<size_t>(random_.Below(static_cast<int>(catalogue.size())));
        nested = std::string(catalogue[other].batch_name);
    }
    if (cancel_at > 0)
        Note(std::string(quitting ? (close_box ? ", close box" : ", quit") : ", cancel") + " at pump " +
             std::to_string(cancel_at));
    const bool quit_ends = quitting && Prompt(true); // its answers wait for the end of the run
    if (nested_at > 0)
        Note(", " + nested + " at pump " + std::to_string(nested_at));
    Note(" (" + std::to_string(pumps) + " pumps)");

    bool cancelled = false;
    auto* cancel_button = window_->findChild<QPushButton*>(QStringLiteral("cancelButton"));
    watcher_.Start(window_.get(), [&](int pump) {
        if (pump == nested_at)
            TriggerNested(nested);
        if (pump == cancel_at) {
            if (close_box)
                window_->close();
            else if (quitting)
                TriggerNested("quitAction");
            else
                QTest::mouseClick(cancel_button, Qt::LeftButton);
            cancelled = true;
        }
    });
    const Bytes before = model_.bytes;
    Trigger(std::string(effect.batch_name).c_str());
    watcher_.Stop();
    if (nested_at > 0)
        Count("nested command during a run");

    const CoreRun core = RunInCore(FsPath(core_folder_.path() + QStringLiteral("/core.bmp")), before, effect,
                                   cancelled ? cancel_at : 0, *core_random_);
    CheckEq(watcher_.pumps, core.pumps, "the number of message pumps (expected: the core's alone)");
    Check(window_->document().file_bytes == core.bytes,
          "the effect's result differs from the same run in the core alone: " +
              Difference(window_->document().file_bytes, core.bytes));
    model_.before_effect = before;
    model_.effect_result = core.bytes;
    model_.bytes = core.bytes;
    model_.undo = true;
    model_.redo = false;
    scratch_written_ = true;
    if (cancelled) {
        Count("effect cancelled");
        if (core.bytes != before)
            Count("cancelled run changed the picture");
        Note(" -> cancelled");
    } else {
        Count("effect completed");
        ++model_.edit_count;
        model_.caption = model_.path + QStringLiteral(" * ") + kSuffix;
        model_.panels[2] = kEdited;
    }
    if (quitting) {
        Count("quit during a run");
        if (prompt_saved_)
            Written(model_.path); // what the Cancel left, not what the prompt saw before the run
        if (quit_ends)
            expected_exits_.push_back(0);
    }
}

void Sequence::UndoOrRedo(bool undo)
{
    const char* name = undo ? "undo" : "redo";
    Note(name);
    Trigger(undo ? "undoAction" : "redoAction");
    model_.bytes = undo ? model_.before_effect : model_.effect_result;
    model_.undo = !undo;
    model_.redo = undo;
    scratch_written_ = true;
    Count(name);
}

void Sequence::Save()
{
    Note("save over " + Utf8(NameOf(model_.path)));
    Trigger("saveAction");
    if (!SaveSucceeds(NameOf(model_.path))) {
        ExpectBox(kWriteFailure, kFileErrorCaption, kStyleOk);
        Note(" (refused)");
        Count("save over: refused");
        return;
    }
    Written(model_.path);
    model_.edit_count = 1;
    model_.caption = model_.path;
    model_.panels[2] = kUnedited;
    Count("save over: written");
}

void Sequence::SaveAs()
{
    std::vector<QString> names{QStringLiteral("out1.bmp"), QStringLiteral("out2.bmp"), QStringLiteral("out3.bmp"),
                               QStringLiteral("out4"),     QStringLiteral("Out5.BMP"), QStringLiteral("写真"),
                               QStringLiteral("dir.bmp"),  QStringLiteral("nofolder/x.bmp")};
    // Over the pictures there are, and now and then over a refused file.
    for (const auto& [name, file] : disk_) {
        if (file.picture || random_.Percent(5))
            names.push_back(name);
    }
    expected_save_dialogs_.push_back(model_.save_dialog_name);
    const int choice = random_.Below(100);
    std::optional<QString> answer;
    if (choice < 8) {
        Note("save as: dialog cancelled");
    } else if (choice < 11) {
        answer = QString();
        Note("save as \"\"");
    } else {
        answer = Path(random_.Pick(names));
        Note("save as " + Utf8(NameOf(*answer)));
    }
    dialogs_->save_answers.push_back(answer);
    Trigger("saveAsAction");
    if (!answer) {
        Count("save as: cancelled");
        return;
    }
    model_.save_dialog_name = *answer;
    if (answer->isEmpty())
        return;
    const QString name = answer->endsWith(QLatin1String(".bmp")) ? *answer : *answer + QStringLiteral(".bmp");
    if (!SaveSucceeds(NameOf(name))) {
        ExpectBox(kWriteFailure, kFileErrorCaption, kStyleOk);
        Note(" (refused)");
        Count("save as: refused");
        return;
    }
    Written(name);
    model_.path = name;
    model_.edit_count = 1;
    model_.caption = name + kSuffix;
    model_.panels[0] = QStringLiteral("ファイル名：　") + NameOf(name);
    model_.panels[2] = kUnedited;
    Count("save as: written");
}

void Sequence::Close()
{
    Note("close");
    const bool goes_on = Prompt(false);
    Trigger("closeAction");
    if (!goes_on)
        return;
    model_.open = false;
    model_.edit_count = 0;
    model_.undo = model_.redo = false;
    model_.caption = QStringLiteral("Korvanti ver 1.0.0");
    model_.panels = kClosedPanels;
    Count("close");
}

void Sequence::Quit()
{
    // The menu item, or the window's close box.
    const bool close_box = random_.Percent(30);
    Note(close_box ? "close box" : "quit");
    const bool ends = Prompt(true);
    if (close_box)
        window_->close();
    else
        Trigger("quitAction");
    if (!ends)
        return;
    expected_exits_.push_back(0);
    Count(close_box ? "close box" : "quit");
}

void Sequence::ToggleReadOnly()
{
    std::vector<QString> names;
    for (const auto& [name, file] : disk_)
        names.push_back(name);
    const QString name = random_.Pick(names);
    const bool writable = !disk_[name].writable;
    Note(Utf8(name) + (writable ? " made writable" : " made read-only"));
    SetWritable(name, writable);
}

void Sequence::NewPicture()
{
    // A handful of names, so that new pictures also replace old ones.
    const QString name = QStringLiteral("pic%1.bmp").arg(pictures_made_++ % 12);
    const auto found = disk_.find(name);
    if (found != disk_.end() && !found->second.writable)
        SetWritable(name, true);
    const Bytes bytes = MakePicture(random_);
    const Geometry g = GeometryOf(bytes);
    Note("new picture " + Utf8(name) + " " + std::to_string(g.width) + "x" + std::to_string(g.height) + " offset " +
         std::to_string(g.offset) + " tail " + std::to_string(g.tail));
    WriteBytes(FsPath(Path(name)), bytes);
    disk_[name] = {bytes, true, true};
}

// ConfirmUnsaved as the model sees it: asks only with unsaved edits; Yes
// saves over the picture's own file. Returns whether the command goes on.
bool Sequence::Prompt(bool quitting)
{
    prompt_saved_ = false;
    if (model_.edit_count < 2)
        return true;
    ExpectBox(kUnsavedText, kUnsavedCaption, quitting ? kStyleYesNo : kStyleYesNoCancel);
    const int choice = random_.Below(100);
    const int answer = choice < 45 ? kAnswerYes : choice < 80 || quitting ? kAnswerNo : kAnswerCancel;
    boxes_.answers.push_back(answer);
    if (answer == kAnswerNo) {
        Note(", prompt: No");
        Count("prompt: No");
        return true;
    }
    if (answer == kAnswerCancel) {
        Note(", prompt: Cancel");
        Count("prompt: Cancel");
        return false;
    }
    const QString name = NameOf(model_.path);
    if (disk_[name].writable && random_.Percent(30))
        SetWritable(name, false);
    if (!SaveSucceeds(name)) {
        ExpectBox(kWriteFailure, kFileErrorCaption, kStyleOk);
        Note(", prompt: Yes, save refused");
        Count("prompt: Yes, save refused");
        return false;
    }
    Written(model_.path);
    prompt_saved_ = true;
    Note(", prompt: Yes, saved");
    Count("prompt: Yes, saved");
    return true;
}

bool Sequence::SaveSucceeds(const QString& name) const
{
    if (name == QLatin1String("dir.bmp") || name.contains(QLatin1Char('/')))
        return false;
    const auto found = disk_.find(name);
    return found == disk_.end() || found->second.writable;
}

void Sequence::Written(const QString& path)
{
    DiskFile& file = disk_[NameOf(path)];
    file.bytes = model_.bytes;
    file.picture = true;
}

void Sequence::SetWritable(const QString& name, bool writable)
{
    fs::permissions(FsPath(Path(name)), writable ? fs::perms(0644) : fs::perms(0444), fs::perm_options::replace);
    disk_[name].writable = writable;
}

void Sequence::Trigger(const char* name)
{
    QAction* item = Action(name);
    Check(item != nullptr && item->isEnabled(), std::string("menu item ") + name + " cannot be chosen");
    if (item != nullptr)
        item->trigger();
}

// A command chosen while a run pumps messages: it must do nothing, which
// the checks after the step see (no dialog, no box, no file, and the run's
// result exactly what the core alone gives).
void Sequence::TriggerNested(const std::string& name)
{
    if (QAction* item = Action(name))
        item->trigger();
}

// ---- checks ---------------------------------------------------------------

void Sequence::Check(bool ok, const std::string& what)
{
    if (!ok)
        problems_.push_back(what);
}

void Sequence::CheckAll()
{
    Check(boxes_.exceptions.empty(),
          "an exception reached the report: " + (boxes_.exceptions.empty() ? "" : Utf8(boxes_.exceptions.front())));
    Check(boxes_.answers.empty(), "an expected message box was not shown");
    const auto same = [](const ShownBox& a, const ShownBox& b) {
        return a.text == b.text && a.caption == b.caption && a.style == b.style;
    };
    if (!std::equal(boxes_.shown.begin(), boxes_.shown.end(), expected_boxes_.begin(), expected_boxes_.end(), same)) {
        std::string shown;
        for (const ShownBox& box : boxes_.shown)
            shown += " [" + Utf8(box.text) + " / style " + std::to_string(box.style) + "]";
        Check(false, std::to_string(expected_boxes_.size()) + " message boxes expected, shown:" + shown);
    }
    CheckEq(dialogs_->open_shown, expected_open_dialogs_, "open dialogs shown");
    Check(dialogs_->save_initial_names == expected_save_dialogs_,
          "save dialog shown " + std::to_string(dialogs_->save_shown) + " times, expected " +
              std::to_string(expected_save_dialogs_.size()) + " (or opened with another name)");
    Check(dialogs_->open_answers.empty() && dialogs_->save_answers.empty(), "a dialog answer was not used");
    CheckEq(exits_, expected_exits_, "process ends");
    CheckWindow();
    CheckDisk();
}

void Sequence::CheckWindow()
{
    const Document& doc = window_->document();
    CheckEq(window_->context().Running(), false, "a run in progress");
    CheckEq(int{window_->context().cancel_flag}, 0, "the cancel flag");
    CheckEq(window_->findChild<QPushButton*>(QStringLiteral("cancelButton"))->isEnabled(), false, "Cancel enabled");
    CheckEq(window_->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(), 0, "the progress bar");
    CheckEq(window_->isVisible(), true, "the window shown");
    CheckEq(doc.edit_count, model_.edit_count, "edit_count");
    CheckEq(Action("undoAction")->isEnabled(), model_.undo, "undo enabled");
    CheckEq(Action("redoAction")->isEnabled(), model_.redo, "redo enabled");
    CheckEq(window_->windowTitle(), model_.caption, "the caption");
    // Independently of how the caption came about: it is marked edited
    // exactly when there are unsaved edits.
    CheckEq(window_->windowTitle().endsWith(QStringLiteral(" * ") + kSuffix), model_.edit_count >= 2,
            "the caption's edited mark");
    for (int i = 0; i < 4; ++i)
        CheckEq(window_->StatusText(i), model_.panels[static_cast<size_t>(i)], "status panel " + std::to_string(i));
    if (model_.open)
        CheckEq(window_->StatusText(2), doc.edit_count >= 2 ? kEdited : kUnedited, "status panel 2 by edit_count");
    for (const char* name : kPictureActions)
        CheckEq(Action(name)->isEnabled(), model_.open, std::string(name) + " enabled");
    CheckEq(window_->findChild<QSlider*>(QStringLiteral("zoomSlider"))->isEnabled(), model_.open,
            "the zoom slider enabled");

    if (model_.open) {
        Check(doc.file_bytes == model_.bytes, "the document holds " + Difference(doc.file_bytes, model_.bytes));
        CheckEq(QtPath(doc.bitmap.GetFileName()), model_.path, "the document's file");
        if (const auto difference = ViewDifference(window_->image_control()->Picture(), model_.bytes))
            Check(false, *difference);
    } else {
        CheckEq(window_->image_control()->Picture().isNull(), true, "the view empty with no picture");
    }
    if (scratch_written_) {
        const Bytes scratch = ReadBytes(FsPath(window_->scratch_path));
        Check(scratch == model_.bytes, "the scratch copy holds " + Difference(scratch, model_.bytes));
        scratch_written_ = false;
    }
}

void Sequence::CheckDisk()
{
    std::set<QString> seen;
    for (const auto& entry : fs::directory_iterator(FsPath(files_.path()))) {
        const QString name = QtPath(entry.path().filename());
        if (name == QLatin1String("dir.bmp") && entry.is_directory())
            continue;
        seen.insert(name);
        const auto found = disk_.find(name);
        if (found == disk_.end()) {
            Check(false, "unexpected file " + Utf8(name) + " (" + std::to_string(ReadBytes(entry.path()).size()) +
                             " bytes)");
            continue;
        }
        const Bytes bytes = ReadBytes(entry.path());
        Check(bytes == found->second.bytes, "file " + Utf8(name) + " holds " + Difference(bytes, found->second.bytes));
        CheckEq((entry.status().permissions() & fs::perms::owner_write) != fs::perms::none, found->second.writable,
                "file " + Utf8(name) + " writable");
    }
    for (const auto& [name, file] : disk_)
        CheckEq(seen.count(name) == 1, true, "file " + Utf8(name) + " there");
}

std::string Sequence::Report(int step) const
{
    std::ostringstream text;
    text << "model sequence failed at step " << step << " of " << steps_ << " (seed " << seed_
         << "; replay with KORVANTI_MODEL_SEED=" << seed_ << " KORVANTI_MODEL_STEPS=" << step << ")\n";
    for (const std::string& problem : problems_)
        text << "  " << problem << "\n";
    text << "steps up to it:\n";
    for (const std::string& line : history_)
        text << "  " << line << "\n";
    return text.str();
}

// ---- the run --------------------------------------------------------------

void Sequence::Run()
{
    ASSERT_TRUE(folder_.isValid() && files_.isValid() && core_folder_.isValid());
    MakeFiles();
    StartProgram();
    for (int step = 1; step <= steps_; ++step) {
        boxes_.shown.clear();
        dialogs_->open_shown = dialogs_->save_shown = 0;
        dialogs_->save_initial_names.clear();
        expected_boxes_.clear();
        expected_open_dialogs_ = 0;
        expected_save_dialogs_.clear();
        exits_.clear();
        expected_exits_.clear();
        note_.clear();

        DoStep();
        history_.push_back(std::to_string(step) + ": " + note_);
        if (history_.size() > 30)
            history_.pop_front();
        CheckAll();
        if (problems_.empty() && !expected_exits_.empty()) {
            // The process has ended; the next step starts the program anew.
            StartProgram();
            CheckAll();
        }
        if (!problems_.empty()) {
            ADD_FAILURE() << Report(step);
            return;
        }
    }

    std::cout << "seed " << seed_ << ", " << steps_ << " steps:\n";
    for (const auto& [what, count] : counts_)
        std::cout << "  " << what << ": " << count << "\n";
    // A long enough sequence must have gone down every road; otherwise the
    // weights above have drifted and the test checks less than it claims.
    if (steps_ >= 1000) {
        for (const char* what :
             {"effect completed", "effect cancelled", "cancelled run changed the picture", "undo", "redo",
              "save over: written", "save over: refused", "save as: written", "save as: refused", "save as: cancelled",
              "prompt: Yes, saved", "prompt: Yes, save refused", "prompt: No", "prompt: Cancel", "open: refused file",
              "open: nothing to open", "open: rows with padding", "open: rows without padding",
              "open: pixels after a larger header", "open: bytes after the pixels", "close", "quit", "close box", "quit during a run",
              "nested command during a run"})
            EXPECT_GT(counts_[what], 0) << what << " never happened with seed " << seed_;
        for (const EffectEntry& effect : EffectCatalogue())
            EXPECT_EQ(effects_run_.count(effect.batch_name), 1u) << effect.batch_name << " never ran";
    }
}

TEST(ModelSequence, RandomCommandsKeepWindowDocumentAndDiskInStep)
{
    const uint64_t seed = FromEnvironment("KORVANTI_MODEL_SEED", kDefaultSeed);
    const int steps = static_cast<int>(FromEnvironment("KORVANTI_MODEL_STEPS", KORVANTI_MODEL_DEFAULT_STEPS));
    Sequence(seed, steps).Run();
}

} // namespace
} // namespace korvanti::testing
