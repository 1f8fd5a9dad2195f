// Helpers for the batch tool's tests: the tool run as a child process.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <sstream>
#include <tuple>
#include <string>
#include <vector>

#include "codecs/format.h"
#include "engine_bench.h"

namespace korvanti::testing {

struct ToolRun {
    int exit_code = -1; // the signal number, negated, when the tool was killed
    std::string out;
    std::string err;
};

struct ToolLimits {
    std::optional<rlim_t> file_size;     // RLIMIT_FSIZE: writes past it fail as on a full disk
    std::optional<rlim_t> address_space; // RLIMIT_AS: large allocations fail
    bool stderr_on_terminal = false;     // stderr is a pseudo-terminal
    // With stderr on a terminal: send this signal once that text has appeared.
    std::string interrupt_after;
    int interrupt_signal = SIGINT;
    // Run as an unprivileged user when the tests run as root, so that
    // permission bits apply (see HandOver).
    bool unprivileged = false;
};

// The rows of a 24-bit BMP file held in memory, for the encoders.
inline codecs::BitmapRows RowsOf(const Bytes& bitmap)
{
    const int32_t width = int32_t(bitmap[18] | bitmap[19] << 8);
    const int32_t height = int32_t(bitmap[22] | bitmap[23] << 8);
    return {bitmap.data() + 54, width, height, RowStride(width)};
}

inline constexpr uid_t kUnprivileged = 65534; // "nobody"

// Gives the tree at root to the user unprivileged runs use, when the tests
// run as root; false when they cannot run (no right to change user).
inline bool HandOver(const fs::path& root)
{
    if (::geteuid() != 0)
        return true;
    const pid_t probe = ::fork();
    if (probe == 0)
        ::_exit(::setgid(kUnprivileged) == 0 && ::setuid(kUnprivileged) == 0 ? 0 : 1);
    int status = 0;
    if (probe < 0 || ::waitpid(probe, &status, 0) != probe || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    bool ok = ::lchown(root.c_str(), kUnprivileged, kUnprivileged) == 0;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        ok = ::lchown(entry.path().c_str(), kUnprivileged, kUnprivileged) == 0 && ok;
    return ok;
}

// The exit code, or the signal number negated.
inline int WaitFor(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
}

// Starts korvanti-batch with args in folder cwd, stdout and stderr into
// the given descriptors; in the child, before the tool starts, prepare().
// With own_process_ids the tool is the first process of a new process-id
// namespace, as in a container (-1 when that is refused).
template <class Prepare>
pid_t StartTool(const std::vector<std::string>& args, const fs::path& cwd, int out, int err, Prepare&& prepare,
                bool own_process_ids = false)
{
    std::vector<std::string> copies{KORVANTI_BATCH_EXE};
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t child = own_process_ids ? pid_t(::syscall(SYS_clone, CLONE_NEWPID | SIGCHLD, nullptr, nullptr, nullptr,
                                                          nullptr))
                                        : ::fork();
    if (child == 0) {
        if (::chdir(cwd.c_str()) != 0 || out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || !prepare())
            ::_exit(126);
        ::alarm(120); // a tool that hangs is killed, and the test fails instead of waiting for ever
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return child;
}

// Runs korvanti-batch with args in folder cwd; stdout and stderr are
// collected through files (or a pseudo-terminal for stderr).
inline ToolRun RunTool(const std::vector<std::string>& args, const fs::path& cwd, const ToolLimits& limits = {})
{
    const fs::path out_file = cwd / ".tool-stdout", err_file = cwd / ".tool-stderr";
    int master = -1, err = -1;
    if (limits.stderr_on_terminal ? ::openpty(&master, &err, nullptr, nullptr, nullptr) != 0
                                  : (err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)) < 0)
        throw std::runtime_error("cannot open the tool's stderr");
    const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    auto limit = [](int resource, std::optional<rlim_t> value) {
        const rlimit both{value.value_or(RLIM_INFINITY), value.value_or(RLIM_INFINITY)};
        return !value || ::setrlimit(resource, &both) == 0;
    };
    const pid_t child = StartTool(args, cwd, out, err, [&] {
        if (master >= 0)
            ::close(master);
        return limit(RLIMIT_FSIZE, limits.file_size) && limit(RLIMIT_AS, limits.address_space) &&
               (!limits.unprivileged || ::geteuid() != 0 ||
                (::setgroups(0, nullptr) == 0 && ::setgid(kUnprivileged) == 0 && ::setuid(kUnprivileged) == 0));
    });
    ::close(out);
    ::close(err);
    ToolRun run;
    char buffer[4096];
    for (bool interrupted = false; master >= 0;) {
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // EIO once the child has closed the terminal
        run.err.append(buffer, size_t(got));
        if (!interrupted && !limits.interrupt_after.empty() && run.err.find(limits.interrupt_after) != std::string::npos)
            interrupted = ::kill(child, limits.interrupt_signal) == 0;
    }
    if (master >= 0)
        ::close(master);
    run.exit_code = WaitFor(child);
    const auto take = [](const fs::path& path) {
        const Bytes bytes = ReadFile(path);
        fs::remove(path);
        return std::string(bytes.begin(), bytes.end());
    };
    run.out = take(out_file);
    if (master < 0)
        run.err = take(err_file);
    return run;
}

// A test that runs the tool in a temporary folder; its messages in err.
class ToolInFolder : public ::testing::Test {
protected:
    int Tool(const std::vector<std::string>& args)
    {
        const ToolRun run = RunTool(args, dir.path());
        err = run.err;
        return run.exit_code;
    }

    // Each file (its name, its bytes, the start of the message after the
    // name) is refused with that message and leaves an output as it was,
    // and no temporary file behind.
    void ExpectRefused(const std::vector<std::tuple<std::string, Bytes, std::string>>& cases)
    {
        const size_t entries = dir.Listing().size() + (fs::exists(dir / "old.png") ? 0 : 1);
        for (const auto& [name, bytes, message] : cases) {
            WriteFile(dir / name, bytes);
            WriteFile(dir / "old.png", Bytes{1, 2, 3});
            EXPECT_EQ(Tool({"-e", "blur", "-o", "old.png", name}), 1) << name;
            EXPECT_EQ(err.rfind("korvanti-batch: " + name + ": " + message, 0), 0u) << err;
            EXPECT_EQ(ReadFile(dir / "old.png"), (Bytes{1, 2, 3}));
        }
        EXPECT_EQ(dir.Listing().size(), entries + cases.size()) << "no temporary file left";
    }

    TempDir dir;
    std::string err;
};

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace korvanti::testing
