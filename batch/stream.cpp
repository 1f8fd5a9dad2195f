// Streamed files (stream.h): the output that starts late and commits at the
// end, and the three steps of a picture taken by rows with the queues of
// row bands between them.
#include "batch/stream.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "codecs/photo_file.h"
#include "codecs/row_codecs.h"
#include "effects/row_stage.h"
#include "image/document.h"

namespace korvanti::batch {

void StreamedOutput::Put(const uint8_t* bytes, size_t size)
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

uint8_t* StreamedOutput::Room(size_t size)
{
    room_in_save_ = started_ && result_.outcome == Outcome::Written;
    return room_in_save_ ? save_.Room(size) : ByteSink::Room(size);
}

void StreamedOutput::Filled(size_t size)
{
    if (room_in_save_)
        save_.Filled(size);
    else
        ByteSink::Filled(size);
}

FileResult StreamedOutput::Finish()
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

void StreamedOutput::Start()
{
    started_ = true;
    result_ = progress_.BeforeSave();
    if (result_.outcome != Outcome::Written)
        return;
    if (const FileProblem problem = save_.Begin(output_, Durability::Synced); problem.kind != FileProblemKind::None) {
        result_ = SaveFailure(output_, problem);
        return;
    }
    save_.Put(pending_.data(), pending_.size());
    Bytes().swap(pending_);
}

int64_t ResultMemory(int64_t result_size)
{
    // Gathered before the file is made, then in the writer's chunks
    // (StreamedOutput, SaveStream).
    constexpr int64_t kMost = int64_t{40} << 20;
    return std::min(result_size, kMost);
}

bool IsSameFile(const std::string& output, const InputFile& input)
{
    struct stat info {};
    return ::stat(output.c_str(), &info) == 0 && info.st_dev == input.device && info.st_ino == input.inode;
}

bool TakesByRows(const PictureInput& picture, const std::string& output, std::span<const EffectEntry* const> effects,
                 codecs::Format output_format)
{
    using codecs::Format;
    const bool input_by_rows = picture.format == Format::Jpeg || picture.format == Format::Png ||
                               picture.format == Format::Bmp;
    return effects.size() == 1 && effects[0]->rows != nullptr && input_by_rows &&
           (output_format == Format::Jpeg || output_format == Format::Png) && picture.file.path != kStandardStream &&
           output != kStandardStream && !IsSameFile(output, picture.file);
}

namespace {

constexpr int64_t kBandRows = 16;  // rows handed from step to step at a time
constexpr size_t kQueuedBands = 4; // bands waiting between two steps
constexpr int64_t kLibraryMemory = int64_t{1} << 20; // the codecs' small buffers

struct Band {
    Bytes rows;
    int64_t count = 0;
};

// The bands between two steps: at most a few, so the step before waits for
// the one after. Either side may call the run off; both then stop waiting.
class BandQueue {
public:
    // false when the run was called off.
    bool Push(Band&& band)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return bands_.size() < kQueuedBands || called_off_; });
        if (called_off_)
            return false;
        bands_.push_back(std::move(band));
        changed_.notify_all();
        return true;
    }
    // Nothing after the last band, or once the run is called off.
    std::optional<Band> Pop()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !bands_.empty() || closed_ || called_off_; });
        if (called_off_ || bands_.empty())
            return std::nullopt;
        Band band = std::move(bands_.front());
        bands_.pop_front();
        changed_.notify_all();
        return band;
    }
    void Close() { Set(closed_); }
    void CallOff() { Set(called_off_); }

private:
    void Set(bool& flag)
    {
        std::lock_guard lock(mutex_);
        flag = true;
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Band> bands_;
    bool closed_ = false;
    bool called_off_ = false;
};

// The rows of a BMP file from the top, read where they lie.
class BitmapRowsFromTop : public codecs::RowDecoder {
public:
    explicit BitmapRowsFromTop(Document& document) : source_(document.Source())
    {
        uint8_t header[kHeaderBytes];
        source_.Read(0, header, sizeof header);
        pixels_ = PixelOffset(header);
        width = document.plane_width;
        height = document.plane_height;
        next_ = height - 1;
    }
    FileProblem ReadRow(uint8_t* row) override
    {
        source_.Read(pixels_ + next_-- * RowStride(width), row, static_cast<size_t>(RowStride(width)));
        return source_.Problem();
    }
    FileProblem Finish() override { return source_.Verdict(); }

private:
    PictureSource& source_;
    int64_t pixels_ = 0;
    int64_t next_ = 0;
};

