// Running a whole batch: the files in parallel, their failures reported in
// input order, and a progress bar while stderr is a terminal.
#pragma once

#include <atomic>
#include <ostream>
#include <span>
#include <string_view>

#include "batch/options.h"

namespace korvanti::batch {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// Runs a parsed Run command line. Messages go to err, one whole line at a
// time; show_bar draws the progress bar there as well. stop, when it
// becomes true, ends the run early without writing any unfinished file.
int RunBatch(const Options& options, std::ostream& err, bool show_bar, const std::atomic<bool>* stop = nullptr);

// The whole tool: parses args (without the program name), prints help,
// version or the effect list to out, or runs the batch.
int BatchMain(std::span<const std::string_view> args, std::ostream& out, std::ostream& err, bool err_is_terminal,
              const std::atomic<bool>* stop = nullptr);

} // namespace korvanti::batch
