// korvanti-batch: the effects of Korvanti from a shell.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <new>
#include <string_view>
#include <vector>

#include "batch/run.h"

namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// The first Ctrl-C lets every file in hand stop cleanly (nothing half
// written is left behind); a second one ends the process at once.
extern "C" void OnStopSignal(int) { g_stop.store(true); }

void CatchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        std::vector<std::string_view> args(argv + 1, argv + argc);
        CatchStopSignals();
        return korvanti::batch::BatchMain(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1, &g_stop);
    } catch (const std::bad_alloc&) {
        std::cerr << "korvanti-batch: out of memory\n";
    } catch (const std::exception& error) {
        std::cerr << "korvanti-batch: " << error.what() << '\n';
    }
    return korvanti::batch::kExitFailed;
}
