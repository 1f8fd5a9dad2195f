// korvanti-batch killed with SIGKILL at any moment of a 12-megapixel run:
// afterwards the output is absent (when there was none), the previous file
// byte for byte, or the complete new result, never part of one. What a
// killed run may leave behind is a hidden temporary, never a file named
// like the output; the next run still works and clears such leftovers away.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/syscall.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "batch_test_support.h"

namespace korvanti::batch_testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

const std::vector<std::string> kArguments{"-q", "-e", "invert", "-o", "out.bmp", "in.bmp"};

// The temporary a save of out.bmp writes before renaming it into place.
bool IsTemporaryOfOutput(const std::string& name)
{
    static const std::regex pattern(R"(\.out\.bmp\.kv[0-9]+-[0-9]+\.tmp)");
    return std::regex_match(name, pattern);
}

// A bottom-up 24-bit picture of noise, made quickly (the test makes a few
// of 36 MB): 64-bit words of a xorshift generator, header on top.
Bytes NoisePicture(int32_t width, int32_t height, uint64_t seed)
{
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    Bytes bytes(54 + stride * static_cast<size_t>(height));
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t at = 54; at < bytes.size(); at += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(bytes.data() + at, &state, std::min<size_t>(8, bytes.size() - at));
    }
    const Bytes header = MakeBitmap(1, 1, 0);
    std::copy(header.begin(), header.begin() + 54, bytes.begin());
    Put32(bytes, 2, static_cast<uint32_t>(bytes.size()));
    Put32(bytes, 18, static_cast<uint32_t>(width));
    Put32(bytes, 22, static_cast<uint32_t>(height));
    Put32(bytes, 34, static_cast<uint32_t>(stride * static_cast<size_t>(height)));
    return bytes;
}

