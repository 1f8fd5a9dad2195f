// Effects run inside the window, beyond what the model sequence
// (tests/model) checks after every run: the progress bar and Cancel while a
// run pumps messages, view commands during a run, the scratch file.
#include <QProgressBar>
#include <QPushButton>

#include <new>

#include "effects/catalogue.h"
#include "effects/run_steps.h"
#include "app/picture_files.h"
#include "gui_test_support.h"
#include "view/image_control.h"

namespace korvanti::testing {
namespace {

using EffectRun = WindowTest;

TEST_F(EffectRun, ProgressAndCancelWhileARunPumps)
{
    Open(MakeBitmap(QStringLiteral("f.bmp"), 6, 5));
    auto* progress = Find<QProgressBar>("progressBar");
    std::vector<int> positions;
    bool cancel_enabled_during_run = false;
    bool panel_toggled = false;
    RunWatched("sharpen", [&](int pump) {
        positions.push_back(progress->value());
        cancel_enabled_during_run = Find<QPushButton>("cancelButton")->isEnabled();
        EXPECT_EQ(progress->maximum(), 6 * 5 + 1);
        if (pump != 2)
            return;
        // View commands still work while the effect runs.
        window->ToggleZoomBox();
        panel_toggled = !Action("zoomBoxAction")->isChecked();
        window->ToggleZoomBox();
    });
    // Sharpen visits rows 1 to 3 of a 5-row picture: one pump per row, the
    // bar at width x row each time.
    EXPECT_EQ(positions, (std::vector<int>{6, 12, 18}));
    EXPECT_TRUE(cancel_enabled_during_run);
    EXPECT_TRUE(panel_toggled);
}

TEST_F(EffectRun, AnUnwritableScratchFileChangesNothingOnScreen)
{
    Open(MakeBitmap(QStringLiteral("n.bmp"), 6, 5));
    window->scratch_path = QDir(folder->path()).absoluteFilePath(QStringLiteral("no/such/folder/scratch.bmp"));
    Apply("sharpen");
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_TRUE(boxes->exceptions.empty());
    EXPECT_EQ(window->image_control()->Picture(),
              QImage::fromData(ToByteArray(window->document().file_bytes), "BMP"));
}

// An effect that fails part way, as when memory runs out: a quit chosen
// during it still ends the program after the prompt, and undo gives back
// nothing it should not.
TEST_F(EffectRun, AnExceptionDuringARunKeepsAPendingQuitAndNoFalseUndo)
{
    Open(MakeBitmap(QStringLiteral("x.bmp"), 6, 5));
    Apply("sharpen"); // undo holds the picture before it
    const Bytes sharpened = window->document().file_bytes;
    static MainWindow* running_window = nullptr;
    running_window = window.get();
    const EffectEntry failing{"X9", "fails", "fails", "", [](EffectContext& context) {
                                  StartRun(context, UndoCopy::Swap);
                                  running_window->Quit();
                                  throw std::bad_alloc();
                              }};
    boxes->answers = {kAnswerNo};
    window->ApplyEffect(failing);
    EXPECT_EQ(boxes->exceptions.size(), 1u);
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_EQ(window->document().file_bytes, sharpened);
    EXPECT_FALSE(Action("undoAction")->isEnabled());
    EXPECT_EQ(window->image_control()->Picture(), PictureOf(window->document()));
}

} // namespace
} // namespace korvanti::testing
