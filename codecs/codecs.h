// The photo formats behind one pair of calls, so that the batch tool and
// the window read and write every format the same way: a decoder fills the
// bytes of a 24-bit BMP file, an encoder reads the rows of one.
#pragma once

#include <span>

#include "codecs/format.h"

namespace korvanti::codecs {

// How a result is encoded.
struct EncodeSettings {
    int quality = 92;      // lossy formats, 1 to 100
    bool lossless = false; // WebP: lossless instead of quality
};

// True for the formats Decode takes (every Format but Unknown and Bmp).
bool CanDecode(Format format);
// True for the formats Encode writes besides BMP (JPEG, PNG, WebP, TIFF).
bool CanEncode(Format format);

// Decodes file, whose format SniffFormat gave. Refuses a picture whose BMP
// form would exceed options.limit before allocating it. decoded.exif is the
// file's EXIF block with its orientation set to 1 (the pixels are turned).
FileProblem Decode(Format format, std::span<const uint8_t> file, Decoded& decoded, const DecodeOptions& options = {});

// Encodes rows in format, carrying icc and exif (a TIFF structure, as
// Decoded::exif holds it) where the format holds them.
FileProblem Encode(Format format, const BitmapRows& rows, const EncodeSettings& settings,
                   std::span<const uint8_t> icc, std::span<const uint8_t> exif, Bytes& out);

} // namespace korvanti::codecs
