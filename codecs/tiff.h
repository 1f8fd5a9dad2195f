// TIFF through libtiff: 8- and 16-bit RGB, RGBA, grey and palette pictures,
// uncompressed, LZW, Deflate or JPEG, in (and whatever else libtiff's RGBA
// reader takes); 8-bit RGB with Deflate out.
#pragma once

#include <span>

#include "codecs/format.h"

namespace korvanti::codecs {

// Decodes the first page to 8-bit BGR in BMP form: 16-bit samples rounded,
// grey and palette expanded, transparency over white, the Orientation tag
// applied, the ICC profile kept. A file of several pages gives its first
// with a note. Refuses a picture whose BMP form would exceed
// options.limit before allocating it; options.stop is checked between rows.
FileProblem DecodeTiff(std::span<const uint8_t> tiff, Decoded& decoded, const DecodeOptions& options = {});

// Encodes as 8-bit RGB with Deflate and the horizontal predictor, carrying
// icc when given; EncodeFailed with the library's reason when it cannot.
FileProblem EncodeTiff(const BitmapRows& rows, std::span<const uint8_t> icc, Bytes& out);

} // namespace korvanti::codecs
