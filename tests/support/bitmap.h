// Pictures made in memory and written as 24-bit BMP bytes: one Picture
// type, little-endian field writers and the generated test pictures.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace korvanti::testing {

using Bytes = std::vector<uint8_t>;

// A picture in file order: pixel k is row k / width (bottom row first),
// column k % width, three bytes blue, green, red.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    Bytes bgr;

    Picture(int32_t w, int32_t h, uint8_t fill = 0) : width(w), height(h), bgr(size_t(w) * h * 3, fill) {}

    uint8_t& at(int64_t pixel, int channel) { return bgr[size_t(pixel) * 3 + channel]; }
    uint8_t at(int64_t pixel, int channel) const { return bgr[size_t(pixel) * 3 + channel]; }
    // The pixel that lands in plane element (row, column).
    uint8_t& element(int32_t row, int32_t column, int channel) { return at(int64_t(row) * width + column - 1, channel); }
    uint8_t element(int32_t row, int32_t column, int channel) const
    {
        return at(int64_t(row) * width + column - 1, channel);
    }
};

inline void Put16(Bytes& b, size_t at, uint16_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

inline void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

// A standard bottom-up file with rows padded to four bytes; `offset` moves
// the pixels (the gap is filled with 0xEE), `tail` is appended after them,
// `bits` is only written into the header.
inline Bytes MakeBmp(const Picture& picture, uint32_t offset = 54, const Bytes& tail = {}, uint8_t padding = 0,
                     uint16_t bits = 24)
{
    const int64_t stride = (int64_t(picture.width) * 3 + 3) & ~int64_t(3);
    Bytes b(offset + stride * picture.height, 0xEE);
    std::fill(b.begin(), b.begin() + 54, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, uint32_t(b.size() + tail.size()));
    Put32(b, 10, offset);
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(picture.width));
    Put32(b, 22, uint32_t(picture.height));
    Put16(b, 26, 1);
    Put16(b, 28, bits);
    Put32(b, 34, uint32_t(stride * picture.height));
    for (int32_t y = 0; y < picture.height; ++y) {
        uint8_t* row = b.data() + offset + y * stride;
        std::copy_n(picture.bgr.data() + size_t(y) * picture.width * 3, picture.width * 3, row);
        std::fill(row + picture.width * 3, row + stride, padding);
    }
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

// Pseudo-random pixels from seed in blocks, a smooth gradient between
// them, so that filters have edges and flat parts to work on.
inline Picture Varied(int32_t width, int32_t height, uint32_t seed)
{
    Picture p(width, height);
    uint32_t state = seed * 2654435761u + 12345u;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            for (int k = 0; k < 3; ++k) {
                state = state * 1664525u + 1013904223u;
                const int smooth = (x * 255 / std::max(1, width - 1) + y * 97 / std::max(1, height) + k * 60) % 256;
                p.at(int64_t(y) * width + x, k) = uint8_t((x / 4 + y / 3) % 3 == 0 ? (state >> 24) : smooth);
            }
        }
    }
    return p;
}

// Varied as a file, row padding 0x5A so that a merge touching it shows.
inline Bytes VariedBmp(int32_t width, int32_t height, uint32_t seed)
{
    return MakeBmp(Varied(width, height, seed), 54, {}, 0x5A);
}

} // namespace korvanti::testing