bool Asked(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(std::memory_order_relaxed); }

// One picture through its three steps: what each step met, kept for the
// result once all three are through.
class ByRows {
public:
    ByRows(codecs::RowDecoder& decoder, codecs::RowEncoder& encoder, const RowForm& form, FileProgress& progress,
           const std::atomic<bool>* stop)
        : decoder_(decoder), encoder_(encoder), form_(form), progress_(progress), stop_(stop),
          stride_(RowStride(decoder.width))
    {
    }

    // The memory the steps take besides the file.
    static int64_t Memory(const codecs::RowDecoder& decoder)
    {
        const int64_t stride = RowStride(decoder.width);
        // In the two queues and in the hands of the steps on either side.
        const int64_t bands = 2 * (kQueuedBands + 2) * kBandRows * stride;
        const int64_t effect_band = 3 * 72 * int64_t{decoder.width};
        const int64_t result = ResultMemory(stride * decoder.height);
        return decoder.library_memory + bands + effect_band + result + kLibraryMemory;
    }

    void Run()
    {
        progress_.StartEffect(0);
        progress_.SetProgressMax(int64_t{decoder_.width} * decoder_.height);
        std::jthread reading([this] { Guard(read_problem_, [this] { Read(); }); });
        std::jthread working([this] { Guard(read_problem_, [this] { Work(); }); });
        Guard(write_problem_, [this] { Write(); });
    }

    bool stopped() const { return stopped_; }
    const FileProblem& read_problem() const { return read_problem_; }
    const FileProblem& write_problem() const { return write_problem_; }

private:
    // A step that runs out of memory calls the run off.
    template <class Step>
    void Guard(FileProblem& problem, Step step)
    {
        try {
            step();
        } catch (const std::bad_alloc&) {
            Fail(problem, FileProblem{FileProblemKind::OutOfMemory});
        }
    }

    void Fail(FileProblem& problem, FileProblem what)
    {
        {
            std::lock_guard lock(mutex_);
            if (problem.ok())
                problem = std::move(what);
        }
        decoded_.CallOff();
        worked_.CallOff();
    }

    bool StopAsked()
    {
        if (!Asked(stop_))
            return false;
        stopped_ = true;
        decoded_.CallOff();
        worked_.CallOff();
        return true;
    }

    void Read()
    {
        for (int64_t y = 0; y < decoder_.height; y += kBandRows) {
            if (StopAsked())
                return;
            Band band{Bytes(static_cast<size_t>(kBandRows * stride_), 0), std::min(kBandRows, decoder_.height - y)};
            for (int64_t i = 0; i < band.count; ++i)
                if (FileProblem problem = decoder_.ReadRow(band.rows.data() + i * stride_); !problem.ok())
                    return Fail(read_problem_, std::move(problem));
            if (!decoded_.Push(std::move(band)))
                return;
        }
        if (FileProblem problem = decoder_.Finish(); !problem.ok())
            return Fail(read_problem_, std::move(problem));
        decoded_.Close();
    }

    void Work()
    {
        RowStage stage(form_, decoder_.width, decoder_.height, true);
        Band out{Bytes(static_cast<size_t>(kBandRows * stride_)), 0};
        bool going = true;
        const auto finished = [&](const uint8_t* row) {
            std::copy_n(row, stride_, out.rows.data() + out.count++ * stride_);
            if (out.count == kBandRows) {
                going = going && worked_.Push(std::move(out));
                out = Band{Bytes(static_cast<size_t>(kBandRows * stride_)), 0};
            }
        };
        int64_t done = 0;
        while (std::optional<Band> band = decoded_.Pop()) {
            for (int64_t i = 0; i < band->count; ++i)
                stage.Take(band->rows.data() + i * stride_, finished);
            done += band->count;
            progress_.SetProgress(done * decoder_.width);
            if (!going || StopAsked())
                return;
        }
        if (done < decoder_.height || (out.count > 0 && !worked_.Push(std::move(out))))
            return;
        worked_.Close();
    }

    void Write()
    {
        int64_t done = 0;
        while (std::optional<Band> band = worked_.Pop()) {
            for (int64_t i = 0; i < band->count; ++i)
                if (FileProblem problem = encoder_.WriteRow(band->rows.data() + i * stride_); !problem.ok())
                    return Fail(write_problem_, std::move(problem));
            done += band->count;
        }
        if (done == decoder_.height)
            if (FileProblem problem = encoder_.Finish(); !problem.ok())
                Fail(write_problem_, std::move(problem));
    }

