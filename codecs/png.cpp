// PNG decoding and encoding. libpng reports errors by longjmp, so every
// step that may fail runs in a function of its own that holds no C++
// object needing destruction across the jump; the buffers live outside.
#include "codecs/png.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "codecs/exif.h"
#include "codecs/png_deflate.h"
#include "codecs/row_codecs.h"

namespace korvanti::codecs {
namespace {

constexpr png_alloc_size_t kLargestChunk = 8000000; // a chunk libpng reads whole, and a colour profile
constexpr int64_t kWorkingSlack = 16 << 20;         // the decoder's own buffers beyond half the BMP form

bool Stopped(const DecodeOptions& options) { return options.stop != nullptr && options.stop->load(std::memory_order_relaxed); }

struct Stream {
    ByteSource* in = nullptr;
    Bytes* header = nullptr; // when set, what is read is kept there too
    ByteSink* out = nullptr;
    char error[200] = "";
    bool profile_dropped = false; // libpng skipped a colour profile over kLargestChunk
};

Stream& StreamOf(png_structp png) { return *static_cast<Stream*>(png_get_io_ptr(png)); }

void OnError(png_structp png, png_const_charp message)
{
    auto* stream = static_cast<Stream*>(png_get_error_ptr(png));
    std::snprintf(stream->error, sizeof stream->error, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp png, png_const_charp message)
{
    if (std::strncmp(message, "iCCP", 4) == 0 && std::strstr(message, "exceeds application limits") != nullptr)
        static_cast<Stream*>(png_get_error_ptr(png))->profile_dropped = true;
}

void ReadFromSource(png_structp png, png_bytep data, size_t length)
{
    Stream& stream = StreamOf(png);
    for (size_t done = 0; done < length;) {
        const size_t got = stream.in->Read(data + done, length - done);
        if (got == 0)
            png_error(png, "the file ends early");
        done += got;
    }
    if (stream.header != nullptr)
        stream.header->insert(stream.header->end(), data, data + length);
}

void WriteToSink(png_structp png, png_bytep data, size_t length)
{
    Stream& stream = StreamOf(png);
    try {
        stream.out->Put(data, length);
    } catch (const std::bad_alloc&) {
        png_error(png, "out of memory");
    }
}

void FlushNothing(png_structp) {}

struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    Stream stream;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int channels = 0;
    int passes = 1;
    bool animated = false;
    Bytes icc;

    ~Reader() { png_destroy_read_struct(&png, &info, nullptr); }
};

// The header alone: nothing is allocated for the picture yet.
bool ReadInfo(Reader& r)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_set_user_limits(r.png, 0x7fffffff, 0x7fffffff);
    png_set_chunk_malloc_max(r.png, kLargestChunk);
    // Only the picture's own chunks and its colour profile are read; the
    // rest (text, above all: compressed text inflates) are skipped unread.
    // acTL, which marks an animation, is kept to be seen.
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    static constexpr png_byte kProfile[] = "iCCP";
    static constexpr png_byte kAnimation[] = "acTL";
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_AS_DEFAULT, kProfile, 1);
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_ALWAYS, kAnimation, 1);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Let the fuzzer's changes reach past the checksums.
    png_set_crc_action(r.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
    png_read_info(r.png, r.info);
    r.width = png_get_image_width(r.png, r.info);
    r.height = png_get_image_height(r.png, r.info);
    png_unknown_chunkp chunks = nullptr;
    r.animated = png_get_unknown_chunks(r.png, r.info, &chunks) > 0;
    return true;
}

