// One input file through its effects to its output, and the plain words
// for whatever went wrong on the way.
#include "batch/process.h"

#include <cctype>
#include <cerrno>
#include <new>
#include <system_error>

#include "engine/c_rand.h"
#include "engine/effect_context.h"
#include "image/document.h"

namespace korvanti::batch {
namespace {

constexpr const char* kInterrupted = "interrupted; nothing written";

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

FileResult Failure(Outcome outcome, const std::string& file, std::string reason)
{
    FileResult result;
    result.outcome = outcome;
    result.file = file;
    result.reason = std::move(reason);
    return result;
}

// Plain words for the errno values people meet where the system's own
// text says it less plainly ("No such file or directory"); the system's
// text, as a phrase, for the rest ("too many open files").
std::string ErrorWords(int error)
{
    switch (error) {
    case ENOENT:
        return "no such file";
    case EACCES:
    case EPERM:
        return "permission denied";
    case EISDIR:
        return "is a folder";
    case ENOSPC:
    case EDQUOT:
        return "disk full";
    case ENAMETOOLONG:
        return "name too long";
    case ELOOP:
        return "too many symbolic links";
    case 0:
        return "unknown error";
    }
    std::string text = std::error_code(error, std::generic_category()).message();
    if (!text.empty())
        text.front() = static_cast<char>(std::tolower(static_cast<unsigned char>(text.front())));
    return text;
}

std::string CreateWords(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return "read-only folder";
    case ENOENT:
    case ENOTDIR:
        return "no such folder";
    }
    return ErrorWords(error);
}

Outcome OutcomeOf(FileProblemKind kind)
{
    switch (kind) {
    case FileProblemKind::EmptyPath:
    case FileProblemKind::CannotOpen:
    case FileProblemKind::NotRegularFile:
    case FileProblemKind::ReadFailed:
        return Outcome::CannotOpen;
    case FileProblemKind::OutOfMemory:
        return Outcome::OutOfMemory;
    default:
        return Outcome::NotSupported;
    }
}

} // namespace

std::string DescribeProblem(const FileProblem& problem)
{
    using Kind = FileProblemKind;
    switch (problem.kind) {
    case Kind::None:
        return "written";
    case Kind::EmptyPath:
        return "empty file name";
    case Kind::CannotOpen:
    case Kind::ReadFailed:
    case Kind::WriteFailed:
        return ErrorWords(problem.error);
    case Kind::NotRegularFile:
        return problem.error == EISDIR ? "is a folder" : "not a regular file";
    case Kind::Empty:
        return "empty file";
    case Kind::NotBitmap:
        return "not a BMP, JPEG or PNG picture";
    case Kind::Truncated:
        return "truncated (" + std::to_string(problem.amount) + (problem.amount == 1 ? " byte" : " bytes") +
               " short)";
    case Kind::HeaderDamaged:
        return "header damaged";
    case Kind::OldHeader:
        return "OS/2 pictures are not supported";
    case Kind::TopDown:
        return "top-down pictures are not supported";
    case Kind::BitDepth:
        return std::to_string(problem.amount) + "-bit pictures are not supported";
    case Kind::Compressed:
        return "compressed pictures are not supported";
    case Kind::TooLarge:
        return "larger than 2 GiB";
    case Kind::OutOfMemory:
        return "out of memory";
    case Kind::ReadOnlyFile:
        return "the file is read-only";
    case Kind::CannotCreate:
        return CreateWords(problem.error);
    }
    return "failed";
}

FileResult ProcessFile(const std::string& input, const std::string& output,
                       std::span<const EffectEntry* const> effects, FileProgress& progress,
                       const std::atomic<bool>* stop, const OutputSettings& settings)
{
    StoppableHost host(progress, stop);
    if (host.Stopped())
        return Failure(Outcome::Interrupted, input, kInterrupted);
    try {
        Document document;
        document.keep_undo = false; // nothing here undoes a run
        PictureInput picture;
        if (LoadPicture(document, input, picture, settings.quiet) != kLoaded) {
            if (!picture.refusal.empty())
                return Failure(picture.out_of_memory ? Outcome::OutOfMemory : Outcome::NotSupported, input,
                               picture.refusal);
            const FileProblem& problem = document.LastProblem();
            const char* prefix = problem.kind == FileProblemKind::CannotOpen   ? "cannot be opened: "
                                 : problem.kind == FileProblemKind::ReadFailed ? "cannot be read: "
                                                                               : "";
            return Failure(OutcomeOf(problem.kind), input, prefix + DescribeProblem(problem));
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
                return Failure(Outcome::Interrupted, input, kInterrupted);
        }
        if (FileResult refused = progress.BeforeSave(); refused.outcome != Outcome::Written)
            return refused;
        std::string encode_error;
        FileProblem problem;
        const int written = SavePicture(document, output, OutputFormatFor(output, settings, picture.format),
                                        settings.quality, picture.icc, encode_error, problem);
        if (written < 0) {
            if (!encode_error.empty())
                return Failure(Outcome::CannotWrite, output, "cannot be encoded (" + encode_error + ")");
            if (problem.kind == FileProblemKind::OutOfMemory)
                return Failure(Outcome::OutOfMemory, output, DescribeProblem(problem));
            return Failure(Outcome::CannotWrite, output, "cannot be written: " + DescribeProblem(problem));
        }
        FileResult result;
        if (!picture.note.empty())
            result.note = input + ": " + picture.note;
        result.file = output;
        result.bytes = written;
        return result;
    } catch (const std::bad_alloc&) {
        return Failure(Outcome::OutOfMemory, input, "out of memory");
    }
}

} // namespace korvanti::batch
