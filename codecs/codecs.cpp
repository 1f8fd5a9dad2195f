// Each format's decoder and encoder, chosen by the format.
#include "codecs/codecs.h"

#include <new>

#include "codecs/exif.h"
#include "codecs/heif.h"
#include "codecs/jpeg.h"
#include "codecs/jpeg_markers.h"
#include "codecs/png.h"
#include "codecs/tiff.h"
#include "codecs/webp.h"

namespace korvanti::codecs {
namespace {

// The EXIF block of a decoded JPEG or PNG, whose decoders leave it out.
FileProblem AddExif(FileProblem problem, Format format, std::span<const uint8_t> file, Decoded& decoded)
{
    if (!problem.ok() || !decoded.exif.empty())
        return problem;
    try {
        decoded.exif = format == Format::Jpeg ? UprightExif(ReadJpegMetadata(file).exif) : UprightExif(PngExif(file));
    } catch (const std::bad_alloc&) {
        decoded = {};
        return OutOfMemoryProblem();
    }
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
        return AddExif(DecodeJpeg(file, decoded, options), format, file, decoded);
    case Format::Png:
        return AddExif(DecodePng(file, decoded, options), format, file, decoded);
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

} // namespace korvanti::codecs
