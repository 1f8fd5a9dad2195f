// PNG through libpng.
#pragma once

#include <span>

#include "codecs/format.h"

namespace korvanti::codecs {

// Decodes to 8-bit BGR in BMP form: grey and palette pictures expanded,
// 16-bit samples rounded to 8 bits, transparency composited over white.
// Refuses a picture whose BMP form would exceed options.limit, or whose
// rows would need more than half that form again, before allocating it, and
// any file libpng reports an error for (a bad CRC, truncated data...);
// Interrupted when options.stop is set. Text and other chunks the picture
// does not need are skipped unread; the note tells of an animation (only
// its first frame is read) and of a colour profile too large to keep.
FileProblem DecodePng(std::span<const uint8_t> png, Decoded& decoded, const DecodeOptions& options = {});

// Encodes losslessly as 8-bit RGB, carrying icc and exif (an eXIf chunk)
// when given; EncodeFailed with the library's reason when it cannot.
FileProblem EncodePng(const BitmapRows& rows, std::span<const uint8_t> icc, Bytes& out,
                      std::span<const uint8_t> exif = {});

} // namespace korvanti::codecs