// The transforms to 8-bit BGR(A); libpng sizes its row buffers here.
bool SetTransforms(Reader& r)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    const int colour = png_get_color_type(r.png, r.info);
    if (colour == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(r.png);
    if (colour == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(r.png, r.info) < 8)
        png_set_expand_gray_1_2_4_to_8(r.png);
    if (png_get_valid(r.png, r.info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(r.png);
    png_set_scale_16(r.png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(r.png);
    png_set_bgr(r.png);
    r.passes = png_get_interlace_type(r.png, r.info) == PNG_INTERLACE_ADAM7 ? png_set_interlace_handling(r.png) : 1;
    png_read_update_info(r.png, r.info);
    r.channels = png_get_channels(r.png, r.info);
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(r.png, r.info, &name, &compression, &profile, &length) != 0 && length > 0)
        r.icc.assign(profile, profile + length); // a bad_alloc here is caught by the caller
    return true;
}

// One row of the current pass; an interlaced pass writes only its own
// pixels of the row.
bool ReadRow(Reader& r, png_bytep row)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_read_row(r.png, row, nullptr);
    return true;
}

bool ReadEnd(Reader& r)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_read_end(r.png, nullptr);
    return true;
}

// The pixels first, first + step... of a BGRA row over white into BGR.
void Flatten(const uint8_t* bgra, uint8_t* bgr, png_uint_32 first, png_uint_32 step, png_uint_32 width)
{
    for (png_uint_32 x = first; x < width; x += step) {
        const unsigned alpha = bgra[4 * x + 3];
        for (int c = 0; c < 3; ++c)
            bgr[3 * x + c] = static_cast<uint8_t>((bgra[4 * x + c] * alpha + 255 * (255 - alpha) + 127) / 255);
    }
}

struct Writer {
    png_structp png = nullptr;
    png_infop info = nullptr;
    Stream stream;
    ~Writer() { png_destroy_write_struct(&png, &info); }
};

// The header chunks, up to the first row.
bool WriteHeader(Writer& w, int32_t width, int32_t height, std::span<const uint8_t> icc, std::span<const uint8_t> exif)
{
    if (setjmp(png_jmpbuf(w.png)))
        return false;
    png_set_write_fn(w.png, &w.stream, WriteToSink, FlushNothing);
    png_set_IHDR(w.png, w.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (!icc.empty()) {
        png_set_benign_errors(w.png, 1);
        png_set_iCCP(w.png, w.info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, icc.data(),
                     static_cast<png_uint_32>(icc.size()));
    }
    if (!exif.empty())
        png_set_eXIf_1(w.png, w.info, static_cast<png_uint_32>(exif.size()), const_cast<png_bytep>(exif.data()));
    png_write_info(w.png, w.info);
    return true;
}

// One chunk of the given name (the picture data, IDAT, is made apart).
bool WriteChunk(Writer& w, const char* name, const Bytes& data)
{
    if (setjmp(png_jmpbuf(w.png)))
        return false;
    png_write_chunk(w.png, reinterpret_cast<png_const_bytep>(name), data.data(), data.size());
    return true;
}

// What libpng's two row buffers take (at most 8 bytes a pixel while 16-bit
// samples are expanded) and the row flattened from, besides the BMP form.
int64_t RowMemory(const Reader& r)
{
    const int64_t deep = png_get_bit_depth(r.png, r.info) == 16 ? 8 : 4;
    return 2 * (int64_t{r.width} + 8) * deep + 4 * int64_t{r.width};
}

// The file's header read and its size checked: the picture's BMP size
// within options.limit, libpng's rows within half of it; then admitted.
FileProblem OpenReader(Reader& r, ByteSource& file, const DecodeOptions& options, int64_t& size)
{
    r.stream.in = &file;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.stream, OnError, OnWarning);
    r.info = r.png ? png_create_info_struct(r.png) : nullptr;
    if (!r.info)
        return OutOfMemoryProblem();
    png_set_read_fn(r.png, &r.stream, ReadFromSource);
    if (!ReadInfo(r))
        return Refusal(r.stream.error);
    const std::optional<int64_t> bitmap_size = BitmapSize(r.width, r.height, options.limit);
    if (!bitmap_size)
        return TooLargeProblem(r.width, r.height);
    if (RowMemory(r) > *bitmap_size / 2 + kWorkingSlack)
        return {FileProblemKind::TooLarge, 0, 0, "the rows need more memory than the picture's size allows"};
    if (options.admit && !options.admit(*bitmap_size))
        return {FileProblemKind::Interrupted};
    size = *bitmap_size;
    return {};
}

