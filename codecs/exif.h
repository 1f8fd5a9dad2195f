// The EXIF block as the codecs carry it: a TIFF structure ("II" or "MM"
// first), read from each format's own container, its orientation read and
// set to 1 once the decoder has turned the pixels.
#pragma once

#include <span>

#include "codecs/format.h"

namespace korvanti::codecs {

// The orientation tag (0x0112) of IFD0: 1 to 8; 1 when absent or unreadable.
int ExifOrientation(std::span<const uint8_t> tiff);

// payload without a leading "Exif\0\0" (JPEG APP1 style; some WebP and
// HEIF writers keep it), or empty when what is left is no TIFF structure.
std::span<const uint8_t> ExifTiff(std::span<const uint8_t> payload);

// A copy of the TIFF structure in payload (see ExifTiff) with its
// orientation, if it has one, set to 1: what Decoded::exif holds.
Bytes UprightExif(std::span<const uint8_t> payload);

// The contents of the first eXIf chunk of a PNG file, empty when it has none.
std::span<const uint8_t> PngExif(std::span<const uint8_t> png);

} // namespace korvanti::codecs
