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

namespace korvanti::codecs {
namespace {

struct Stream {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t at = 0;
    Bytes* out = nullptr;
    char error[200] = "";
};

Stream& StreamOf(png_structp png) { return *static_cast<Stream*>(png_get_io_ptr(png)); }

void OnError(png_structp png, png_const_charp message)
{
    auto* stream = static_cast<Stream*>(png_get_error_ptr(png));
    std::snprintf(stream->error, sizeof stream->error, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep data, size_t length)
{
    Stream& stream = StreamOf(png);
    if (length > stream.size - stream.at)
        png_error(png, "the file ends early");
    std::memcpy(data, stream.data + stream.at, length);
    stream.at += length;
}

void WriteToMemory(png_structp png, png_bytep data, size_t length)
{
    Stream& stream = StreamOf(png);
    try {
        stream.out->insert(stream.out->end(), data, data + length);
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
    bool interlaced = false;
    Bytes icc;

    ~Reader() { png_destroy_read_struct(&png, &info, nullptr); }
};

// The header alone: nothing is allocated for the picture yet.
bool ReadInfo(Reader& r)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_set_user_limits(r.png, 0x7fffffff, 0x7fffffff);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Let the fuzzer's changes reach past the checksums.
    png_set_crc_action(r.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
    png_read_info(r.png, r.info);
    r.width = png_get_image_width(r.png, r.info);
    r.height = png_get_image_height(r.png, r.info);
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
    r.interlaced = png_set_interlace_handling(r.png) > 1;
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

// Every row, into rows[] (in picture order), then the end of the file.
bool ReadRows(Reader& r, png_bytep* rows)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_read_image(r.png, rows);
    png_read_end(r.png, nullptr);
    return true;
}

// One row of every pass at a time (non-interlaced files only).
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

// BGRA row over white into BGR.
void Flatten(const uint8_t* bgra, uint8_t* bgr, png_uint_32 width)
{
    for (png_uint_32 x = 0; x < width; ++x) {
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

bool WriteAll(Writer& w, const BitmapRows& rows, std::span<const uint8_t> icc, std::span<const uint8_t> exif,
              png_bytep* row_pointers)
{
    if (setjmp(png_jmpbuf(w.png)))
        return false;
    png_set_write_fn(w.png, &w.stream, WriteToMemory, FlushNothing);
    png_set_IHDR(w.png, w.info, static_cast<png_uint_32>(rows.width), static_cast<png_uint_32>(rows.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (!icc.empty()) {
        png_set_benign_errors(w.png, 1);
        png_set_iCCP(w.png, w.info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, icc.data(),
                     static_cast<png_uint_32>(icc.size()));
    }
    if (!exif.empty())
        png_set_eXIf_1(w.png, w.info, static_cast<png_uint_32>(exif.size()), const_cast<png_bytep>(exif.data()));
    // Speed over the last few per cent of size: one cheap filter and the
    // fastest deflate, run-length matches only.
    png_set_filter(w.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(w.png, 1);
    png_set_compression_strategy(w.png, Z_RLE);
    png_set_bgr(w.png);
    png_write_info(w.png, w.info);
    png_write_image(w.png, row_pointers);
    png_write_end(w.png, nullptr);
    return true;
}

// The buffers a decode needs besides libpng's own: the BMP form, and for a
// picture with alpha a row (or, interlaced, every row) to flatten from.
struct PixelBuffers {
    Bytes scratch;
    std::vector<png_bytep> rows;
};

FileProblem AllocateFor(const Reader& r, int64_t size, Decoded& decoded, PixelBuffers& buffers)
{
    const bool alpha = r.channels == 4;
    try {
        decoded.bitmap = NewBitmap(static_cast<int32_t>(r.width), static_cast<int32_t>(r.height), size);
        if (alpha)
            buffers.scratch.resize(size_t{r.width} * 4 * (r.interlaced ? r.height : 1));
        if (!alpha || r.interlaced)
            buffers.rows.resize(r.height);
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    return {};
}

// Every row into the BMP form, bottom row last in the file's order.
bool ReadPixels(Reader& r, Decoded& decoded, PixelBuffers& buffers)
{
    const int64_t stride = RowStride(r.width);
    uint8_t* const bottom_row = decoded.bitmap.data() + kHeaderBytes;
    auto stored_row = [&](png_uint_32 y) { return bottom_row + (int64_t{r.height} - 1 - y) * stride; };
    if (r.channels != 4) {
        for (png_uint_32 y = 0; y < r.height; ++y)
            buffers.rows[y] = stored_row(y);
        return ReadRows(r, buffers.rows.data());
    }
    if (r.interlaced) {
        for (png_uint_32 y = 0; y < r.height; ++y)
            buffers.rows[y] = buffers.scratch.data() + size_t{y} * r.width * 4;
        if (!ReadRows(r, buffers.rows.data()))
            return false;
        for (png_uint_32 y = 0; y < r.height; ++y)
            Flatten(buffers.rows[y], stored_row(y), r.width);
        return true;
    }
    for (png_uint_32 y = 0; y < r.height; ++y) {
        if (!ReadRow(r, buffers.scratch.data()))
            return false;
        Flatten(buffers.scratch.data(), stored_row(y), r.width);
    }
    return ReadEnd(r);
}

} // namespace

FileProblem DecodePng(std::span<const uint8_t> file, Decoded& decoded, const DecodeOptions& options)
{
    Reader r;
    r.stream.data = file.data();
    r.stream.size = file.size();
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.stream, OnError, OnWarning);
    r.info = r.png ? png_create_info_struct(r.png) : nullptr;
    if (!r.info)
        return OutOfMemoryProblem();
    png_set_read_fn(r.png, &r.stream, ReadFromMemory);
    if (!ReadInfo(r))
        return Refusal(r.stream.error);
    const std::optional<int64_t> size = BitmapSize(r.width, r.height, options.limit);
    if (!size)
        return TooLargeProblem(r.width, r.height);
    Decoded result;
    PixelBuffers buffers;
    try {
        if (!SetTransforms(r))
            return Refusal(r.stream.error);
        result.icc = std::move(r.icc);
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    if (FileProblem problem = AllocateFor(r, *size, result, buffers); !problem.ok())
        return problem;
    if (!ReadPixels(r, result, buffers))
        return Refusal(r.stream.error);
    result.width = static_cast<int32_t>(r.width);
    result.height = static_cast<int32_t>(r.height);
    result.alpha_composited = r.channels == 4;
    decoded = std::move(result);
    return {};
}

FileProblem EncodePng(const BitmapRows& rows, std::span<const uint8_t> icc, Bytes& out, std::span<const uint8_t> exif)
{
    Writer w;
    w.stream.out = &out;
    out.clear();
    std::vector<png_bytep> row_pointers;
    try {
        row_pointers.resize(static_cast<size_t>(rows.height));
        // Room for the worst case (stored blocks), so the buffer never moves.
        const size_t raw = static_cast<size_t>(rows.width * 3 + 1) * static_cast<size_t>(rows.height);
        out.reserve(raw + raw / 1000 + 1024 + icc.size() + exif.size());
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    for (int32_t y = 0; y < rows.height; ++y)
        row_pointers[static_cast<size_t>(y)] =
            const_cast<png_bytep>(rows.first_row + (int64_t{rows.height} - 1 - y) * rows.stride);
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w.stream, OnError, OnWarning);
    w.info = w.png ? png_create_info_struct(w.png) : nullptr;
    if (!w.info)
        return OutOfMemoryProblem();
    if (!WriteAll(w, rows, icc, exif, row_pointers.data()))
        return {FileProblemKind::EncodeFailed, 0, 0, w.stream.error};
    return {};
}

} // namespace korvanti::codecs
