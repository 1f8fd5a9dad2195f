// PNG through libpng.
#pragma once

#include <span>

#include "codecs/format.h"

namespace korvanti::codecs {

// Decodes to 8-bit BGR in BMP form: grey and palette pictures expanded,
// 16-bit samples rounded to 8 bits, transparency composited over white.
// Refuses a picture whose BMP form would exceed limit before allocating it,
// and any file libpng reports an error for (a bad CRC, truncated data...).
Decoded DecodePng(std::span<const uint8_t> png, int64_t limit = kLargestBitmap);

// Encodes losslessly as 8-bit RGB, carrying icc when given. Returns false
// with the library's reason in error.
bool EncodePng(const BitmapRows& rows, std::span<const uint8_t> icc, Bytes& out, std::string& error);

} // namespace korvanti::codecs
