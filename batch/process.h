// The work for one input file: open it, run the chosen effects in order,
// each as its own run, and save the result. Every file gets a document and
// a random generator of its own, so its result never depends on the other
// files or on the order in which they are done.
#pragma once

#include <atomic>
#include <span>
#include <string>

#include "batch/picture_io.h"
#include "effects/catalogue.h"
#include "engine/effect_host.h"
#include "image/document.h"

namespace korvanti::batch {

enum class Outcome {
    Written,
    CannotOpen,     // missing, unreadable, not a regular file, or a read error
    NotSupported,   // readable, but not a picture we handle
    OutOfMemory,
    CannotWrite,    // the output could not be created or replaced
    Interrupted,    // stopped by a signal before anything was written
};

struct FileResult {
    Outcome outcome = Outcome::Written;
    std::string file;   // the file the reason is about: the input, or the output for CannotWrite
    std::string reason; // the cause in plain words; empty for Written
    long long bytes = 0;
    std::string note;   // "INPUT: what was done to it", e.g. that transparency was flattened
};

// Told where each file stands; may be called from worker threads.
class FileProgress : public EffectHost {
public:
    // Effect number (0-based) of the run about to start.
    virtual void StartEffect(size_t index) { (void)index; }
    // Called before a file's picture is read or decoded into memory, with
    // about what the file will take while it is worked on; may wait until
    // that much is free. false: the file is interrupted.
    virtual bool Admit(int64_t bytes)
    {
        (void)bytes;
        return true;
    }
    // Called when the file's result is about to be saved: anything but
    // Written stops the save and becomes the file's result.
    virtual FileResult BeforeSave() { return {}; }
};

// stop, when set, interrupts the file at the next row; a stopped file is
// never saved. settings choose the output's format (see picture_io.h).
FileResult ProcessFile(const std::string& input, const std::string& output,
                       std::span<const EffectEntry* const> effects, FileProgress& progress,
                       const std::atomic<bool>* stop = nullptr, const OutputSettings& settings = {});

// The results of a file that failed: on the way in (with the decoder's
// words, where it gave any), on the way out, or stopped by a signal.
FileResult Failure(Outcome outcome, const std::string& file, std::string reason);
FileResult LoadFailure(const std::string& input, const FileProblem& problem, codecs::Format format);
FileResult SaveFailure(const std::string& output, const FileProblem& problem);
FileResult InterruptedFile(const std::string& input);

// The cause of a failed load or save in plain words, for the messages:
// "no such file", "truncated (5 bytes short)", "disk full" and the like.
std::string DescribeProblem(const FileProblem& problem);

// A file name as a message shows it: as it is, unless it holds control
// characters (a newline could forge a message, an escape sequence drive the
// terminal); then quoted as a shell reads it back, 'bad'$'\n''name'.
std::string QuoteName(std::string_view name);

} // namespace korvanti::batch
