// Long random sequences of what a user does with the window: open, effects
// run to the end or cancelled at a random row (by the Cancel button or Esc),
// undo, redo, save, save as, close, quit by menu or close box (also during a
// run, which ends it as a Cancel would before the prompt), copy and paste,
// the recent files, Ctrl + wheel zoom, with the prompt answered at random
// and menu commands now and then chosen by their shortcut keys. Every
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

#include <iostream>
#include <sstream>

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

#include "app/settings.h"
#include "model_sequence.h"
#include "view/image_control.h"

namespace korvanti::testing::model {

namespace {

uint64_t FromEnvironment(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 0);
    return *end == '\0' ? value : fallback;
}

// The view must show the document: every pixel of the shown picture is the
// pixel the bytes hold (rows stored bottom first, blue-green-red).
std::optional<std::string> ViewDifference(const QImage& shown, const Bytes& bytes)
{
    const Geometry g = GeometryOf(bytes);
    if (shown.size() != QSize(g.width, g.height))
        return "the view shows " + Show(shown.size()) + ", the document is " + Show(QSize(g.width, g.height));
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            const uint8_t* p = bytes.data() + g.offset + static_cast<size_t>(g.height - 1 - y) * g.stride +
                               static_cast<size_t>(x) * 3;
            const QRgb pixel = shown.pixel(x, y);
            if (qRed(pixel) != p[2] || qGreen(pixel) != p[1] || qBlue(pixel) != p[0])
                return "the view differs from the document at " + Show(QPoint(x, y));
        }
    }
    return std::nullopt;
}

} // namespace

// ---- checks ---------------------------------------------------------------

void Sequence::CheckAll()
{
    Check(boxes_.exceptions.empty(),
          "an exception reached the report: " + (boxes_.exceptions.empty() ? "" : Utf8(boxes_.exceptions.front())));
    const auto same = [](const ShownBox& a, const ShownBox& b) {
        return a.text == b.text && a.caption == b.caption && a.style == b.style;
    };
    std::string shown;
    for (const ShownBox& box : boxes_.shown)
        shown += " [" + Utf8(box.text) + " / style " + std::to_string(box.style) + "]";
    Check(std::equal(boxes_.shown.begin(), boxes_.shown.end(), expected_boxes_.begin(), expected_boxes_.end(), same),
          std::to_string(expected_boxes_.size()) + " message boxes expected, shown:" + shown);
    CheckEq(dialogs_->open_shown, expected_open_dialogs_, "open dialogs shown");
    Check(dialogs_->save_initial_names == expected_save_dialogs_,
          "save dialog shown " + std::to_string(dialogs_->save_initial_names.size()) + " times, expected " +
              std::to_string(expected_save_dialogs_.size()) + " (or opened with another name)");
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
    for (int i = 0; i < 4; ++i)
        CheckEq(window_->StatusText(i), model_.panels[static_cast<size_t>(i)], "status panel " + std::to_string(i));
    for (const char* name : {"saveAsAction", "saveAction", "toolsMenu", "closeAction", "actualSizeAction",
                             "fitToWindowAction", "zoomInAction", "normalSizeAction", "zoomOutAction"})
        CheckEq(Action(name)->isEnabled(), model_.open, std::string(name) + " enabled");
    CheckEq(window_->findChild<QSlider*>(QStringLiteral("zoomSlider"))->isEnabled(), model_.open,
            "the zoom slider enabled");
    CheckEq(Action("copyAction")->isEnabled(), model_.open, "copy enabled");
    CheckEq(Action("pasteAction")->isEnabled(), clipboard_.has_value(), "paste enabled");
    if (clipboard_) {
        const auto difference = ViewDifference(QGuiApplication::clipboard()->image(), *clipboard_);
        Check(!difference, "the clipboard: " + difference.value_or(""));
    }
    QStringList recent;
    for (QAction* item : window_->findChild<QMenu*>(QStringLiteral("recentFilesMenu"))->actions())
        recent << item->property("recentFile").toString();
    recent.removeAll(QString()); // the separator and "一覧を消去"
    CheckEq(recent, QStringList(recent_.begin(), recent_.end()), "the recent files");

    if (model_.open) {
        Check(doc.file_bytes == model_.bytes, "the document holds " + Difference(doc.file_bytes, model_.bytes));
        CheckEq(QtPath(doc.bitmap.GetFileName()), model_.path, "the document's file");
        const auto difference = ViewDifference(window_->image_control()->Picture(), model_.bytes);
        Check(!difference, difference.value_or(""));
    } else {
        CheckEq(window_->image_control()->Picture().isNull(), true, "the view empty with no picture");
    }
    if (scratch_written_) {
        const Bytes scratch = ReadFile(FsPath(window_->scratch_path));
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
        const Bytes bytes = ReadFile(entry.path());
        if (found == disk_.end()) {
            Check(false, "unexpected file " + Utf8(name) + " (" + std::to_string(bytes.size()) + " bytes)");
            continue;
        }
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
    ASSERT_TRUE(folder_.isValid() && files_.isValid());
    settings::Reset();
    QGuiApplication::clipboard()->clear();
    MakeFiles();
    StartProgram();
    for (int step = 1; step <= steps_; ++step) {
        boxes_.shown.clear();
        dialogs_->open_shown = 0;
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
            // The process has ended; the next step starts the program anew,
            // whose dialogs have shown nothing yet.
            StartProgram();
            expected_open_dialogs_ = 0;
            expected_save_dialogs_.clear();
            CheckAll();
        }
        if (!problems_.empty()) {
            ADD_FAILURE() << Report(step);
            return;
        }
    }

    std::cout << "seed " << seed_ << ", " << steps_ << " steps:\n";
    for (const auto& [what, count] : roads_)
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
              "nested command during a run", "redo chosen during a run", "shortcut key", "effect cancelled by Esc",
              "copy", "paste", "recent file opened", "recent files cleared", "wheel zoom", "save untitled: written",
              "prompt: Yes, untitled, saved"})
            EXPECT_GT(roads_[what], 0) << what << " never happened with seed " << seed_;
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

} // namespace korvanti::testing::model
