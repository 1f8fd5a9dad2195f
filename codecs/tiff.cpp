// TIFF decoding and encoding on memory through libtiff's client I/O, with
// the library's messages caught per file (not through its global handler,
// which every thread shares). The usual layouts are read a row at a time
// straight into the BMP rows; the rest go through libtiff's RGBA reader.
#include "codecs/tiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "codecs/rows.h"

namespace korvanti::codecs {
namespace {

// The file in memory as libtiff sees it, and the first error it reported.
struct Stream {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t at = 0;
    Bytes* out = nullptr; // writing
    char error[240] = "";
};

Stream& StreamOf(thandle_t handle) { return *static_cast<Stream*>(handle); }

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size)
{
    Stream& s = StreamOf(handle);
    const size_t count = s.at < s.size ? std::min(static_cast<size_t>(size), s.size - s.at) : 0;
    std::memcpy(buffer, s.data + s.at, count);
    s.at += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size)
{
    Stream& s = StreamOf(handle);
    if (s.out == nullptr)
        return 0;
    try {
        if (s.out->size() < s.at + static_cast<size_t>(size))
            s.out->resize(s.at + static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::memcpy(s.out->data() + s.at, buffer, static_cast<size_t>(size));
    s.at += static_cast<size_t>(size);
    s.data = s.out->data();
    s.size = s.out->size();
    return size;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence)
{
    Stream& s = StreamOf(handle);
    const uint64_t base = whence == SEEK_CUR ? s.at : whence == SEEK_END ? s.size : 0;
    s.at = static_cast<size_t>(base + offset);
    return s.at;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return StreamOf(handle).size; }

int MapProc(thandle_t handle, void** base, toff_t* size)
{
    Stream& s = StreamOf(handle);
    if (s.out != nullptr)
        return 0;
    *base = const_cast<uint8_t*>(s.data);
    *size = s.size;
    return 1;
}

void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char* module, const char* format, va_list args)
{
    Stream& s = *static_cast<Stream*>(user);
    if (s.error[0] == '\0') {
        char message[200];
        std::vsnprintf(message, sizeof message, format, args);
        std::snprintf(s.error, sizeof s.error, "%s%s%s", module ? module : "", module ? ": " : "", message);
    }
    return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using Handle = std::unique_ptr<TIFF, TiffCloser>;

Handle Open(Stream& stream, const char* mode)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &stream);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &stream);
    Handle tif(TIFFClientOpenExt("memory", mode, &stream, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                 MapProc, UnmapProc, options));
    TIFFOpenOptionsFree(options);
    return tif;
}

FileProblem ReadRefusal(const Stream& stream, const char* otherwise)
{
    return Refusal(stream.error[0] != '\0' ? stream.error : otherwise);
}

// What the row reader needs to know of a page.
struct Layout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bits = 8;
    uint16_t samples = 1;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    int colours = 1;  // 1 grey or palette index, 3 RGB
    int alpha = -1;   // the alpha sample's index, or -1
    bool associated = false;
    const uint16_t* map[3] = {}; // palette
};

// The usual layouts, which the row reader takes: contiguous 8- or 16-bit
// grey, RGB (JPEG's YCbCr turned to RGB by libtiff) or 8-bit palette, each
// with or without alpha, in strips.
bool ReadsByRows(TIFF* tif, Layout& l)
{
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric) || TIFFIsTiled(tif) ||
        planar != PLANARCONFIG_CONTIG || (l.bits != 8 && l.bits != 16))
        return false;
    if (l.photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG && l.bits == 8) {
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        l.photometric = PHOTOMETRIC_RGB;
    }
    if (l.photometric == PHOTOMETRIC_PALETTE) {
        if (l.bits != 8 || !TIFFGetField(tif, TIFFTAG_COLORMAP, &l.map[0], &l.map[1], &l.map[2]))
            return false;
    } else if (l.photometric == PHOTOMETRIC_RGB) {
        l.colours = 3;
    } else if (l.photometric != PHOTOMETRIC_MINISBLACK) {
        return false;
    }
    if (l.samples < l.colours)
        return false;
    uint16_t extra_count = 0;
    uint16_t* extra = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
    if (extra_count > 0 && (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA)) {
        l.alpha = l.colours;
        l.associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
    } else if (extra_count == 0 && l.colours == 3 && l.samples == 4) {
        l.alpha = 3; // as libtiff reads such files: premultiplied alpha
        l.associated = true;
    }
    return l.alpha < 0 || l.alpha < l.samples;
}

