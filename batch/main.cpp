// korvanti-batch: the effects of Korvanti from a shell.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <new>
#include <string_view>
#include <vector>

#include "batch/run.h"
#include "image/file_ops.h"

namespace {

std::atomic<bool> g_stop{false};
std::atomic<int> g_signal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

// The first Ctrl-C or SIGTERM lets every file in hand stop cleanly
// (nothing half written is left behind); a second one ends the process at
// once.
extern "C" void OnStopSignal(int signal)
{
    g_signal.store(signal);
    g_stop.store(true);
}

void CatchSignals()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // Past the file size limit a write then fails with EFBIG, which is
    // reported for that file, instead of killing the whole run.
    ::signal(SIGXFSZ, SIG_IGN);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        std::vector<std::string_view> args(argv + 1, argv + argc);
        korvanti::EnsureStandardDescriptors();
        CatchSignals();
        const int status =
            korvanti::batch::BatchMain(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1, &g_stop);
        // Stopped by a signal: the shell's status for it, 128 + its number.
        if (status == korvanti::batch::kExitInterrupted && g_signal.load() != 0)
            return 128 + g_signal.load();
        return status;
    } catch (const std::bad_alloc&) {
        std::cerr << "korvanti-batch: out of memory\n";
    } catch (const std::exception& error) {
        std::cerr << "korvanti-batch: " << error.what() << '\n';
    }
    return korvanti::batch::kExitFailed;
}
