// JPEG through libjpeg-turbo's TurboJPEG API.
#pragma once

#include <span>

#include "codecs/format.h"

namespace korvanti::codecs {

// Decodes to 8-bit BGR in BMP form, grey expanded to three channels and
// the EXIF orientation applied (the result is the right way up). Refuses
// a picture whose BMP form would exceed limit before allocating it, and any
// file the library reports trouble with, warnings included.
Decoded DecodeJpeg(std::span<const uint8_t> jpeg, int64_t limit = kLargestBitmap);

// Encodes with 4:2:0 chroma at quality 1 to 100, carrying icc when given.
// Returns false with the library's reason in error.
bool EncodeJpeg(const BitmapRows& rows, int quality, std::span<const uint8_t> icc, Bytes& out, std::string& error);

} // namespace korvanti::codecs