uint8_t SampleOf(const uint8_t* row, size_t index, uint16_t bits)
{
    if (bits == 8)
        return row[index];
    uint16_t sample;
    std::memcpy(&sample, row + 2 * index, 2);
    return Round16(sample);
}

// One stored row of samples into BGR.
void ConvertRow(const uint8_t* samples, const Layout& l, uint8_t* bgr)
{
    for (uint32_t x = 0; x < l.width; ++x) {
        const size_t first = size_t{x} * l.samples;
        uint8_t rgb[3];
        if (l.map[0] != nullptr) {
            const uint8_t index = samples[first];
            for (int c = 0; c < 3; ++c)
                rgb[c] = Round16(l.map[c][index]);
        } else {
            for (int c = 0; c < 3; ++c)
                rgb[c] = SampleOf(samples, first + (l.colours == 3 ? size_t(c) : 0), l.bits);
        }
        const unsigned alpha = l.alpha < 0 ? 255 : SampleOf(samples, first + size_t(l.alpha), l.bits);
        for (int c = 0; c < 3; ++c) {
            const unsigned colour = rgb[2 - c];
            bgr[3 * x + c] = l.associated ? static_cast<uint8_t>(std::min(255u, colour + 255 - alpha))
                                          : OverWhite(colour, alpha);
        }
    }
}

// Where stored row y goes: the BMP row when nothing is turned, else a row
// of the upright copy.
struct Target {
    Bytes& bitmap;
    uint8_t* upright = nullptr;
    int64_t width = 0;
    int64_t height = 0;

    uint8_t* Row(int64_t y) const
    {
        return upright != nullptr ? upright + y * width * 3
                                  : bitmap.data() + kHeaderBytes + (height - 1 - y) * RowStride(width);
    }
};

FileProblem ReadRows(TIFF* tif, const Layout& l, const Target& target, const Stream& stream,
                     const DecodeOptions& options)
{
    const tmsize_t line = TIFFScanlineSize(tif);
    if (line < static_cast<tmsize_t>(size_t{l.width} * l.samples * (l.bits / 8u)))
        return ReadRefusal(stream, "the TIFF row size is wrong");
    Bytes samples(static_cast<size_t>(line));
    for (uint32_t y = 0; y < l.height; ++y) {
        if (StopAsked(options))
            return StoppedProblem();
        if (TIFFReadScanline(tif, samples.data(), y, 0) < 0)
            return ReadRefusal(stream, "a TIFF row cannot be read");
        ConvertRow(samples.data(), l, target.Row(y));
    }
    return {};
}

// Any other layout libtiff can read: the whole page as premultiplied RGBA
// in the order the rows are stored.
FileProblem ReadRgba(TIFF* tif, const Layout& l, const Target& target, const Stream& stream,
                     const DecodeOptions& options)
{
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tif, message))
        return Refusal(message);
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tif, 0, message))
        return Refusal(message);
    image.req_orientation = image.orientation; // the stored order; the turn comes after
    std::vector<uint32_t> raster(size_t{l.width} * l.height);
    const int got = TIFFRGBAImageGet(&image, raster.data(), l.width, l.height);
    TIFFRGBAImageEnd(&image);
    if (!got)
        return ReadRefusal(stream, "the TIFF picture cannot be read");
    for (uint32_t y = 0; y < l.height; ++y) {
        if (StopAsked(options))
            return StoppedProblem();
        uint8_t* bgr = target.Row(y);
        const uint32_t* pixel = raster.data() + size_t{y} * l.width;
        for (uint32_t x = 0; x < l.width; ++x) {
            const unsigned rest = 255 - TIFFGetA(pixel[x]);
            bgr[3 * x] = static_cast<uint8_t>(std::min(255u, TIFFGetB(pixel[x]) + rest));
            bgr[3 * x + 1] = static_cast<uint8_t>(std::min(255u, TIFFGetG(pixel[x]) + rest));
            bgr[3 * x + 2] = static_cast<uint8_t>(std::min(255u, TIFFGetR(pixel[x]) + rest));
        }
    }
    return {};
}

