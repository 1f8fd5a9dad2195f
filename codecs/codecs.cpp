// Each format's decoder and encoder, chosen by the format.
#include "codecs/codecs.h"

#include <new>

#include "codecs/exif.h"
#include "codecs/heif.h"
#include "codecs/jpeg.h"
#include "codecs/png.h"
#include "codecs/row_codecs.h"
#include "codecs/rows.h"
#include "codecs/tiff.h"
#include "codecs/webp.h"

namespace korvanti::codecs {
namespace {

// A decoded PNG turned as its eXIf orientation says (rows are read
// upwards from the top one, so the turn needs no copy of its own).
FileProblem TurnPng(Decoded& decoded, int orientation, int64_t limit)
{
    const int32_t out_w = SwapsSides(orientation) ? decoded.height : decoded.width;
    const int32_t out_h = SwapsSides(orientation) ? decoded.width : decoded.height;
    const std::optional<int64_t> size = BitmapSize(out_w, out_h, limit);
    if (!size)
        return TooLargeProblem(decoded.width, decoded.height);
    Bytes turned = NewBitmap(out_w, out_h, *size);
    const int64_t stride = RowStride(decoded.width);
    const uint8_t* top = decoded.bitmap.data() + kHeaderBytes + (int64_t{decoded.height} - 1) * stride;
    PlaceTurned(top, decoded.width, decoded.height, -stride, orientation, turned);
    decoded.bitmap = std::move(turned);
    decoded.width = out_w;
    decoded.height = out_h;
    return {};
}

// The EXIF block of a decoded PNG, which libpng's decode leaves out, and
// the pixels turned as its orientation says.
FileProblem AddPngExif(FileProblem problem, std::span<const uint8_t> file, Decoded& decoded, int64_t limit)
{
    if (!problem.ok())
        return problem;
    try {
        const std::span<const uint8_t> exif = ExifTiff(PngExif(file));
        if (const int orientation = ExifOrientation(exif); orientation != 1)
            problem = TurnPng(decoded, orientation, limit);
        decoded.exif = UprightExif(exif);
    } catch (const std::bad_alloc&) {
        problem = OutOfMemoryProblem();
    }
    if (!problem.ok())
        decoded = {};
    return problem;
}

} // namespace

bool CanDecode(Format format) { return format != Format::Unknown && format != Format::Bmp; }

bool CanEncode(Format format)
{
    return format == Format::Jpeg || format == Format::Png || format == Format::Webp || format == Format::Tiff;
}

FileProblem Decode(Format format, std::span<const uint8_t> file, Decoded& decoded, const DecodeOptions& options)
{
    switch (format) {
    case Format::Jpeg:
        return DecodeJpeg(file, decoded, options);
    case Format::Png:
        return AddPngExif(DecodePng(file, decoded, options), file, decoded, options.limit);
    case Format::Webp:
        return DecodeWebp(file, decoded, options);
    case Format::Tiff:
        return DecodeTiff(file, decoded, options);
    case Format::Heic:
    case Format::Avif:
        return DecodeHeif(file, decoded, options);
    default:
        return {FileProblemKind::NotBitmap};
    }
}

FileProblem Encode(Format format, const BitmapRows& rows, const EncodeSettings& settings,
                   std::span<const uint8_t> icc, std::span<const uint8_t> exif, Bytes& out)
{
    switch (format) {
    case Format::Jpeg:
        return EncodeJpeg(rows, settings.quality, icc, out, exif);
    case Format::Png:
        return EncodePng(rows, icc, out, exif);
    case Format::Webp:
        return EncodeWebp(rows, settings, icc, exif, out);
    case Format::Tiff:
        return EncodeTiff(rows, icc, out);
    default:
        return {FileProblemKind::EncodeFailed, 0, 0, "no encoder for this format"};
    }
}

FileProblem OpenRowDecoder(Format format, ByteSource& file, const DecodeOptions& options,
                           std::unique_ptr<RowDecoder>& decoder)
{
    decoder.reset();
    switch (format) {
    case Format::Jpeg:
        return OpenJpegRowDecoder(file, options, decoder);
    case Format::Png:
        return OpenPngRowDecoder(file, options, decoder);
    default:
        return {};
    }
}

FileProblem OpenRowEncoder(Format format, int32_t width, int32_t height, const EncodeSettings& settings,
                           std::span<const uint8_t> icc, std::span<const uint8_t> exif, ByteSink& out,
                           std::unique_ptr<RowEncoder>& encoder)
{
    switch (format) {
    case Format::Jpeg:
        return OpenJpegRowEncoder(width, height, settings.quality, icc, exif, out, encoder);
    case Format::Png:
        return OpenPngRowEncoder(width, height, icc, exif, out, encoder);
    default:
        return {FileProblemKind::EncodeFailed, 0, 0, "no row encoder for this format"};
    }
}

FileProblem EncodeRows(RowEncoder& encoder, const BitmapRows& rows)
{
    for (int64_t y = rows.height - 1; y >= 0; --y)
        if (FileProblem problem = encoder.WriteRow(rows.first_row + y * rows.stride); !problem.ok())
            return problem;
    return encoder.Finish();
}

} // namespace korvanti::codecs
