// Files worked on while they are read: the result saved as it is made, and
// a picture decoded, worked on and encoded at once, each step on a thread
// of its own with a few bands of rows between them, so that neither the
// picture nor its result is ever in memory whole.
#pragma once

#include <atomic>
#include <span>
#include <string>

#include "batch/picture_io.h"
#include "batch/process.h"
#include "effects/catalogue.h"
#include "image/save_stream.h"

namespace korvanti::batch {

// The way a streamed result takes to its file. Nothing is made, neither the
// output folder nor a temporary, before a few megabytes of the result are
// ready: a small picture is saved at the end like any other, and a run
// stopped early leaves nothing behind. The file is committed only by Finish.
class StreamedOutput : public ByteSink {
public:
    StreamedOutput(const std::string& output, FileProgress& progress) : output_(output), progress_(progress) {}

    void Put(const uint8_t* bytes, size_t size) override;
    uint8_t* Room(size_t size) override;
    void Filled(size_t size) override;

    // The file's result once the run is through.
    FileResult Finish();

private:
    static constexpr size_t kStartBytes = size_t{8} << 20;

    void Start();

    const std::string& output_;
    FileProgress& progress_;
    SaveStream save_; // dropped, unless committed, with the object
    Bytes pending_;
    bool started_ = false;
    bool room_in_save_ = false;
    FileResult result_;
};

// What a streamed result of result_size bytes holds in memory at most, on
// its way to the file.
int64_t ResultMemory(int64_t result_size);

// True when output is the input file itself (by device and inode).
bool IsSameFile(const std::string& output, const InputFile& input);

// Whether a file is taken by rows: one effect that needs no more than the
// neighbouring rows, a JPEG, PNG or BMP file in, a JPEG or PNG file out,
// neither a pipe, and the output not the input (which a save that has to
// rewrite the file in place would change under the run).
bool TakesByRows(const PictureInput& picture, const std::string& output, std::span<const EffectEntry* const> effects,
                 codecs::Format output_format);

// Decodes, runs the effect and encodes by rows; the file's result in
// result. false when the file cannot be read by rows after all (an
// interlaced PNG, a turned or damaged photo): then the file's bytes are
// left in picture.whole for the whole-picture path, which gives the same
// bytes or the same refusal.
bool ProcessByRows(PictureInput& picture, const std::string& output, codecs::Format output_format,
                   const EffectEntry& effect, const OutputSettings& settings, FileProgress& progress,
                   const std::atomic<bool>* stop, FileResult& result);

} // namespace korvanti::batch