// The whole file in one read; empty when there is none.
Bytes ReadWhole(const fs::path& path)
{
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    std::ifstream in(path, std::ios::binary);
    if (error || !in)
        return {};
    Bytes bytes(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

// Starts the tool in cwd, its output thrown away. With own_process_ids it
// runs as the first process of a new process-id namespace, as in a
// container: every such run has process id 1. Returns -1 when that is
// refused (no privilege to make namespaces).
pid_t StartTool(const fs::path& cwd, bool own_process_ids = false)
{
    std::vector<std::string> copies(kArguments);
    std::string program = KORVANTI_BATCH_EXE;
    std::vector<char*> argv{program.data()};
    for (std::string& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t child = own_process_ids
                            ? static_cast<pid_t>(::syscall(SYS_clone, CLONE_NEWPID | SIGCHLD, nullptr, nullptr,
                                                           nullptr, nullptr))
                            : ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (::chdir(cwd.c_str()) != 0 || null < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0)
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return child;
}

int WaitFor(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return DecodeStatus(status);
}

class KilledTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteBytes(dir / "in.bmp", NoisePicture(kWidth, kHeight, 7));
        // A complete earlier result of another size, so that a new file
        // written over it in place would show in its length too.
        previous = NoisePicture(kWidth / 2, kHeight / 2, 8);
        result = WindowResult(dir / "in.bmp", {"invert"});
    }

    // Puts out.bmp in its state before a run: absent or the previous file.
    void Prepare(bool with_previous)
    {
        fs::remove(dir / "out.bmp");
        if (with_previous)
            WriteBytes(dir / "out.bmp", previous);
    }

    // The temporary the running tool is writing, if any, and its size.
    std::optional<uintmax_t> TemporarySize() const
    {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(dir.path(), error)) {
            if (IsTemporaryOfOutput(entry.path().filename().string())) {
                const uintmax_t size = fs::file_size(entry.path(), error);
                if (!error)
                    return size;
            }
        }
        return std::nullopt;
    }

    // After a killed run: out.bmp is what it was or the whole new result,
    // and everything else in the folder is a hidden temporary of out.bmp.
    // Returns the number of temporaries left.
    int CheckAfterKill(bool had_previous, const std::string& when)
    {
        SCOPED_TRACE(when);
        if (fs::exists(dir / "out.bmp")) {
            const Bytes out = ReadWhole(dir / "out.bmp");
            const bool whole_result = out == result;
            const bool unchanged = had_previous && out == previous;
            EXPECT_TRUE(whole_result || unchanged)
                << "out.bmp is neither the previous file nor the new result (" << out.size() << " bytes; result "
                << result.size() << ", previous " << previous.size() << ")";
            finished += whole_result ? 1 : 0;
            kept += unchanged ? 1 : 0;
        } else {
            EXPECT_FALSE(had_previous) << "the previous out.bmp is gone";
            ++absent;
        }
        int temporaries = 0;
        for (const std::string& name : dir.Listing()) {
            if (name == "in.bmp" || name == "out.bmp")
                continue;
            EXPECT_TRUE(IsTemporaryOfOutput(name)) << "unexpected file left: " << name;
            ++temporaries;
        }
        return temporaries;
    }

    // Kills tool once its temporary has at least `wanted` bytes. Returns
    // true when the kill came while the temporary was still incomplete;
    // false also when the tool finished first.
    bool KillWhenTemporaryHas(pid_t tool, uintmax_t wanted)
    {
        for (;;) {
            const std::optional<uintmax_t> size = TemporarySize();
            if (size && *size >= wanted) {
                ::kill(tool, SIGKILL);
                WaitFor(tool);
                return *size < result.size();
            }
            int status = 0;
            if (::waitpid(tool, &status, WNOHANG) == tool)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }

    void RemoveTemporaries()
    {
        for (const std::string& name : dir.Listing()) {
            if (IsTemporaryOfOutput(name))
                fs::remove(dir / name);
        }
    }

    TempDir dir;
    Bytes previous;
    Bytes result;
    int finished = 0;
    int kept = 0;
    int absent = 0;
};

TEST_F(KilledTool, LeavesThePreviousOutputOrTheWholeResultAndTheNextRunWorks)
{
    // One whole run, to spread the kills over its length.
    Prepare(false);
    const Clock::time_point start = Clock::now();
    const ToolRun whole = RunTool(kArguments, dir.path());
    const Clock::duration length = Clock::now() - start;
    ASSERT_EQ(whole.exit_code, 0) << whole.err;
    ASSERT_TRUE(ReadWhole(dir / "out.bmp") == result) << "a whole run did not give the new result";

    // Kills at moments spread from the start to just past the end.
    constexpr int kMoments = 12;
    for (int i = 0; i < kMoments; ++i) {
        const bool with_previous = i % 2 == 1;
        Prepare(with_previous);
        const Clock::duration delay = length * i / (kMoments - 2);
        const pid_t tool = StartTool(dir.path());
        ASSERT_GT(tool, 0);
        std::this_thread::sleep_for(delay);
        ::kill(tool, SIGKILL);
        const int status = WaitFor(tool);
        EXPECT_TRUE(status == 0 || status == -SIGKILL) << "exit status " << status;
        CheckAfterKill(with_previous, "kill after " + std::to_string(i) + "/" + std::to_string(kMoments - 2) +
                                          " of a run");
        RemoveTemporaries();
    }

    // Kills while the temporary is being written: as soon as it appears,
    // when half of it is there, and once all of it is (before the rename).
    int seen_part_written = 0;
    for (const double part : {0.0, 0.5, 1.0}) {
        for (const bool with_previous : {false, true}) {
            Prepare(with_previous);
            const uintmax_t wanted = static_cast<uintmax_t>(part * static_cast<double>(result.size()));
            const pid_t tool = StartTool(dir.path());
            ASSERT_GT(tool, 0);
            if (KillWhenTemporaryHas(tool, wanted))
                ++seen_part_written;
            CheckAfterKill(with_previous, "kill with " + std::to_string(static_cast<int>(part * 100)) +
                                              "% of the temporary written");
            if (part < 1.0)
                RemoveTemporaries();
        }
    }
    std::cout << "out.bmp after the kills: absent " << absent << ", previous " << kept << ", new result "
              << finished << "; killed with a part-written temporary " << seen_part_written << " times\n";

    // Leftovers of killed runs do not stand in the way of the next one,
    // which clears them away. One more is made here, so there is always one.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    WaitFor(gone);
    WriteBytes(dir / (".out.bmp.kv" + std::to_string(gone) + "-0.tmp"), previous);
    ASSERT_GT(CheckAfterKill(true, "before the last run"), 0);
    Prepare(true);
    const ToolRun next = RunTool(kArguments, dir.path());
    EXPECT_EQ(next.exit_code, 0) << next.err;
    EXPECT_TRUE(ReadWhole(dir / "out.bmp") == result) << "the last run did not give the new result";
    EXPECT_EQ(CheckAfterKill(true, "after the last run"), 0) << "temporaries of dead runs are cleared away";
}

// A container runs the tool as its first process, so every run there has
// the same process id. The temporary a killed run leaves then has the very
// name the next run would pick, and must not keep it from saving.
TEST_F(KilledTool, ATemporaryLeftWithTheSameProcessIdDoesNotStopTheNextRun)
{
    Prepare(true);
    const pid_t killed = StartTool(dir.path(), true);
    if (killed < 0)
        GTEST_SKIP() << "cannot start a process in a new process-id namespace here (" << std::strerror(errno) << ")";
    ASSERT_TRUE(KillWhenTemporaryHas(killed, result.size() / 2)) << "the run ended before it was killed";
    CheckAfterKill(true, "killed half way");
    const std::vector<std::string> left = dir.Listing();
    ASSERT_NE(std::find(left.begin(), left.end(), ".out.bmp.kv1-0.tmp"), left.end())
        << "the killed run, process 1 of its namespace, left no temporary";

    const pid_t next = StartTool(dir.path(), true);
    ASSERT_GT(next, 0);
    EXPECT_EQ(WaitFor(next), 0) << "the next run failed";
    EXPECT_TRUE(ReadWhole(dir / "out.bmp") == result) << "the next run did not give the new result";
}

} // namespace
} // namespace korvanti::batch_testing
