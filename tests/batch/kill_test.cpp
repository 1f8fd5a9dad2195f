// korvanti-batch killed with SIGKILL while it saves a 6-megapixel result:
// afterwards the output is absent (when there was none), the previous file
// byte for byte, or the complete new result, never part of one. A killed
// run leaves at most a hidden temporary, never a file named like the
// output; the next run still works and clears such leftovers away.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <thread>

#include "batch_test_support.h"

namespace korvanti::testing {
namespace {

const std::vector<std::string> kArguments{"-q", "-e", "invert", "-o", "out.bmp", "in.bmp"};

bool IsTemporaryOfOutput(const std::string& name)
{
    static const std::regex pattern(R"(\.out\.bmp\.kv[0-9]+-[0-9]+\.tmp)");
    return std::regex_match(name, pattern);
}

class KilledTool : public ::testing::Test {
protected:
    // Puts out.bmp in its state before a run: absent or the previous file,
    // complete and of another size, so that writing in place would show.
    void Prepare(bool with_previous)
    {
        fs::remove(dir / "out.bmp");
        if (with_previous)
            WriteFile(dir / "out.bmp", previous);
    }

    pid_t Start(bool own_process_ids = false)
    {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        const pid_t tool = StartTool(kArguments, dir.path(), null, null, [] { return true; }, own_process_ids);
        ::close(null);
        return tool;
    }

    // Kills the tool once what it writes has at least `wanted` bytes: its
    // temporary, or out.bmp itself once that changes (a save in place).
    // True when the kill came while the temporary was still incomplete.
    bool KillWhenWritten(pid_t tool, uintmax_t wanted)
    {
        std::error_code error;
        const uintmax_t prepared = fs::exists(dir / "out.bmp") ? fs::file_size(dir / "out.bmp") : UINTMAX_MAX;
        for (int status = 0; ::waitpid(tool, &status, WNOHANG) != tool;) {
            for (const auto& entry : fs::directory_iterator(dir.path(), error)) {
                const std::string name = entry.path().filename().string();
                const uintmax_t size = fs::file_size(entry.path(), error);
                if (!error && size >= wanted && (IsTemporaryOfOutput(name) || (name == "out.bmp" && size != prepared))) {
                    ::kill(tool, SIGKILL);
                    WaitFor(tool);
                    return name != "out.bmp" && size < result.size();
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        return false;
    }

    // out.bmp is what it was or the whole new result, and everything else
    // in the folder is a hidden temporary of out.bmp; returns how many.
    int CheckAfterKill(bool had_previous, bool remove_temporaries)
    {
        if (fs::exists(dir / "out.bmp")) {
            const Bytes out = ReadFile(dir / "out.bmp");
            EXPECT_TRUE(out == result || (had_previous && out == previous))
                << "out.bmp is neither the previous file nor the new result (" << out.size() << " bytes)";
        } else {
            EXPECT_FALSE(had_previous) << "the previous out.bmp is gone";
        }
        int temporaries = 0;
        for (const std::string& name : dir.Listing()) {
            if (name == "in.bmp" || name == "out.bmp")
                continue;
            EXPECT_TRUE(IsTemporaryOfOutput(name)) << "unexpected file left: " << name;
            ++temporaries;
            if (remove_temporaries)
                fs::remove(dir / name);
        }
        return temporaries;
    }

    TempDir dir;
    const Bytes previous = MakeBmp(Picture(1500, 1000, 0x77));
    // What the window saves for in.bmp, worked out once for every test.
    const Bytes& result = [this]() -> const Bytes& {
        WriteFile(dir / "in.bmp", MakeBmp(Picture(3000, 2000, 0x35)));
        static const Bytes saved = CoreResult(dir / "in.bmp", {"invert"});
        return saved;
    }();
};

TEST_F(KilledTool, LeavesThePreviousOutputOrTheWholeResultAndTheNextRunWorks)
{
    // Killed as soon as the temporary appears, when half of it is there,
    // and once all of it is (before the rename).
    for (const double part : {0.0, 0.5, 1.0}) {
        for (const bool with_previous : {false, true}) {
            SCOPED_TRACE(std::to_string(part) + (with_previous ? " over the previous file" : " with no output"));
            Prepare(with_previous);
            const pid_t tool = Start();
            ASSERT_GT(tool, 0);
            KillWhenWritten(tool, uintmax_t(part * double(result.size())));
            CheckAfterKill(with_previous, part < 1.0);
        }
    }
    // Leftovers of killed runs a while ago (one more made here, of a
    // process that is gone) do not stand in the way of the next run, which
    // clears them.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    WaitFor(gone);
    WriteFile(dir / (".out.bmp.kv" + std::to_string(gone) + "-0.tmp"), previous);
    const timespec earlier[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
    for (const std::string& name : dir.Listing())
        ::utimensat(AT_FDCWD, (dir / name).c_str(), earlier, 0);
    Prepare(true);
    const ToolRun next = RunTool(kArguments, dir.path());
    EXPECT_EQ(next.exit_code, 0) << next.err;
    EXPECT_TRUE(ReadFile(dir / "out.bmp") == result) << "the last run did not give the new result";
    EXPECT_EQ(CheckAfterKill(true, false), 0) << "temporaries of dead runs are cleared away";
}

// A container runs the tool as its first process, so every run there has
// the same process id. The temporary a killed run leaves then has the very
// name the next run would pick, and must not keep it from saving.
TEST_F(KilledTool, ATemporaryLeftWithTheSameProcessIdDoesNotStopTheNextRun)
{
    Prepare(true);
    const pid_t killed = Start(true);
    if (killed < 0)
        GTEST_SKIP() << "cannot start a process in a new process-id namespace here (" << std::strerror(errno) << ")";
    ASSERT_TRUE(KillWhenWritten(killed, 0)) << "the run ended before it was killed";
    EXPECT_EQ(dir.Listing(), (std::vector<std::string>{".out.bmp.kv1-0.tmp", "in.bmp", "out.bmp"}));
    CheckAfterKill(true, false);

    const pid_t next = Start(true);
    ASSERT_GT(next, 0);
    EXPECT_EQ(WaitFor(next), 0) << "the next run failed";
    EXPECT_TRUE(ReadFile(dir / "out.bmp") == result) << "the next run did not give the new result";
}

} // namespace
} // namespace korvanti::testing
