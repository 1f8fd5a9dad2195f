// Each format's decoder and encoder, chosen by the format.
#include "codecs/codecs.h"

#include "codecs/jpeg.h"
#include "codecs/png.h"

namespace korvanti::codecs {

bool CanDecode(Format format) { return format == Format::Jpeg || format == Format::Png; }

bool CanEncode(Format format) { return format == Format::Jpeg || format == Format::Png; }

FileProblem Decode(Format format, std::span<const uint8_t> file, Decoded& decoded, const DecodeOptions& options)
{
    switch (format) {
    case Format::Jpeg:
        return DecodeJpeg(file, decoded, options);
    case Format::Png:
        return DecodePng(file, decoded, options);
    default:
        return {FileProblemKind::NotBitmap};
    }
}

FileProblem Encode(Format format, const BitmapRows& rows, const EncodeSettings& settings,
                   std::span<const uint8_t> icc, Bytes& out)
{
    switch (format) {
    case Format::Jpeg:
        return EncodeJpeg(rows, settings.quality, icc, out);
    case Format::Png:
        return EncodePng(rows, icc, out);
    default:
        return {FileProblemKind::EncodeFailed, 0, 0, "no encoder for this format"};
    }
}

} // namespace korvanti::codecs
