// Quitting while an effect runs: the run is cancelled first, and the
// unsaved-changes prompt saves exactly what that Cancel leaves, as the core
// alone gives it for the same commands cancelled at the same pump.
#include <string>
#include <vector>

#include "gui_test_support.h"
#include "view/image_control.h"

namespace korvanti::testing {
namespace {

// The core's picture after the commands ("undo" or an effect name), the last
// one cancelled at cancel_at; pumps holds the pumps of that last run.
Bytes CoreAfter(const QString& path, const std::vector<std::string>& commands, int cancel_at, int* pumps = nullptr)
{
    Document document;
    if (document.LoadBitmap(path.toStdString()) != kLoaded)
        return {};
    CRand random;
    CountingHost host;
    EffectContext context(document, host, random);
    host.context = &context;
    for (size_t i = 0; i < commands.size(); ++i) {
        if (commands[i] == "undo") {
            document.Undo();
            continue;
        }
        host.pumps = 0;
        host.cancel_at = i + 1 == commands.size() ? cancel_at : 0;
        RunEffect(context, *FindEffect(commands[i]));
    }
    if (pumps)
        *pumps = host.pumps;
    return document.file_bytes;
}

struct QuitCase {
    const char* name;
    std::vector<std::string> commands; // the last one is the run quit during
    bool close_box;                    // the window's close box, else the menu
};

using QuitDuringRun = WindowTest;

TEST_F(QuitDuringRun, SavesWhatTheCancelLeaves)
{
    const std::vector<QuitCase> cases = {
        {"multi-pass run, menu", {"sharpen", "pro-watercolour"}, false},
        {"multi-pass run, close box", {"sharpen", "pro-watercolour"}, true},
        {"run after an undo", {"sharpen", "undo", "blur"}, false},
    };
    for (const QuitCase& c : cases) {
        SCOPED_TRACE(c.name);
        window->scratch_in_background = true;
        const QString path = MakeBitmap(QStringLiteral("q.bmp"), 9, 8);
        // Pro-watercolour runs five equal passes: quit inside the second one.
        int run_pumps = 0;
        CoreAfter(path, c.commands, 0, &run_pumps);
        const int quit_at = c.commands.back() == "pro-watercolour" ? run_pumps / 5 + run_pumps / 10 + 1 : 1;
        ASSERT_GT(run_pumps, quit_at);
        int cancelled_pumps = 0;
        const Bytes expected = CoreAfter(path, c.commands, quit_at, &cancelled_pumps);

        Open(path);
        for (size_t i = 0; i + 1 < c.commands.size(); ++i) {
            if (c.commands[i] == "undo")
                window->Undo();
            else
                Apply(c.commands[i].c_str());
        }
        boxes->answers = {kAnswerYes};
        bool running_at_exit = true;
        QByteArray scratch_at_exit;
        window->exit_process = [&](int status) {
            exits.push_back(status);
            running_at_exit = window->context().Running();
            scratch_at_exit = ReadFile(window->scratch_path);
        };
        RunWatched(c.commands.back().c_str(), [&](int pump) {
            if (pump != quit_at)
                return;
            if (c.close_box)
                window->close();
            else
                window->Quit();
        });

        // A Cancel ends the pass it lands in; later passes still run.
        EXPECT_EQ(pumps, cancelled_pumps);
        EXPECT_EQ(exits, std::vector<int>{0});
        EXPECT_FALSE(running_at_exit);
        ASSERT_EQ(boxes->shown.size(), 1u);
        EXPECT_EQ(boxes->shown[0].style, kStyleYesNo);
        EXPECT_EQ(ReadFile(path), ToByteArray(expected));
        EXPECT_EQ(window->document().file_bytes, expected);
        EXPECT_EQ(window->image_control()->Picture(), QImage::fromData(ToByteArray(expected), "BMP"));
        // The end of the program waited for the scratch copy of that picture.
        EXPECT_EQ(scratch_at_exit, ToByteArray(expected));
        TearDown(); // a fresh window and folder for the next case
        SetUp();
        exits.clear();
    }
}

} // namespace
} // namespace korvanti::testing
