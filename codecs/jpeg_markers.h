// The JPEG segments the codecs look at themselves: the EXIF orientation
// (APP1) and the ICC colour profile (APP2 "ICC_PROFILE" chunks).
#pragma once

#include <span>

#include "codecs/format.h"

namespace korvanti::codecs {

struct JpegMetadata {
    int orientation = 1; // EXIF 1 to 8; 1 when absent or unreadable
    Bytes icc;           // the chunks joined in order; empty when absent or incomplete
};

// Reads the segments before the first scan; never fails (bad metadata is
// treated as absent, the decoder judges the rest).
JpegMetadata ReadJpegMetadata(std::span<const uint8_t> jpeg);

// Inserts profile as APP2 chunks after the leading SOI and APP0 segments.
void InsertIccProfile(Bytes& jpeg, std::span<const uint8_t> profile);

} // namespace korvanti::codecs
