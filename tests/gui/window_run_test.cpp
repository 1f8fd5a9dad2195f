// Quitting while an effect runs: the run is cancelled first, and the
// unsaved-changes prompt saves exactly what that Cancel leaves, as the core
// alone gives it for the same commands cancelled at the same pump; and the
// scratch copy written in the background.
#include "app/picture_files.h"
#include "gui_test_support.h"
#include "view/image_control.h"

namespace korvanti::testing {
namespace {

using QuitDuringRun = WindowTest;

// The model sequence quits during runs by menu and close box with the
// scratch copy written at once; here it is written in the background.
TEST_F(QuitDuringRun, SavesWhatTheCancelLeavesAndEndsAfterTheScratchCopy)
{
    window->scratch_in_background = true;
    const QString path = MakeBitmap(QStringLiteral("q.bmp"), 9, 8);
    // After a sharpen, pro-watercolour runs five equal passes: the close box
    // is clicked inside the second one.
    const std::vector<std::string> effects{"sharpen", "pro-watercolour"};
    int run_pumps = 0;
    CoreResult(path.toStdString(), effects, 0, &run_pumps);
    const int quit_at = run_pumps / 5 + run_pumps / 10 + 1;
    int cancelled_pumps = 0;
    const Bytes expected = CoreResult(path.toStdString(), effects, quit_at, &cancelled_pumps);

    Open(path);
    Apply("sharpen");
    boxes->answers = {kAnswerYes};
    bool running_at_exit = true;
    Bytes scratch_at_exit;
    window->exit_process = [&](int status) {
        exits.push_back(status);
        running_at_exit = window->context().Running();
        scratch_at_exit = ReadFile(window->scratch_path.toStdString());
    };
    RunWatched("pro-watercolour", [&](int pump) {
        if (pump == quit_at)
            window->close();
    });

    // A Cancel ends the pass it lands in; later passes still run.
    EXPECT_EQ(pumps, cancelled_pumps);
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_FALSE(running_at_exit);
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].style, kStyleYesNo);
    EXPECT_EQ(ReadFile(path.toStdString()), expected);
    EXPECT_EQ(window->document().file_bytes, expected);
    EXPECT_EQ(window->image_control()->Picture(), QImage::fromData(ToByteArray(expected), "BMP"));
    // The end of the program waited for the scratch copy of that picture.
    EXPECT_EQ(scratch_at_exit, expected);
}

// The writer takes its snapshot on its own thread; once WaitUntilTaken has
// returned the bytes may change at once, and the file still holds them as
// they were.
TEST(ScratchWriterTest, TheFileHoldsTheBytesAsTheyWereWhenWriteWasCalled)
{
    TempDir dir;
    const std::string path = (dir / "scratch.bmp").string();
    Bytes bytes = MakeBmp(Picture(1500, 1200));
    for (size_t i = 54; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 31 + i / 7);
    const Bytes original = bytes;
    ScratchWriter writer;
    writer.Write(bytes, path, true);
    writer.WaitUntilTaken();
    std::fill(bytes.begin() + 54, bytes.end(), uint8_t{0});
    writer.Wait();
    EXPECT_EQ(ReadFile(path), original);
}

} // namespace
} // namespace korvanti::testing
