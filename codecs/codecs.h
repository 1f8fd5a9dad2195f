// The photo formats behind one pair of calls, so that the batch tool and
// the window read and write every format the same way: a decoder fills the
// bytes of a 24-bit BMP file, an encoder reads the rows of one.
#pragma once

#include <span>

#include "codecs/format.h"

namespace korvanti::codecs {

// How a result is encoded.
struct EncodeSettings {
    int quality = 92; // lossy formats, 1 to 100
};

// True for the formats Decode takes (every Format but Unknown and Bmp).
bool CanDecode(Format format);
// True for the formats Encode writes besides BMP.
bool CanEncode(Format format);

// Decodes file, whose format SniffFormat gave. Refuses a picture whose BMP
// form would exceed options.limit before allocating it.
FileProblem Decode(Format format, std::span<const uint8_t> file, Decoded& decoded, const DecodeOptions& options = {});

// Encodes rows in format, carrying icc where the format holds one.
FileProblem Encode(Format format, const BitmapRows& rows, const EncodeSettings& settings,
                   std::span<const uint8_t> icc, Bytes& out);

} // namespace korvanti::codecs
