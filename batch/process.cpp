#include "batch/process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "engine/c_rand.h"
#include "engine/effect_context.h"
#include "image/document.h"

namespace korvanti::batch {
namespace {

// Passes the engine's calls on to the file's progress and turns a stop
// request into the engine's own Cancel at the next row.
class StoppableHost : public EffectHost {
public:
    StoppableHost(FileProgress& progress, const std::atomic<bool>* stop) : progress_(progress), stop_(stop) {}

    void Attach(EffectContext& context) { context_ = &context; }
    bool Stopped() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }

    void SetProgressMax(int64_t maximum) override { progress_.SetProgressMax(maximum); }
    void SetProgress(int64_t position) override { progress_.SetProgress(position); }
    void ProcessMessages() override
    {
        if (Stopped() && context_ != nullptr)
            context_->Cancel();
    }
    std::chrono::microseconds PumpInterval() const override { return kInteractivePumpInterval; }

private:
    FileProgress& progress_;
    const std::atomic<bool>* stop_;
    EffectContext* context_ = nullptr;
};

FileResult Failure(Outcome outcome, const std::string& file, std::string reason = {})
{
    FileResult result;
    result.outcome = outcome;
    result.file = file;
    result.reason = reason.empty() ? DescribeOutcome(outcome) : std::move(reason);
    return result;
}

// Why a save failed, where that can be told from outside: the core only
// says that it did.
std::string WriteProblem(const std::string& output)
{
    std::string reason = DescribeOutcome(Outcome::CannotWrite);
    struct stat info {};
    if (::stat(output.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return reason + " (it is a folder)";
        if ((info.st_mode & S_IWUSR) == 0)
            return reason + " (the file is read-only)";
    }
    const size_t slash = output.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : output.substr(0, slash);
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return reason + " (no such folder)";
    return reason;
}

} // namespace

std::string DescribeOutcome(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Written:
        return "written";
    case Outcome::CannotOpen:
        return "cannot be opened";
    case Outcome::NotSupported:
        return "not an uncompressed 24-bit BMP";
    case Outcome::OutOfMemory:
        return "out of memory";
    case Outcome::CannotWrite:
        return "cannot be written";
    case Outcome::Interrupted:
        return "interrupted; nothing written";
    }
    return "failed";
}

FileResult ProcessFile(const std::string& input, const std::string& output,
                       std::span<const EffectEntry* const> effects, FileProgress& progress,
                       const std::atomic<bool>* stop)
{
    StoppableHost host(progress, stop);
    if (host.Stopped())
        return Failure(Outcome::Interrupted, input);
    try {
        Document document;
        document.keep_undo = false; // nothing here undoes a run
        switch (document.LoadBitmap(input)) {
        case kLoaded:
            break;
        case kNotOpened:
            return Failure(Outcome::CannotOpen, input);
        default:
            switch (document.LastLoadProblem()) {
            case LoadProblem::CannotOpen:
                return Failure(Outcome::CannotOpen, input, "cannot be read");
            case LoadProblem::OutOfMemory:
                return Failure(Outcome::OutOfMemory, input);
            default:
                return Failure(Outcome::NotSupported, input);
            }
        }
        // A window that has just opened this file, with the first effects
        // of its run: a fresh generator.
        CRand random;
        EffectContext context(document, host, random);
        host.Attach(context);
        for (size_t i = 0; i < effects.size(); ++i) {
            progress.StartEffect(i);
            RunEffect(context, *effects[i]);
            if (host.Stopped())
                return Failure(Outcome::Interrupted, input);
        }
        const int written = document.SaveBitmap(output);
        if (written < 0)
            return Failure(Outcome::CannotWrite, output, WriteProblem(output));
        FileResult result;
        result.file = output;
        result.bytes = written;
        return result;
    } catch (const std::bad_alloc&) {
        return Failure(Outcome::OutOfMemory, input);
    }
}

} // namespace korvanti::batch
