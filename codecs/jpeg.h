// JPEG through libjpeg-turbo's libjpeg API: decoding, whole or by rows, and encoding by rows.
#pragma once

#include <span>

#include "codecs/format.h"

namespace korvanti::codecs {

// Decodes to 8-bit BGR in BMP form, grey expanded to three channels, CMYK
// and YCCK converted, and the EXIF orientation applied (the result is the
// right way up). Refuses a picture whose BMP form would exceed options.limit
// before allocating it, a file whose pixels are missing or garbled (harmless
// warnings let pass) and 12-bit files; Interrupted when options.stop is set.
// The colour profile and the EXIF block (orientation set to 1) come along.
FileProblem DecodeJpeg(std::span<const uint8_t> jpeg, Decoded& decoded, const DecodeOptions& options = {});

// Encodes with 4:2:0 chroma at quality 1 to 100, carrying icc and exif (a
// TIFF structure) when given; EncodeFailed with the library's reason when
// it cannot.
FileProblem EncodeJpeg(const BitmapRows& rows, int quality, std::span<const uint8_t> icc, Bytes& out,
                       std::span<const uint8_t> exif = {});

} // namespace korvanti::codecs
