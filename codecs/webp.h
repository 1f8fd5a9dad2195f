// WebP through libwebp: lossy and lossless still pictures, and the first
// frame of an animated one, in; lossless or lossy out.
#pragma once

#include <span>

#include "codecs/codecs.h"

namespace korvanti::codecs {

// Decodes to 8-bit BGR in BMP form: transparency composited over white,
// the EXIF chunk's orientation applied, ICC and EXIF kept, lossless noted
// in decoded.lossless. An animation gives its first frame with a note.
// Refuses a picture whose BMP form would exceed options.limit before
// allocating it; options.stop is checked between pieces of the file.
FileProblem DecodeWebp(std::span<const uint8_t> webp, Decoded& decoded, const DecodeOptions& options = {});

// Encodes lossless when settings.lossless, else at settings.quality,
// carrying icc and exif (ICCP and EXIF chunks) when given. Pictures over
// 16383 pixels on a side, the format's limit, are refused.
FileProblem EncodeWebp(const BitmapRows& rows, const EncodeSettings& settings, std::span<const uint8_t> icc,
                       std::span<const uint8_t> exif, Bytes& out);

} // namespace korvanti::codecs
