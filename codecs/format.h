// What the codecs share: telling the formats apart by content and by name,
// and the one in-memory form every decoder fills and every encoder reads:
// the bytes of a standard bottom-up 24-bit BMP file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvanti::codecs {

using Bytes = std::vector<uint8_t>;

enum class Format { Unknown, Bmp, Png, Jpeg };

// The largest BMP file the core takes; a decoded picture whose BMP form
// would be larger is refused before anything is allocated for it.
inline constexpr int64_t kLargestBitmap = INT32_MAX;
inline constexpr int64_t kBitmapHeaderBytes = 54;

// By the first bytes of the file ("BM", the PNG signature, FF D8 FF).
Format SniffFormat(std::span<const uint8_t> head);
// By the extension of a file name, in any letter case: .bmp, .png, .jpg, .jpeg.
Format FormatOfName(std::string_view name);
// "bmp", "png", "jpeg" or "jpg", as --format takes them.
Format FormatOfWord(std::string_view word);
// ".bmp", ".png", ".jpg".
std::string_view ExtensionOf(Format format);
// "BMP", "PNG", "JPEG".
std::string_view NameOf(Format format);

constexpr int64_t BitmapStride(int64_t width) { return (3 * width + 3) & ~int64_t{3}; }

// The size of the BMP form of a width x height picture, or nothing when it
// would exceed limit (or kLargestBitmap).
std::optional<int64_t> BitmapSize(int64_t width, int64_t height, int64_t limit = kLargestBitmap);

// A BMP file of the given size with its 54 header bytes filled in (pixel
// offset 54, 40-byte info header, no compression) and every pixel byte 0.
Bytes NewBitmap(int32_t width, int32_t height, int64_t size);

// A decoder's result. On failure bitmap is empty and error holds the
// codec's reason.
struct Decoded {
    Bytes bitmap;
    int32_t width = 0;
    int32_t height = 0;
    Bytes icc;                     // the colour profile, if the file had one
    bool alpha_composited = false; // transparency was flattened over white
    bool out_of_memory = false;
    std::string error;
    bool ok() const { return error.empty(); }
};

// The stored pixel rows of a BMP picture as the encoders read them:
// bottom row first, BGR triples, rows stride bytes apart.
struct BitmapRows {
    const uint8_t* first_row = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int64_t stride = 0;
};

} // namespace korvanti::codecs