bool HasAlpha(TIFF* tif)
{
    uint16_t count = 0;
    uint16_t* types = nullptr;
    uint16_t samples = 1;
    uint16_t photometric = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &count, &types);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    return (count > 0 && (types[0] == EXTRASAMPLE_ASSOCALPHA || types[0] == EXTRASAMPLE_UNASSALPHA)) ||
           (count == 0 && samples == 4 && photometric == PHOTOMETRIC_RGB);
}

} // namespace

FileProblem DecodeTiff(std::span<const uint8_t> file, Decoded& decoded, const DecodeOptions& options)
{
    Stream stream;
    stream.data = file.data();
    stream.size = file.size();
    const Handle tif = Open(stream, "r");
    if (!tif)
        return ReadRefusal(stream, "not a readable TIFF file");
    const tdir_t pages = TIFFNumberOfDirectories(tif.get());
    if (!TIFFSetDirectory(tif.get(), 0))
        return ReadRefusal(stream, "the first TIFF page cannot be read");
    Layout l;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &l.width) || !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &l.height))
        return ReadRefusal(stream, "the TIFF page has no size");
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    if (orientation < 1 || orientation > 8)
        orientation = 1;
    const int64_t out_w = SwapsSides(orientation) ? l.height : l.width;
    const int64_t out_h = SwapsSides(orientation) ? l.width : l.height;
    int64_t size = 0;
    if (FileProblem admitted = AdmitPicture(out_w, out_h, options, size); !admitted.ok())
        return admitted;

    Decoded result;
    std::unique_ptr<uint8_t[]> upright;
    try {
        uint32_t icc_size = 0;
        void* icc = nullptr;
        if (TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &icc_size, &icc) && icc_size > 0)
            result.icc.assign(static_cast<uint8_t*>(icc), static_cast<uint8_t*>(icc) + icc_size);
        result.bitmap = NewBitmap(static_cast<int32_t>(out_w), static_cast<int32_t>(out_h), size);
        if (orientation != 1)
            upright.reset(new uint8_t[size_t{l.width} * l.height * 3]);
        const Target target{result.bitmap, upright.get(), l.width, l.height};
        const FileProblem problem = ReadsByRows(tif.get(), l) ? ReadRows(tif.get(), l, target, stream, options)
                                                              : ReadRgba(tif.get(), l, target, stream, options);
        if (!problem.ok())
            return problem;
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    if (upright)
        PlaceTurned(upright.get(), l.width, l.height, int64_t{l.width} * 3, orientation, result.bitmap);
    result.width = static_cast<int32_t>(out_w);
    result.height = static_cast<int32_t>(out_h);
    result.alpha_composited = HasAlpha(tif.get());
    if (pages > 1)
        result.note = "first page of " + std::to_string(pages);
    decoded = std::move(result);
    return {};
}

FileProblem EncodeTiff(const BitmapRows& rows, std::span<const uint8_t> icc, Bytes& out)
{
    out.clear();
    Stream stream;
    stream.out = &out;
    Handle tif = Open(stream, "w");
    if (!tif)
        return {FileProblemKind::EncodeFailed, 0, 0, stream.error};
    TIFF* t = tif.get();
    const uint32_t rows_per_strip = std::max<uint32_t>(1, static_cast<uint32_t>((256 << 10) / (rows.width * 3 + 1)));
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(rows.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(rows.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
    if (!icc.empty())
        TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(icc.size()), icc.data());
    Bytes rgb;
    try {
        rgb.resize(static_cast<size_t>(rows.width) * 3);
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    for (int32_t y = 0; y < rows.height; ++y) {
        const uint8_t* bgr = rows.first_row + (int64_t{rows.height} - 1 - y) * rows.stride;
        for (int64_t x = 0; x < rows.width; ++x) {
            rgb[3 * x] = bgr[3 * x + 2];
            rgb[3 * x + 1] = bgr[3 * x + 1];
            rgb[3 * x + 2] = bgr[3 * x];
        }
        if (TIFFWriteScanline(t, rgb.data(), static_cast<uint32_t>(y), 0) < 0)
            return {FileProblemKind::EncodeFailed, 0, 0, stream.error[0] ? stream.error : "a TIFF row cannot be written"};
    }
    const bool written = TIFFWriteDirectory(t) != 0;
    tif.reset(); // flushes
    if (!written || stream.error[0] != '\0')
        return {FileProblemKind::EncodeFailed, 0, 0, stream.error[0] ? stream.error : "the TIFF file cannot be finished"};
    return {};
}

} // namespace korvanti::codecs
