// One input file through its effects to its output, and the plain words
// for whatever went wrong on the way.
#include "batch/process.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <new>
#include <system_error>

#include "engine/c_rand.h"
#include "engine/effect_context.h"
#include "image/document.h"
#include "image/save_stream.h"

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

namespace {

FileResult LoadFailure(const std::string& input, const FileProblem& problem)
{
    const char* prefix = problem.kind == FileProblemKind::CannotOpen   ? "cannot be opened: "
                         : problem.kind == FileProblemKind::ReadFailed ? "cannot be read: "
                                                                       : "";
    return Failure(OutcomeOf(problem.kind), input, prefix + DescribeProblem(problem));
}

FileResult SaveFailure(const std::string& output, const FileProblem& problem)
{
    if (problem.kind == FileProblemKind::OutOfMemory)
        return Failure(Outcome::OutOfMemory, output, DescribeProblem(problem));
    return Failure(Outcome::CannotWrite, output, "cannot be written: " + DescribeProblem(problem));
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// A BMP file whose one effect can stream is never read into memory whole:
// the effect reads it a few rows at a time and its result goes to the
// output row by row while it runs, so the disk is at work before the run
// is over. Not when the
// output is the input itself, which a save that has to rewrite the file in
// place would change under the run.
bool Streams(const std::string& input, const std::string& output, std::span<const EffectEntry* const> effects,
             const OutputSettings& settings, codecs::Format input_format)
{
    return effects.size() == 1 && effects[0]->stream != nullptr && input_format == codecs::Format::Bmp &&
           OutputFormatFor(output, settings, input_format) == codecs::Format::Bmp && !SameFile(input, output);
}

// The way a streamed result takes to its file. Nothing is made, neither the
// output folder nor a temporary, before a few megabytes of the result are
// ready: a small picture is saved at the end like any other, and a run
// stopped early leaves nothing behind.
class StreamedOutput : public ByteSink {
public:
    StreamedOutput(const std::string& output, FileProgress& progress) : output_(output), progress_(progress) {}

    void Put(const uint8_t* bytes, size_t size) override
    {
        if (started_) {
            if (result_.outcome == Outcome::Written)
                save_.Put(bytes, size);
            return;
        }
        pending_.insert(pending_.end(), bytes, bytes + size);
        if (pending_.size() >= kStartBytes)
            Start();
    }

    uint8_t* Room(size_t size) override
    {
        room_in_save_ = started_ && result_.outcome == Outcome::Written;
        return room_in_save_ ? save_.Room(size) : ByteSink::Room(size);
    }
    void Filled(size_t size) override
    {
        if (room_in_save_)
            save_.Filled(size);
        else
            ByteSink::Filled(size);
    }

    // The file's result once the run is through.
    FileResult Finish()
    {
        if (!started_)
            Start();
        if (result_.outcome != Outcome::Written)
            return result_;
        if (const FileProblem problem = save_.Commit(); problem.kind != FileProblemKind::None)
            return SaveFailure(output_, problem);
        result_.file = output_;
        result_.bytes = save_.Written();
        return result_;
    }

private:
    static constexpr size_t kStartBytes = size_t{8} << 20;

    void Start()
    {
        started_ = true;
        result_ = progress_.BeforeSave();
        if (result_.outcome != Outcome::Written)
            return;
        if (const FileProblem problem = save_.Begin(output_, true); problem.kind != FileProblemKind::None) {
            result_ = SaveFailure(output_, problem);
            return;
        }
        save_.Put(pending_.data(), pending_.size());
        Bytes().swap(pending_);
    }

    const std::string& output_;
    FileProgress& progress_;
    SaveStream save_; // dropped, unless committed, with the object
    Bytes pending_;
    bool started_ = false;
    bool room_in_save_ = false;
    FileResult result_;
};

FileResult StreamFile(const std::string& input, const std::string& output, const EffectEntry& effect,
                      FileProgress& progress, StoppableHost& host)
{
    Document document;
    document.keep_undo = false;
    if (document.OpenForStreaming(input) != kLoaded)
        return LoadFailure(input, document.LastProblem());
    StreamedOutput result(output, progress);
    CRand random;
    EffectContext context(document, host, random);
    host.Attach(context);
    progress.StartEffect(0);
    RunEffectStreamed(context, effect, result);
    if (host.Stopped())
        return Failure(Outcome::Interrupted, input, kInterrupted);
    // A file cut short or failing while it was read: the result is dropped.
    if (const FileProblem& problem = document.Source().Problem(); problem.kind != FileProblemKind::None)
        return LoadFailure(input, problem);
    return result.Finish();
}

} // namespace

FileResult ProcessFile(const std::string& input, const std::string& output,
                       std::span<const EffectEntry* const> effects, FileProgress& progress,
                       const std::atomic<bool>* stop, const OutputSettings& settings)
{
    StoppableHost host(progress, stop);
    if (host.Stopped())
        return Failure(Outcome::Interrupted, input, kInterrupted);
    try {
        const codecs::Format format = SniffPicture(input);
        if (Streams(input, output, effects, settings, format))
            return StreamFile(input, output, *effects[0], progress, host);
        Document document;
        document.keep_undo = false; // nothing here undoes a run
        PictureInput picture;
        if (LoadPicture(document, input, format, picture, settings.quiet) != kLoaded) {
            if (!picture.refusal.empty())
                return Failure(picture.out_of_memory ? Outcome::OutOfMemory : Outcome::NotSupported, input,
                               picture.refusal);
            return LoadFailure(input, document.LastProblem());
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
            return SaveFailure(output, problem);
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
