// Helpers for the batch tool's tests: pictures written to temporary
// folders, the tool run as a child process, and the bytes the window
// would save for the same file and effects.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "effects/catalogue.h"
#include "engine/c_rand.h"
#include "engine/effect_context.h"
#include "image/document.h"

namespace korvanti::batch_testing {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

inline Bytes ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

inline void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

// A standard bottom-up 24-bit file, rows padded to four bytes (padding
// bytes 0x5A so that a merge touching them shows), pixels pseudo-random
// from seed with a smooth gradient mixed in so the filters have edges and
// flat parts to work on.
inline Bytes MakeBitmap(int32_t width, int32_t height, uint32_t seed)
{
    const int64_t stride = (int64_t{width} * 3 + 3) & ~int64_t{3};
    Bytes b(size_t(54 + stride * height), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, uint32_t(b.size()));
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(width));
    Put32(b, 22, uint32_t(height));
    b[26] = 1;
    b[28] = 24;
    Put32(b, 34, uint32_t(stride * height));
    uint32_t state = seed * 2654435761u + 12345u;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = b.data() + 54 + y * stride;
        for (int32_t x = 0; x < width; ++x) {
            for (int k = 0; k < 3; ++k) {
                state = state * 1664525u + 1013904223u;
                const int smooth = (x * 255 / std::max(1, width - 1) + y * 97 / std::max(1, height) + k * 60) % 256;
                row[3 * x + k] = uint8_t((x / 4 + y / 3) % 3 == 0 ? (state >> 24) : smooth);
            }
        }
        for (int64_t p = int64_t{width} * 3; p < stride; ++p)
            row[p] = 0x5A;
    }
    return b;
}

// What the window saves after opening path and running the effects, the
// first of a program run: fresh generator, one run per effect.
inline Bytes WindowResult(const fs::path& path, const std::vector<std::string>& effects)
{
    Document document;
    if (document.LoadBitmap(path.string()) != kLoaded)
        throw std::runtime_error("reference cannot load " + path.string());
    EffectHost host;
    CRand random;
    EffectContext context(document, host, random);
    for (const std::string& name : effects) {
        const EffectEntry* effect = FindEffect(name);
        if (effect == nullptr || !RunEffect(context, *effect))
            throw std::runtime_error("reference cannot run " + name);
    }
    return document.file_bytes;
}

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "korvanti-batch-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code error;
        // Read-only files made by a test must not stop the clean-up.
        for (const auto& entry : fs::recursive_directory_iterator(path_, error))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(path_, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    // The folder's entries, sorted: to see that nothing was left behind.
    std::vector<std::string> Listing(const std::string& sub = {}) const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(sub.empty() ? path_ : path_ / sub))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

struct ToolRun {
    int exit_code = -1; // the signal number, negated, when the tool was killed
    std::string out;
    std::string err;
};

struct ToolLimits {
    std::optional<rlim_t> file_size; // RLIMIT_FSIZE: writes past it fail as on a full disk
    std::optional<rlim_t> address_space; // RLIMIT_AS: large allocations fail
    bool stderr_on_terminal = false;      // stderr is a pseudo-terminal
    // With stderr on a terminal: send this signal once that text has appeared.
    std::string interrupt_after;
    int interrupt_signal = SIGINT;
    // Run as an unprivileged user when the tests run as root, so that
    // permission bits apply (see HandOver).
    bool unprivileged = false;
};

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

inline std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline int DecodeStatus(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
}

// Runs korvanti-batch with args in folder `cwd`; stdout and stderr are
// collected through files (or a pseudo-terminal for stderr).
inline ToolRun RunTool(const std::vector<std::string>& args, const fs::path& cwd, const ToolLimits& limits = {})
{
    const fs::path out_file = cwd / ".tool-stdout";
    const fs::path err_file = cwd / ".tool-stderr";
    int master = -1;
    int slave = -1;
    if (limits.stderr_on_terminal && ::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");

    std::vector<char*> argv;
    std::string program = KORVANTI_BATCH_EXE;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (std::string& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        if (::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = -1;
        if (limits.stderr_on_terminal) {
            ::close(master);
            err = slave;
        } else {
            err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ::_exit(126);
        if (limits.file_size) {
            const rlimit limit{*limits.file_size, *limits.file_size};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(126);
        }
        if (limits.address_space) {
            const rlimit limit{*limits.address_space, *limits.address_space};
            if (::setrlimit(RLIMIT_AS, &limit) != 0)
                ::_exit(126);
        }
        if (limits.unprivileged && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivileged) != 0 || ::setuid(kUnprivileged) != 0))
            ::_exit(126);
        ::alarm(120); // a tool that hangs is killed, and the test fails instead of waiting for ever
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }

    ToolRun run;
    std::string terminal;
    bool interrupted = false;
    if (limits.stderr_on_terminal) {
        ::close(slave);
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(master, buffer, sizeof buffer);
            if (got > 0) {
                terminal.append(buffer, size_t(got));
                if (!interrupted && !limits.interrupt_after.empty() && terminal.find(limits.interrupt_after) != std::string::npos) {
                    ::kill(child, limits.interrupt_signal);
                    interrupted = true;
                }
            }
            else if (got < 0 && errno == EINTR)
                continue;
            else
                break; // EIO once the child has closed the terminal
        }
        ::close(master);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.exit_code = DecodeStatus(status);
    run.out = ReadText(out_file);
    run.err = limits.stderr_on_terminal ? terminal : ReadText(err_file);
    fs::remove(out_file);
    fs::remove(err_file);
    return run;
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace korvanti::batch_testing
