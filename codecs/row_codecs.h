// JPEG and PNG decoded and encoded a row at a time, top row first, each row
// in the pixel form of a BMP row (BGR triples; the padding up to
// RowStride(width) is the caller's): what lets the batch tool read, work on
// and write a picture at once, holding a few of its rows instead of all.
// The whole-picture encoders are built on the row encoders, so both give
// the same bytes.
#pragma once

#include <algorithm>
#include <memory>
#include <span>
#include <string>

#include "codecs/codecs.h"
#include "codecs/format.h"
#include "image/save_stream.h"

namespace korvanti::codecs {

// Where a row decoder reads its file: the bytes in order from the start,
// a piece at a time, so that the file need not be in memory whole.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The next bytes, up to size of them; 0 at the end of the file.
    virtual size_t Read(uint8_t* into, size_t size) = 0;
};

// A file in memory as a source.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    size_t Read(uint8_t* into, size_t size) override
    {
        size = std::min(size, bytes_.size() - at_);
        std::copy_n(bytes_.data() + at_, size, into);
        at_ += size;
        return size;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

class RowDecoder {
public:
    virtual ~RowDecoder() = default;
    // The next row from the top: exactly what the whole decode puts in that
    // row, or the failure the whole decode would have met there.
    virtual FileProblem ReadRow(uint8_t* row) = 0;
    // After the last row: the rest of the file read as the whole decode reads it.
    virtual FileProblem Finish() = 0;

    int32_t width = 0;
    int32_t height = 0;
    Bytes icc;
    Bytes exif; // as Decoded::exif
    bool alpha_composited = false;
    std::string note;
    int64_t library_memory = 0; // what the library holds besides a few rows (a multi-scan JPEG's coefficients)
};

// Opens file (JPEG or PNG) for reading by rows; the decoder reads on from
// it as rows are asked for, so it must outlive the decoder. decoder stays
// empty, with kind None, for a file that cannot be read by rows and whole
// (an interlaced PNG, a picture turned by its EXIF orientation, another
// format); on any refusal the whole decode gives the same refusal.
FileProblem OpenRowDecoder(Format format, ByteSource& file, const DecodeOptions& options,
                           std::unique_ptr<RowDecoder>& decoder);

class RowEncoder {
public:
    virtual ~RowEncoder() = default;
    // The next row from the top; the encoded bytes go to the sink as they
    // are made.
    virtual FileProblem WriteRow(const uint8_t* row) = 0;
    // After the last row: the end of the file.
    virtual FileProblem Finish() = 0;
};

// Starts a JPEG or PNG file of width x height in out, as Encode would write
// it; EncodeFailed for another format.
FileProblem OpenRowEncoder(Format format, int32_t width, int32_t height, const EncodeSettings& settings,
                           std::span<const uint8_t> icc, std::span<const uint8_t> exif, ByteSink& out,
                           std::unique_ptr<RowEncoder>& encoder);

// Appends what it is given to a byte string.
class AppendingSink : public ByteSink {
public:
    explicit AppendingSink(Bytes& out) : out_(out) {}
    void Put(const uint8_t* bytes, size_t size) override { out_.insert(out_.end(), bytes, bytes + size); }

private:
    Bytes& out_;
};

// A whole picture through a row encoder, bottom-up rows as BitmapRows holds them.
FileProblem EncodeRows(RowEncoder& encoder, const BitmapRows& rows);

// The row codecs of each format (OpenRowDecoder and OpenRowEncoder choose).
// A format's decoder opens with Open(file, options, by_rows), by_rows set
// when the file can be read by rows; OpenDecoderByRows keeps it only then.
template <class Decoder>
FileProblem OpenDecoderByRows(ByteSource& file, const DecodeOptions& options, std::unique_ptr<RowDecoder>& decoder)
{
    auto opened = std::make_unique<Decoder>();
    bool by_rows = false;
    if (FileProblem problem = opened->Open(file, options, by_rows); !problem.ok() || !by_rows)
        return problem;
    decoder = std::move(opened);
    return {};
}
FileProblem OpenJpegRowDecoder(ByteSource& jpeg, const DecodeOptions& options, std::unique_ptr<RowDecoder>& decoder);
FileProblem OpenPngRowDecoder(ByteSource& png, const DecodeOptions& options, std::unique_ptr<RowDecoder>& decoder);
FileProblem OpenJpegRowEncoder(int32_t width, int32_t height, int quality, std::span<const uint8_t> icc,
                               std::span<const uint8_t> exif, ByteSink& out, std::unique_ptr<RowEncoder>& encoder);
FileProblem OpenPngRowEncoder(int32_t width, int32_t height, std::span<const uint8_t> icc,
                              std::span<const uint8_t> exif, ByteSink& out, std::unique_ptr<RowEncoder>& encoder);

} // namespace korvanti::codecs
