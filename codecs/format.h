// What the codecs share: telling the formats apart by content and by name,
// and the one in-memory form every decoder fills and every encoder reads:
// the bytes of a standard bottom-up 24-bit BMP file.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/bmp_layout.h"
#include "image/problem.h"

namespace korvanti::codecs {

using Bytes = std::vector<uint8_t>;

enum class Format { Unknown, Bmp, Png, Jpeg, Webp, Tiff, Heic, Avif };

// By the first bytes of the file: "BM", the PNG signature, FF D8 FF,
// RIFF....WEBP, II*\0 or MM\0*, an ftyp box naming a HEIC or AVIF brand
// (the first 32 bytes suffice).
Format SniffFormat(std::span<const uint8_t> head);
// By the extension of a file name, in any letter case: .bmp, .png, .jpg,
// .jpeg, .webp, .tif, .tiff, .heic, .heif, .avif.
Format FormatOfName(std::string_view name);
// A format's word as --format or an extension gives it, in any letter case:
// bmp, png, jpeg, jpg, webp, tiff, tif, heic, heif, avif.
Format FormatOfWord(std::string_view word);
// ".bmp", ".png", ".jpg", ".webp", ".tif", ".heic", ".avif".
std::string_view ExtensionOf(Format format);
// "BMP", "PNG", "JPEG", "WebP", "TIFF", "HEIC", "AVIF".
std::string_view NameOf(Format format);

// The size of the BMP form of a width x height picture, or nothing when it
// would exceed limit (or kLargestBitmap).
std::optional<int64_t> BitmapSize(int64_t width, int64_t height, int64_t limit = kLargestBitmap);

// A BMP file of the given size with its 54 header bytes filled in (pixel
// offset 54, 40-byte info header, no compression) and every pixel byte 0.
Bytes NewBitmap(int32_t width, int32_t height, int64_t size);

// What a decoder gives besides its verdict (a FileProblem: Damaged with the
// codec's reason, TooLarge, OutOfMemory or None). Left empty on a refusal.
struct Decoded {
    Bytes bitmap;
    int32_t width = 0;
    int32_t height = 0;
    Bytes icc;                     // the colour profile, if the file had one
    Bytes exif;                    // the EXIF block as a TIFF structure ("II"/"MM" first), orientation set to 1
    bool alpha_composited = false; // transparency was flattened over white
    bool lossless = false;         // the file was stored losslessly (a lossless WebP)
    std::string note;              // what else was done to it, in words, for the batch tool's notes
};

// What bounds a decode: the largest BMP form it may make, and a request to
// stop (checked between rows; a stopped decode is refused as interrupted).
struct DecodeOptions {
    int64_t limit = kLargestBitmap;
    const std::atomic<bool>* stop = nullptr;
    // Told the size of the BMP form once the header gives it, before any
    // buffer for the picture is allocated; may wait for memory to be free.
    // false ends the decode as Interrupted.
    std::function<bool(int64_t bitmap_size)> admit;
};

// The size of the BMP form of a width x height picture within
// options.limit, admitted by options.admit: kind None, TooLarge or
// Interrupted. Every decoder asks this before it allocates.
FileProblem AdmitPicture(int64_t width, int64_t height, const DecodeOptions& options, int64_t& size);

// The refusal of a picture whose BMP form would pass the limit.
FileProblem TooLargeProblem(int64_t width, int64_t height);
// A codec's buffers could not be had.
FileProblem OutOfMemoryProblem();

// The stored pixel rows of a BMP picture as the encoders read them:
// bottom row first, BGR triples, rows stride bytes apart.
struct BitmapRows {
    const uint8_t* first_row = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int64_t stride = 0;
};

} // namespace korvanti::codecs