// What the batch tool tells of the file besides its pixels.
std::string Notes(const Reader& r)
{
    std::string notes;
    for (const char* note : {r.animated ? "animated: first frame only" : nullptr,
                             r.stream.profile_dropped ? "colour profile over 8 MB dropped" : nullptr})
        if (note != nullptr)
            notes += (notes.empty() ? "" : "; ") + std::string(note);
    return notes;
}

// Every row of every pass into the BMP form, heeding the stop request
// between rows; then the end of the file.
FileProblem ReadPixels(Reader& r, Decoded& decoded, Bytes& scratch, const DecodeOptions& options)
{
    const int64_t stride = RowStride(r.width);
    uint8_t* const bottom_row = decoded.bitmap.data() + kHeaderBytes;
    const bool alpha = r.channels == 4;
    for (int pass = 0; pass < r.passes; ++pass) {
        const png_uint_32 first = r.passes > 1 ? PNG_PASS_START_COL(pass) : 0;
        const png_uint_32 step = r.passes > 1 ? PNG_PASS_COL_OFFSET(pass) : 1;
        for (png_uint_32 y = 0; y < r.height; ++y) {
            if (Stopped(options))
                return {FileProblemKind::Interrupted};
            uint8_t* stored = bottom_row + (int64_t{r.height} - 1 - y) * stride;
            if (!ReadRow(r, alpha ? scratch.data() : stored))
                return Refusal(r.stream.error);
            if (alpha && (r.passes == 1 || PNG_ROW_IN_INTERLACE_PASS(y, pass)))
                Flatten(scratch.data(), stored, first, step, r.width);
        }
    }
    return ReadEnd(r) ? FileProblem{} : Refusal(r.stream.error);
}

} // namespace

