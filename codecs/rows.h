// Pixel steps the photo decoders share on their way to the BMP form:
// alpha flattened over white, 16-bit samples rounded, a picture turned
// the way its orientation tag says.
#pragma once

#include <atomic>
#include <cstdint>

#include "codecs/format.h"

namespace korvanti::codecs {

// 16-bit sample to 8 bits, rounded to nearest.
constexpr uint8_t Round16(uint32_t sample) { return static_cast<uint8_t>((sample * 255 + 32767) / 65535); }

// One colour sample with straight (unassociated) alpha over white, rounded.
constexpr uint8_t OverWhite(unsigned colour, unsigned alpha)
{
    return static_cast<uint8_t>((colour * alpha + 255 * (255 - alpha) + 127) / 255);
}

// A BGRA row over white into BGR; bgr may be bgra itself (it is written
// behind the reading).
void FlattenRow(const uint8_t* bgra, uint8_t* bgr, int64_t width);

// The output size of a width x height picture under EXIF/TIFF orientation
// 1 to 8 (5 to 8 swap the sides).
inline bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// Copies a top-down BGR picture (width x height, rows stride bytes apart)
// into the bottom-up rows of bitmap (made by NewBitmap for the turned
// size), turned as orientation 1 to 8 says.
void PlaceTurned(const uint8_t* source, int64_t width, int64_t height, int64_t stride, int orientation,
                 Bytes& bitmap);

// True when a stop was asked for.
inline bool StopAsked(const DecodeOptions& options)
{
    return options.stop != nullptr && options.stop->load(std::memory_order_relaxed);
}

// A decode ended by options.stop (Interrupted, as the batch tool reports it).
FileProblem StoppedProblem();

} // namespace korvanti::codecs
