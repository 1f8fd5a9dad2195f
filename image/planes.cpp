#include "image/planes.h"

#include <algorithm>
#include <cstring>

namespace korvanti {

uint32_t PixelOffset(const uint8_t* file_bytes)
{
    return uint32_t{file_bytes[10]} | uint32_t{file_bytes[11]} << 8 | uint32_t{file_bytes[12]} << 16 |
           uint32_t{file_bytes[13]} << 24;
}

int64_t PixelEnd(const uint8_t* file_bytes, int32_t width, int32_t height)
{
    return int64_t{PixelOffset(file_bytes)} + RowStride(width) * height;
}

void SplitPlanes(const Bytes& file_bytes, uint8_t* plane0, uint8_t* plane1, uint8_t* plane2,
                 int32_t width, int32_t height)
{
    const uint8_t* row = file_bytes.data() + PixelOffset(file_bytes.data());
    const int64_t stride = RowStride(width);
    size_t element = 1;
    for (int32_t y = 0; y < height; ++y, row += stride) {
        const uint8_t* pixel = row;
        for (int32_t x = 0; x < width; ++x, ++element, pixel += 3) {
            plane0[element] = pixel[0];
            plane1[element] = pixel[1];
            plane2[element] = pixel[2];
        }
    }
}

void MergePlanes(Bytes& file_bytes, const uint8_t* plane0, const uint8_t* plane1, const uint8_t* plane2,
                 int32_t width, int32_t height)
{
    uint8_t* row = file_bytes.data() + PixelOffset(file_bytes.data());
    const int64_t stride = RowStride(width);
    size_t element = 1;
    for (int32_t y = 0; y < height; ++y, row += stride) {
        uint8_t* pixel = row;
        for (int32_t x = 0; x < width; ++x, ++element, pixel += 3) {
            pixel[0] = plane0[element];
            pixel[1] = plane1[element];
            pixel[2] = plane2[element];
        }
    }
}

void CopyFileBytes(const Bytes& source, Bytes& destination, int32_t width, int32_t height)
{
    const auto end = static_cast<size_t>(PixelEnd(source.data(), width, height));
    std::memcpy(destination.data(), source.data(), std::min({end, source.size(), destination.size()}));
}

void CopyPlanes(const uint8_t* source0, const uint8_t* source1, const uint8_t* source2, uint8_t* destination0,
                uint8_t* destination1, uint8_t* destination2, int32_t width, int32_t height)
{
    const size_t count = static_cast<size_t>(int64_t{width} * height + 1);
    std::memmove(destination0, source0, count);
    std::memmove(destination1, source1, count);
    std::memmove(destination2, source2, count);
}

} // namespace korvanti