    codecs::RowDecoder& decoder_;
    codecs::RowEncoder& encoder_;
    const RowForm& form_;
    FileProgress& progress_;
    const std::atomic<bool>* stop_;
    const int64_t stride_;
    BandQueue decoded_, worked_;
    std::mutex mutex_;
    std::atomic<bool> stopped_{false};
    FileProblem read_problem_, write_problem_;
};

// A photo read where it lies, a piece at a time, for a row decoder; what
// cannot be read reads as zeros and is noted in the source.
class PhotoSource : public codecs::ByteSource {
public:
    explicit PhotoSource(InputFile& file) : source_(file.file.release(), file.length, file.modified) {}
    size_t Read(uint8_t* into, size_t size) override
    {
        size = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(size), source_.Length() - at_));
        source_.Read(at_, into, size);
        at_ += static_cast<int64_t>(size);
        return size;
    }
    PictureSource& source() { return source_; }

private:
    PictureSource source_;
    int64_t at_ = 0;
};

// The input opened for reading by rows: a BMP file through the document, a
// photo through photo. decoder stays empty when the photo cannot be read
// by rows; its bytes are then read into picture.whole.
FileProblem OpenRows(PictureInput& picture, Document& document, std::optional<PhotoSource>& photo,
                     const std::atomic<bool>* stop, std::unique_ptr<codecs::RowDecoder>& decoder)
{
    if (picture.format == codecs::Format::Bmp) {
        document.keep_undo = false;
        if (FileProblem problem = document.OpenForStreaming(std::move(picture.file)); !problem.ok())
            return problem;
        decoder = std::make_unique<BitmapRowsFromTop>(document);
        return {};
    }
    photo.emplace(picture.file);
    if (codecs::OpenRowDecoder(picture.format, *photo, {kLargestBitmap, stop, {}}, decoder).ok() && decoder)
        return {};
    decoder.reset();
    PictureSource& source = photo->source();
    picture.whole.resize(static_cast<size_t>(source.Length()));
    source.Read(0, picture.whole.data(), picture.whole.size());
    return source.Verdict();
}

} // namespace

bool ProcessByRows(PictureInput& picture, const std::string& output, codecs::Format output_format,
                   const EffectEntry& effect, const OutputSettings& settings, FileProgress& progress,
                   const std::atomic<bool>* stop, FileResult& result)
{
    const std::string name = picture.file.path;
    Document document;
    std::optional<PhotoSource> photo;
    std::unique_ptr<codecs::RowDecoder> decoder;
    if (FileProblem problem = OpenRows(picture, document, photo, stop, decoder); !problem.ok()) {
        result = LoadFailure(name, problem, picture.format);
        return true;
    }
    if (!decoder)
        return false;
    if (!progress.Admit(ByRows::Memory(*decoder))) {
        result = InterruptedFile(name);
        return true;
    }
    StreamedOutput saved(output, progress);
    const codecs::EncodeSettings encoding{settings.quality != 0 ? settings.quality : codecs::kDefaultQuality, false};
    const Bytes none;
    std::unique_ptr<codecs::RowEncoder> encoder;
    if (FileProblem problem = codecs::OpenRowEncoder(output_format, decoder->width, decoder->height, encoding,
                                                     settings.strip ? none : decoder->icc,
                                                     settings.strip ? none : decoder->exif, saved, encoder);
        !problem.ok()) {
        result = SaveFailure(output, problem);
        return true;
    }
    ByRows run(*decoder, *encoder, *effect.rows, progress, stop);
    run.Run();
    // A file cut short or written to while it was read: that, before what
    // the decoder made of it.
    const FileProblem read = photo ? photo->source().Verdict() : document.Source().Verdict();
    if (run.stopped() || run.read_problem().kind == FileProblemKind::Interrupted)
        result = InterruptedFile(name);
    else if (!read.ok())
        result = LoadFailure(name, read, picture.format);
    else if (!run.read_problem().ok())
        result = LoadFailure(name, run.read_problem(), picture.format);
    else if (!run.write_problem().ok())
        result = SaveFailure(output, run.write_problem());
    else
        result = saved.Finish();
    if (result.outcome == Outcome::Written && !settings.quiet) {
        std::string note = decoder->alpha_composited ? "transparency flattened over white" : "";
        if (!decoder->note.empty())
            note += (note.empty() ? "" : "; ") + decoder->note;
        if (!note.empty())
            result.note = QuoteName(name) + ": " + note;
    }
    return true;
}

} // namespace korvanti::batch
