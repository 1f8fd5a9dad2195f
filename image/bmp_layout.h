// The layout of the one file form the core works on, a standard bottom-up
// 24-bit BMP: its magic, header size, row stride and largest size. The
// codecs write and read the same form, so they share these.
#pragma once

#include <cstdint>

namespace korvanti {

inline constexpr uint16_t kBitmapMagic = 19778; // "BM" read little-endian
// The file header (14 bytes) and the 40-byte info header.
inline constexpr int64_t kHeaderBytes = 54;
// The largest BMP file the core takes; a decoded picture whose BMP form
// would be larger is refused before anything is allocated for it.
inline constexpr int64_t kLargestBitmap = INT32_MAX;

// Bytes per stored pixel row, padding included.
constexpr int64_t RowStride(int64_t width) { return (3 * width + 3) & ~int64_t{3}; }

} // namespace korvanti