FileProblem DecodePng(std::span<const uint8_t> file, Decoded& decoded, const DecodeOptions& options)
{
    MemorySource source(file);
    Reader r;
    int64_t size = 0;
    if (FileProblem problem = OpenReader(r, source, options, size); !problem.ok())
        return problem;
    Decoded result;
    Bytes scratch;
    try {
        if (!SetTransforms(r))
            return Refusal(r.stream.error);
        result.icc = std::move(r.icc);
        if (Stopped(options))
            return {FileProblemKind::Interrupted};
        result.bitmap = NewBitmap(static_cast<int32_t>(r.width), static_cast<int32_t>(r.height), size);
        scratch.resize(r.channels == 4 ? size_t{r.width} * 4 : 0);
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    if (FileProblem problem = ReadPixels(r, result, scratch, options); !problem.ok())
        return problem;
    result.width = static_cast<int32_t>(r.width);
    result.height = static_cast<int32_t>(r.height);
    result.alpha_composited = r.channels == 4;
    result.note = Notes(r);
    decoded = std::move(result);
    return {};
}

namespace {

// A decode a row at a time, from the top, of a picture stored without interlace.
class PngRowDecoder : public RowDecoder {
public:
    FileProblem Open(ByteSource& file, const DecodeOptions& options, bool& by_rows)
    {
        int64_t size = 0;
        Bytes header; // up to the first IDAT chunk, for the EXIF block
        r_.stream.header = &header;
        if (FileProblem problem = OpenReader(r_, file, options, size); !problem.ok())
            return problem;
        r_.stream.header = nullptr;
        try {
            if (!SetTransforms(r_))
                return Refusal(r_.stream.error);
            // A PNG turned by its EXIF block is turned whole.
            const std::span<const uint8_t> tiff = ExifTiff(PngExif(header));
            by_rows = r_.passes == 1 && ExifOrientation(tiff) == 1;
            exif = UprightExif(tiff);
            if (Stopped(options))
                return {FileProblemKind::Interrupted};
            scratch_.resize(r_.channels == 4 ? size_t{r_.width} * 4 : 0);
            icc = std::move(r_.icc);
        } catch (const std::bad_alloc&) {
            return OutOfMemoryProblem();
        }
        width = static_cast<int32_t>(r_.width);
        height = static_cast<int32_t>(r_.height);
        alpha_composited = r_.channels == 4;
        library_memory = RowMemory(r_);
        note = Notes(r_);
        return {};
    }

    FileProblem ReadRow(uint8_t* row) override
    {
        const bool alpha = r_.channels == 4;
        if (!::korvanti::codecs::ReadRow(r_, alpha ? scratch_.data() : row))
            return Refusal(r_.stream.error);
        if (alpha)
            Flatten(scratch_.data(), row, 0, 1, r_.width);
        return {};
    }

    FileProblem Finish() override { return ReadEnd(r_) ? FileProblem{} : Refusal(r_.stream.error); }

private:
    Reader r_;
    Bytes scratch_;
};

// libpng writes the chunks; the picture data is made by an IdatStream:
// speed over the last few per cent of size, one cheap filter (SUB) and the
// fastest deflate, run-length matches only.
class PngRowEncoder : public RowEncoder {
public:
    PngRowEncoder(int32_t width, int32_t height)
        : idat_(width, height, [this](const Bytes& data) { return WriteChunk(w_, "IDAT", data); })
    {
    }

    FileProblem Open(int32_t width, int32_t height, std::span<const uint8_t> icc, std::span<const uint8_t> exif,
                     ByteSink& out)
    {
        w_.stream.out = &out;
        w_.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w_.stream, OnError, OnWarning);
        w_.info = w_.png ? png_create_info_struct(w_.png) : nullptr;
        if (!w_.info)
            return OutOfMemoryProblem();
        return WriteHeader(w_, width, height, icc, exif) ? FileProblem{} : Failure();
    }
    FileProblem WriteRow(const uint8_t* row) override { return idat_.AddRow(row) ? FileProblem{} : Failure(); }
    FileProblem Finish() override
    {
        return idat_.Finish() && WriteChunk(w_, "IEND", {}) ? FileProblem{} : Failure();
    }

private:
    FileProblem Failure() const
    {
        if (!idat_.problem().ok() && w_.stream.error[0] == '\0')
            return idat_.problem();
        return {FileProblemKind::EncodeFailed, 0, 0, w_.stream.error};
    }

    Writer w_;
    IdatStream idat_; // ends before w_: its threads are through before libpng's state goes
};

} // namespace

FileProblem OpenPngRowDecoder(ByteSource& png, const DecodeOptions& options, std::unique_ptr<RowDecoder>& decoder)
{
    return OpenDecoderByRows<PngRowDecoder>(png, options, decoder);
}

FileProblem OpenPngRowEncoder(int32_t width, int32_t height, std::span<const uint8_t> icc,
                              std::span<const uint8_t> exif, ByteSink& out, std::unique_ptr<RowEncoder>& encoder)
{
    auto opened = std::make_unique<PngRowEncoder>(width, height);
    if (FileProblem problem = opened->Open(width, height, icc, exif, out); !problem.ok())
        return problem;
    encoder = std::move(opened);
    return {};
}

FileProblem EncodePng(const BitmapRows& rows, std::span<const uint8_t> icc, Bytes& out, std::span<const uint8_t> exif)
{
    out.clear();
    try {
        // Room for the worst case (stored blocks), so the buffer never moves.
        const size_t raw = static_cast<size_t>(rows.width * 3 + 1) * static_cast<size_t>(rows.height);
        out.reserve(raw + raw / 1000 + 1024 + icc.size() + exif.size());
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    AppendingSink sink(out);
    std::unique_ptr<RowEncoder> encoder;
    if (FileProblem problem = OpenPngRowEncoder(rows.width, rows.height, icc, exif, sink, encoder); !problem.ok())
        return problem;
    return EncodeRows(*encoder, rows);
}

} // namespace korvanti::codecs
