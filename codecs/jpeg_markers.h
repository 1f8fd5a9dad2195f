// The JPEG segments the codecs look at themselves: the EXIF orientation
// (APP1) and the ICC colour profile (APP2 "ICC_PROFILE" chunks).
#pragma once

#include <span>

#include "codecs/format.h"

namespace korvanti::codecs {

struct JpegMetadata {
    int orientation = 1; // EXIF 1 to 8; 1 when absent or unreadable
    Bytes icc;           // the chunks joined in order; empty when absent or incomplete
    Bytes exif;          // the first EXIF APP1 body ("Exif\0\0" and its TIFF structure) as stored
};

// Reads the segments before the first scan; never fails (bad metadata is
// treated as absent, the decoder judges the rest).
JpegMetadata ReadJpegMetadata(std::span<const uint8_t> jpeg);

// The segments an encoder writes after SOI and APP0: exif (a TIFF
// structure) as an "Exif\0\0" APP1 segment, unless it is empty or too long
// for one, then the colour profile as APP2 chunks, unless it needs more
// than 255 of them.
Bytes MetadataSegments(std::span<const uint8_t> icc, std::span<const uint8_t> exif);

} // namespace korvanti::codecs
