// Effects run inside the window: progress, Cancel through the event queue,
// the edited caption and status, the scratch file, undo and redo, and the
// refusal of commands while a run pumps messages.
#include <QCoreApplication>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "effects/catalogue.h"
#include "gui_test_support.h"
#include "view/image_control.h"

namespace korvanti::testing {
namespace {

const QString kSuffix = QStringLiteral("  -  Korvanti ver 1.0.0");

using EffectRun = WindowTest;

QImage Decoded(const Bytes& bytes)
{
    return QImage::fromData(ToByteArray(bytes), "BMP");
}

TEST_F(EffectRun, CompletedRunMarksTheDocumentEdited)
{
    const QString path = MakeBitmap(QStringLiteral("f.bmp"), 6, 5);
    Open(path);
    auto* progress = Find<QProgressBar>("progressBar");
    auto* cancel = Find<QPushButton>("cancelButton");
    std::vector<int> positions;
    bool cancel_enabled_during_run = false;
    RunWatched("sharpen", [&](int) {
        positions.push_back(progress->value());
        cancel_enabled_during_run = cancel->isEnabled();
        EXPECT_EQ(progress->maximum(), 6 * 5 + 1);
    });
    // Sharpen visits rows 1 to 3 of a 5-row picture: one pump per row, the
    // bar at width x row each time.
    EXPECT_EQ(pumps, 3);
    EXPECT_EQ(positions, (std::vector<int>{6, 12, 18}));
    EXPECT_TRUE(cancel_enabled_during_run);

    EXPECT_EQ(Caption(), path + QStringLiteral(" * ") + kSuffix);
    EXPECT_EQ(window->StatusText(2), QStringLiteral("ファイル：編集済み"));
    EXPECT_EQ(window->document().edit_count, 2);
    EXPECT_TRUE(Action("undoAction")->isEnabled());
    EXPECT_FALSE(Action("redoAction")->isEnabled());
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_EQ(progress->value(), 0);
    EXPECT_NE(ToByteArray(window->document().file_bytes), ReadFile(path));
    // The view and the scratch file both hold the result.
    EXPECT_EQ(window->image_control()->Picture(), Decoded(window->document().file_bytes));
    EXPECT_EQ(ReadFile(window->scratch_path), ToByteArray(window->document().file_bytes));

    Apply("blur");
    EXPECT_EQ(window->document().edit_count, 3);
    EXPECT_EQ(Caption(), path + QStringLiteral(" * ") + kSuffix);
}

TEST_F(EffectRun, TheScratchFileLiesBesideTheProgram)
{
    EXPECT_EQ(MainWindow::DefaultScratchPath(), QCoreApplication::applicationFilePath() + QStringLiteral(".bmp"));
    EXPECT_EQ(MainWindow(std::make_unique<ScriptedDialogs>()).scratch_path, MainWindow::DefaultScratchPath());
}

TEST_F(EffectRun, AnUnwritableScratchFileChangesNothingOnScreen)
{
    Open(MakeBitmap(QStringLiteral("n.bmp"), 6, 5));
    window->scratch_path = QDir(folder->path()).absoluteFilePath(QStringLiteral("no/such/folder/scratch.bmp"));
    Apply("sharpen");
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_TRUE(boxes->exceptions.empty());
    EXPECT_EQ(window->image_control()->Picture(), Decoded(window->document().file_bytes));
}

TEST_F(EffectRun, EveryEffectRunsFromItsMenuItem)
{
    Open(MakeBitmap(QStringLiteral("all.bmp"), 7, 6));
    int edits = 1;
    for (const EffectEntry& effect : EffectCatalogue()) {
        const std::string name(effect.batch_name);
        window->EffectAction(effect)->trigger();
        EXPECT_EQ(window->document().edit_count, ++edits) << name;
        EXPECT_FALSE(window->context().Running());
        EXPECT_EQ(window->image_control()->Picture(), Decoded(window->document().file_bytes)) << name;
    }
}

// Cancel is pressed by a mouse click delivered during the run's message pump.
class CancelledRun : public WindowTest, public ::testing::WithParamInterface<QSize> {};

TEST_P(CancelledRun, StopsAtTheEndOfTheCurrentRow)
{
    const QSize size = GetParam();
    const QString path = MakeBitmap(QStringLiteral("c.bmp"), size.width(), size.height());
    Open(path);
    window->show();
    const QByteArray before = ToByteArray(window->document().file_bytes);
    auto* cancel = Find<QPushButton>("cancelButton");
    constexpr int kCancelAt = 2;
    RunWatched("sharpen", [&](int pump) {
        if (pump == kCancelAt)
            QTest::mouseClick(cancel, Qt::LeftButton);
    });
    // Sharpen is one pass: no row runs after the one that was pumping.
    EXPECT_EQ(pumps, kCancelAt);

    EXPECT_EQ(Caption(), path + kSuffix);
    EXPECT_EQ(window->StatusText(2), QStringLiteral("ファイル：未編集"));
    EXPECT_EQ(window->document().edit_count, 1);
    EXPECT_EQ(window->context().cancel_flag, 0);
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_TRUE(Action("undoAction")->isEnabled());
    EXPECT_FALSE(Action("redoAction")->isEnabled());
    // The rows done before the cancel show; the view follows the document.
    EXPECT_NE(ToByteArray(window->document().file_bytes), before);
    EXPECT_EQ(window->image_control()->Picture(), Decoded(window->document().file_bytes));

    // Undo brings back the picture from before the cancelled run.
    window->Undo();
    EXPECT_EQ(ToByteArray(window->document().file_bytes), before);
    // Quitting asks nothing: the run did not count as an edit.
    window->Quit();
    EXPECT_TRUE(boxes->shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Shapes, CancelledRun,
                         ::testing::Values(QSize(12, 12), QSize(30, 8), QSize(6, 20)));

TEST_F(EffectRun, UndoAndRedoAlternate)
{
    const QString path = MakeBitmap(QStringLiteral("u.bmp"), 9, 7);
    Open(path);
    const QByteArray original = ToByteArray(window->document().file_bytes);
    Apply("sharpen");
    const QByteArray sharpened = ToByteArray(window->document().file_bytes);
    ASSERT_NE(sharpened, original);
    for (int round = 0; round < 2; ++round) {
        window->Undo();
        EXPECT_EQ(ToByteArray(window->document().file_bytes), original);
        EXPECT_EQ(window->image_control()->Picture(), Decoded(window->document().file_bytes));
        EXPECT_EQ(ReadFile(window->scratch_path), original);
        EXPECT_FALSE(Action("undoAction")->isEnabled());
        EXPECT_TRUE(Action("redoAction")->isEnabled());
        EXPECT_EQ(Caption(), path + QStringLiteral(" * ") + kSuffix);
        EXPECT_EQ(window->StatusText(2), QStringLiteral("ファイル：編集済み"));
        EXPECT_EQ(window->document().edit_count, 2);

        window->Redo();
        EXPECT_EQ(ToByteArray(window->document().file_bytes), sharpened);
        EXPECT_EQ(window->image_control()->Picture(), Decoded(window->document().file_bytes));
        EXPECT_TRUE(Action("undoAction")->isEnabled());
        EXPECT_FALSE(Action("redoAction")->isEnabled());
    }
}

TEST_F(EffectRun, UndoThenSaveWritesTheRestoredPicture)
{
    const QString path = MakeBitmap(QStringLiteral("s.bmp"), 9, 7);
    Open(path);
    const QByteArray original = ReadFile(path);
    Apply("sharpen");
    window->Undo();
    window->SavePicture();
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(window->document().edit_count, 1);
    EXPECT_FALSE(Action("undoAction")->isEnabled());
    EXPECT_TRUE(Action("redoAction")->isEnabled());
}

TEST_F(EffectRun, CommandsChosenDuringARunAreRefused)
{
    const QString path = MakeBitmap(QStringLiteral("r.bmp"), 8, 12);
    Open(path);
    Apply("blur"); // something for undo and redo to act on
    const int edits = window->document().edit_count;
    dialogs->open_answers = {MakeBitmap(QStringLiteral("other.bmp"), 3, 3)};
    dialogs->save_answers = {QDir(folder->path()).absoluteFilePath(QStringLiteral("x.bmp"))};
    const QByteArray on_disk = ReadFile(path);
    bool panel_toggled = false;
    RunWatched("sharpen", [&](int pump) {
        if (pump != 2)
            return;
        window->OpenPicture();
        window->SavePictureAs();
        window->SavePicture();
        window->ClosePicture();
        window->Undo();
        window->Redo();
        Apply("blur");
        Apply("median");
        // View commands still work while the effect runs.
        window->ToggleZoomBox();
        panel_toggled = !Action("zoomBoxAction")->isChecked();
        window->ToggleZoomBox();
    });
    EXPECT_EQ(pumps, 10);
    EXPECT_EQ(dialogs->open_shown, 1);
    EXPECT_EQ(dialogs->save_shown, 0);
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_EQ(ReadFile(path), on_disk);
    EXPECT_TRUE(panel_toggled);
    EXPECT_EQ(window->document().edit_count, edits + 1);
    EXPECT_EQ(Caption(), path + QStringLiteral(" * ") + kSuffix);
}

TEST_F(EffectRun, EffectsNeedAPicture)
{
    Apply("sharpen");
    EXPECT_EQ(window->document().edit_count, 0);
    EXPECT_EQ(Caption(), QStringLiteral("Korvanti Ver 1.0.0"));
}

TEST_F(EffectRun, QuitDuringARunSavesWhatIsThere)
{
    const QString path = OpenEdited(QStringLiteral("q.bmp"));
    boxes->answers = {kAnswerYes};
    RunWatched("blur", [&](int pump) {
        if (pump == 1)
            window->Quit();
    });
    EXPECT_EQ(exits, std::vector<int>{0});
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].style, kStyleYesNo);
    EXPECT_FALSE(ReadFile(path).isEmpty());
}

} // namespace
} // namespace korvanti::testing
