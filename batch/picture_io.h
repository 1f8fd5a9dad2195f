// The batch tool's pictures in and out. An input is opened once and told
// apart by its first bytes; a photo (JPEG, PNG, WebP, TIFF, HEIC, AVIF) is decoded into the bytes of the
// 24-bit BMP file of the same picture, so the document gets exactly what
// opening that file would give it and the effects see no difference. A
// result is encoded in the format asked for and saved in one step.
#pragma once

#include <string>
#include <string_view>

#include "codecs/format.h"
#include "image/document.h"

namespace korvanti::batch {

// The name that stands for standard input as an input and for standard
// output as -o's result.
inline constexpr std::string_view kStandardStream = "-";

struct OutputSettings {
    codecs::Format format = codecs::Format::Unknown; // --format; Unknown: by the output name
    int quality = 0;                                 // --quality; 0: not given (see SavePicture)
    bool quiet = false;                              // no notes
    bool strip = false;                              // --strip: no ICC profile, no EXIF
};

// An input file, opened, and what the batch tool keeps of it besides its
// pixels.
struct PictureInput {
    InputFile file;
    codecs::Bytes whole; // standard input, read to its end when it opened
    codecs::Format format = codecs::Format::Bmp; // by content: a photo format, else BMP
    codecs::Bytes icc;
    codecs::Bytes exif;    // orientation already 1
    bool lossless = false; // a lossless WebP
    std::string note; // said once on stderr (unless quiet), e.g. about transparency
};

// Opens path and tells its format by its first bytes. Whatever is no
// picture at all counts as BMP: the BMP load refuses it with its cause.
// "-" reads standard input to its end (a pipe cannot be read twice).
FileProblem OpenPicture(const std::string& path, PictureInput& input);

// Loads the opened input into document, decoding a photo. On a
// refusal the document is unchanged; a codec's refusal carries its reason.
// A set stop ends a decode between rows (Interrupted).
FileProblem LoadPicture(Document& document, PictureInput& input, bool quiet,
                        const std::atomic<bool>* stop = nullptr, std::function<bool(int64_t)> admit = {});

// About what a picture whose BMP form has bitmap_size bytes takes while
// the batch tool works on it: the file, the planes of a run and the
// encoded result.
constexpr int64_t WorkingMemory(int64_t bitmap_size) { return 3 * bitmap_size; }

// The format a result is written in: --format, else the output name's
// extension, else the input's own format.
codecs::Format OutputFormatFor(const std::string& output, const OutputSettings& settings, codecs::Format input);

// Why a result cannot be written in format (HEIC, AVIF), naming the
// formats that can.
std::string NotWritten(codecs::Format format);

// Writes the document's picture to path in format, in one step (the core's
// save does the writing), keeping the input's ICC profile and EXIF block
// where the format holds them ("-": standard output), unless settings.strip. Lossy formats use
// settings.quality, else codecs::kDefaultQuality; but a lossless WebP written as
// WebP without a quality stays lossless. written is the size of the file
// on success. A format read but not written is refused (NotWritten).
FileProblem SavePicture(const Document& document, const std::string& path, codecs::Format format,
                        const OutputSettings& settings, const PictureInput& input, int64_t& written);

} // namespace korvanti::batch
