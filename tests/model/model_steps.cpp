// The model sequence's set-up and steps: each command goes through the main
// window's menu items, dialogs and boxes and updates the model to match.
#include <functional>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "model_sequence.h"

namespace korvanti::testing::model {

namespace {

// A bottom-up 24-bit picture: rows padded to four bytes, and at times a
// larger header (pixels further than 54 bytes in) and bytes after the last
// row. Header gap, padding and tail bytes are random too: they must come
// back from a save exactly as loaded.
Bytes MakePicture(Random& random)
{
    // Widths that are multiples of 4 have no row padding; the others do.
    const int width = random.Percent(40) ? 4 * (1 + random.Below(3)) : 1 + random.Below(13);
    Picture picture(width, 1 + random.Below(9));
    // Noise, flat patches and gradients, so that every filter has work to do.
    const int style = random.Below(3);
    const uint8_t flat = random.Byte();
    for (int64_t k = 0; k < int64_t{width} * picture.height; ++k) {
        for (int channel = 0; channel < 3; ++channel) {
            const int64_t x = k % width, y = k / width;
            uint8_t& value = picture.at(k, channel);
            if (style == 1 && random.Percent(70))
                value = flat;
            else if (style == 2)
                value = static_cast<uint8_t>(x * 40 + y * 25 + channel * 90 + random.Below(8));
            else
                value = random.Byte();
        }
    }
    // A version 4 header, or something between header and pixels.
    const int header = random.Below(4);
    const uint32_t gap = header == 0 ? 68 + 4 * random.Below(3) : header == 1 ? 1 + random.Below(40) : 0;
    Bytes tail(random.Percent(35) ? 1 + random.Below(9) : 0);
    for (uint8_t& byte : tail)
        byte = random.Byte();
    Bytes b = MakeBmp(picture, 54 + gap, tail, random.Byte());
    const size_t info_end = header == 0 ? 14 + 108 : 54;
    if (header == 0)
        Put32(b, 14, 108);
    std::fill(b.begin() + 54, b.begin() + static_cast<std::ptrdiff_t>(info_end), 0);
    for (size_t at = info_end; at < 54 + gap; ++at)
        b[at] = random.Byte();
    return b;
}

} // namespace

// ---- set-up ---------------------------------------------------------------

void Sequence::MakeFiles()
{
    for (int i = 0; i < 6; ++i)
        NewPicture();
    // Files the program refuses with the read failure box.
    Bytes shortened = MakePicture(random_);
    shortened.resize(shortened.size() - GeometryOf(shortened).tail - 2);
    Bytes packed = MakePicture(random_);
    packed[30] = 1; // compressed
    const std::string text = "not a picture at all, only some words";
    const std::pair<const char*, Bytes> refused[] = {{"deep.bmp", MakeBmp(Varied(4, 3, 7), 54, {}, 0, 32)},
                                                     {"short.bmp", shortened},
                                                     {"packed.bmp", packed},
                                                     {"notes.bmp", Bytes(text.begin(), text.end())}};
    for (const auto& [name, bytes] : refused) {
        WriteFile(FsPath(Path(QLatin1String(name))), bytes);
        disk_[QLatin1String(name)] = {bytes, true, false};
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
    // The shortcut keys go to the active window.
    QApplication::setActiveWindow(window_.get());
    Check(QTest::qWaitForWindowActive(window_.get()), "the window active at start");
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
        {open ? 6 : 0, [this] { Save(false); }},
        {open ? 8 : 0, [this] { Save(true); }},
        {open ? 5 : 0, [this] { Close(); }},
        {open && model_.undo ? 14 : 0, [this] { UndoOrRedo(true); }},
        {open && model_.redo ? 12 : 0, [this] { UndoOrRedo(false); }},
        {open ? 2 : 0, [this] { Effect(true, true); }},
        {open ? 3 : 0, [this] { Copy(); }},
        {clipboard_ ? 3 : 0, [this] { Paste(); }},
        {recent_.empty() ? 0 : 5, [this] { OpenRecent(); }},
        {recent_.empty() ? 0 : 1, [this] { ClearRecent(); }},
        {open ? 3 : 0, [this] { WheelZoom(); }},
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
    QString answer; // empty: the dialog is cancelled
    if (choice >= 8 && choice < 12)
        answer = Path(QStringLiteral("gone.bmp"));
    else if (choice >= 12 && choice < 15)
        answer = Path(QStringLiteral("dir.bmp"));
    else if (choice >= 15)
        answer = Path(random_.Pick(choice < 25 && !refused.empty() ? refused : pictures));
    Note(" " + Utf8(NameOf(answer)));
    dialogs_->open_answers.push_back(answer);
    Trigger("openAction");
    Opened(answer);
}

void Sequence::Opened(const QString& answer)
{
    const auto found = disk_.find(NameOf(answer));
    if (answer.isEmpty())
        return Saw("open: nothing to open");
    // Whatever is named but not read (refused, gone, a folder) is reported.
    if (found == disk_.end() || !found->second.picture) {
        ExpectBox(kReadFailure, kFileErrorCaption, kStyleOk);
        return Saw("open: refused file");
    }
    const Bytes& bytes = found->second.bytes;
    const Geometry g = GeometryOf(bytes);
    Saw(g.width % 4 == 0 ? "open: rows without padding" : "open: rows with padding");
    if (g.offset > 54)
        Saw("open: pixels after a larger header");
    if (g.tail > 0)
        Saw("open: bytes after the pixels");
    model_.open = true;
    model_.path = answer;
    model_.bytes = bytes;
    model_.edit_count = 1;
    model_.undo = model_.redo = false;
    model_.caption = answer + kSuffix;
    model_.panels = {QStringLiteral("ファイル名：　") + NameOf(answer),
                     QStringLiteral("解像度：　%1 * %2").arg(g.width).arg(g.height), kUnedited,
                     QStringLiteral("ファイル形式：ビットマップ(24Bit)")};
    Remember(answer);
}

// quit: the user quits (menu or close box) at the pump where a cancel
// would come; the run ends as if cancelled, and then the prompt follows.
// Now and then another command is chosen while the run pumps: it must do
// nothing, which the checks after the step see (no dialog, no box, no
// file, and the run's result exactly what the core alone gives).
void Sequence::Effect(bool cancel, bool quit)
{
    const auto catalogue = EffectCatalogue();
    const auto pick_effect = [&] { return catalogue[static_cast<size_t>(random_.Below(int(catalogue.size())))]; };
    const EffectEntry& effect = pick_effect();
    Note("effect " + std::string(effect.batch_name));
    effects_run_.insert(effect.batch_name);
    // The core alone, on the same bytes: first a dry run with a generator
    // of its own for the number of pumps, then below the run to compare.
    const fs::path core_file = FsPath(folder_.path() + QStringLiteral("/core.bmp"));
    WriteFile(core_file, model_.bytes);
    int pumps = 0;
    CoreResult(core_file, {std::string(effect.batch_name)}, 0, &pumps);
    const int cancel_at = cancel && pumps > 0 ? 1 + random_.Below(pumps) : 0;
    const bool quitting = quit && cancel_at > 0;
    const bool close_box = quitting && random_.Percent(30);
    const int nested_at = pumps > 0 && random_.Percent(20) ? 1 + random_.Below(pumps) : 0;
    std::string nested = nested_at > 0 ? random_.Pick(std::vector<std::string>{"openAction", "saveAsAction",
                                                                                "saveAction", "closeAction",
                                                                                "undoAction", "redoAction", "copyAction",
                                                                                "pasteAction", "effect"})
                                       : std::string();
    if (nested == "effect")
        nested = pick_effect().batch_name;
    // After an undo, Redo stays enabled while the next run goes on: it must be refused there.
    if (nested_at > 0 && model_.redo && random_.Percent(50))
        nested = "redoAction";
    const bool escape = cancel_at > 0 && !quitting && random_.Percent(40);
    if (cancel_at > 0)
        Note(std::string(quitting ? (close_box ? ", close box" : ", quit") : escape ? ", Esc" : ", cancel") + " at pump " +
             std::to_string(cancel_at));
    const bool quit_ends = quitting && Prompt(true); // its answers wait for the end of the run
    if (nested_at > 0)
        Note(", " + nested + " at pump " + std::to_string(nested_at));
    Note(" (" + std::to_string(pumps) + " pumps)");

    bool cancelled = false;
    auto* cancel_button = window_->findChild<QPushButton*>(QStringLiteral("cancelButton"));
    bool redo_offered = false;
    watcher_.Start(window_.get(), [&](int pump) {
        if (pump == nested_at && Action(nested) != nullptr) {
            redo_offered = nested == "redoAction" && Action(nested)->isEnabled();
            Action(nested)->trigger();
        }
        if (pump == cancel_at) {
            if (close_box)
                window_->close();
            else if (quitting)
                Action("quitAction")->trigger();
            else if (escape)
                QTest::keyClick(window_.get(), Qt::Key_Escape);
            else
                QTest::mouseClick(cancel_button, Qt::LeftButton);
            cancelled = true;
        }
    });
    const Bytes before = model_.bytes;
    Trigger(std::string(effect.batch_name));
    watcher_.Stop();
    if (nested_at > 0)
        Saw(redo_offered ? "redo chosen during a run" : "nested command during a run");

    int core_pumps = 0;
    const Bytes core = CoreResult(core_file, {std::string(effect.batch_name)}, cancelled ? cancel_at : 0, &core_pumps,
                                  core_random_.get());
    CheckEq(watcher_.pumps, core_pumps, "the number of message pumps (expected: the core's alone)");
    Check(window_->document().file_bytes == core,
          "the effect's result differs from the same run in the core alone: " +
              Difference(window_->document().file_bytes, core));
    model_.before_effect = before;
    model_.bytes = model_.effect_result = core;
    model_.undo = true;
    model_.redo = false;
    scratch_written_ = true;
    if (cancelled) {
        Saw(escape ? "effect cancelled by Esc" : "effect cancelled");
        if (core != before)
            Saw("cancelled run changed the picture");
    } else {
        Saw("effect completed");
        ++model_.edit_count;
        model_.caption = Name() + QStringLiteral(" * ") + kSuffix;
        model_.panels[2] = kEdited;
    }
    if (quitting) {
        Saw("quit during a run");
        if (prompt_saved_)
            Written(model_.path); // what the Cancel left, not what the prompt saw before the run
        if (quit_ends)
            expected_exits_.push_back(0);
    }
}

void Sequence::UndoOrRedo(bool undo)
{
    Trigger(undo ? "undoAction" : "redoAction");
    model_.bytes = undo ? model_.before_effect : model_.effect_result;
    model_.undo = !undo;
    model_.redo = undo;
    scratch_written_ = true;
    Saw(undo ? "undo" : "redo");
}

// Save over the picture's own file, or (as, and for a pasted picture) save
// under a name chosen in the dialog, which gets ".bmp" unless it ends so.
void Sequence::Save(bool as)
{
    QString name = model_.path;
    const bool ask = as || model_.path.isEmpty();
    const std::string command = as ? "save as" : ask ? "save untitled" : "save over";
    if (ask) {
        const std::optional<QString> chosen = ChooseSaveName(command);
        Trigger(as ? "saveAsAction" : "saveAction");
        if (!chosen)
            return;
        name = *chosen;
    } else {
        Note("save over " + Utf8(NameOf(name)));
        Trigger("saveAction");
    }
    if (!SaveSucceeds(NameOf(name))) {
        ExpectBox(kWriteFailure, kFileErrorCaption, kStyleOk);
        return Saw(command + ": refused");
    }
    Written(name);
    Remember(name);
    model_.edit_count = 1;
    model_.panels[2] = kUnedited;
    model_.caption = ask ? name + kSuffix : name;
    if (ask) {
        model_.path = name;
        model_.panels[0] = QStringLiteral("ファイル名：　") + NameOf(name);
    }
    Saw(command + ": written");
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
    model_.panels = {QStringLiteral("ファイル名："), QStringLiteral("解像度："), QStringLiteral("ファイル："),
                     QStringLiteral("ファイル形式：")};
    Saw("close");
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
    Saw(close_box ? "close box" : "quit");
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
    WriteFile(FsPath(Path(name)), bytes);
    disk_[name] = {bytes, true, true};
}

// ConfirmUnsaved as the model sees it: asks only with unsaved edits; Yes
// saves over the picture's own file. Returns whether the command goes on.
bool Sequence::Prompt(bool quitting)
{
    prompt_saved_ = false;
    if (model_.edit_count < 2)
        return true;
    ExpectBox(QStringLiteral("保存していないファイルがあります。上書き保存しますか？"), QStringLiteral("ファイルの未保存"),
              quitting ? kStyleYesNo : kStyleYesNoCancel);
    const int choice = random_.Below(100);
    const int answer = choice < 45 ? kAnswerYes : choice < 80 || quitting ? kAnswerNo : kAnswerCancel;
    boxes_.answers.push_back(answer);
    if (answer != kAnswerYes) {
        Saw(answer == kAnswerNo ? "prompt: No" : "prompt: Cancel");
        return answer == kAnswerNo;
    }
    if (model_.path.isEmpty()) {
        // A pasted picture is saved under a name chosen in the dialog.
        const std::optional<QString> chosen = ChooseSaveName("prompt: Yes, untitled");
        if (!chosen)
            return false;
        if (!SaveSucceeds(NameOf(*chosen))) {
            ExpectBox(kWriteFailure, kFileErrorCaption, kStyleOk);
            Saw("prompt: Yes, untitled, save refused");
            return false;
        }
        Written(*chosen);
        Remember(*chosen);
        model_.path = *chosen;
        model_.edit_count = 1;
        model_.caption = *chosen + kSuffix;
        model_.panels[0] = QStringLiteral("ファイル名：　") + NameOf(*chosen);
        model_.panels[2] = kUnedited;
        prompt_saved_ = true;
        Saw("prompt: Yes, untitled, saved");
        return true;
    }
    const QString name = NameOf(model_.path);
    if (disk_[name].writable && random_.Percent(30))
        SetWritable(name, false);
    if (!SaveSucceeds(name)) {
        ExpectBox(kWriteFailure, kFileErrorCaption, kStyleOk);
        Saw("prompt: Yes, save refused");
        return false;
    }
    Written(model_.path);
    Remember(model_.path);
    prompt_saved_ = true;
    Saw("prompt: Yes, saved");
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

void Sequence::Trigger(const std::string& name)
{
    QAction* item = Action(name);
    Check(item != nullptr && item->isEnabled(), "menu item " + name + " cannot be chosen");
    if (item == nullptr)
        return;
    // Now and then by one of its shortcut keys.
    const QList<QKeySequence> keys = item->shortcuts();
    if (keys.isEmpty() || !random_.Percent(40))
        return item->trigger();
    const QKeySequence& key = keys[random_.Below(static_cast<int>(keys.size()))];
    Note(" (" + Utf8(key.toString(QKeySequence::PortableText)) + ")");
    QTest::keySequence(window_.get(), key);
    Saw("shortcut key");
}

} // namespace korvanti::testing::model
