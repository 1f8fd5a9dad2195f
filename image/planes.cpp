// Splitting the stored pixel rows into the three channel planes and
// merging them back, and the copies undo and the runs make.
#include "image/planes.h"

#include <algorithm>
#include <cstring>

#include "image/simd.h"

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

KORVANTI_CLONES
void SplitRow(const uint8_t* __restrict pixels, uint8_t* __restrict plane0, uint8_t* __restrict plane1,
              uint8_t* __restrict plane2, int64_t count)
{
    for (int64_t x = 0; x < count; ++x) {
        plane0[x] = pixels[3 * x];
        plane1[x] = pixels[3 * x + 1];
        plane2[x] = pixels[3 * x + 2];
    }
}

KORVANTI_CLONES
void MergeRow(uint8_t* __restrict pixels, const uint8_t* __restrict plane0, const uint8_t* __restrict plane1,
              const uint8_t* __restrict plane2, int64_t count)
{
    for (int64_t x = 0; x < count; ++x) {
        pixels[3 * x] = plane0[x];
        pixels[3 * x + 1] = plane1[x];
        pixels[3 * x + 2] = plane2[x];
    }
}

void SplitPlanes(const Bytes& file_bytes, uint8_t* plane0, uint8_t* plane1, uint8_t* plane2,
                 int32_t width, int32_t height)
{
    const uint8_t* row = file_bytes.data() + PixelOffset(file_bytes.data());
    const int64_t stride = RowStride(width);
    // Without padding the stored rows are one run of triples.
    const int64_t runs = stride == int64_t{3} * width ? 1 : height;
    const int64_t run = int64_t{width} * height / std::max<int64_t>(runs, 1);
    for (int64_t y = 0, element = 1; y < runs; ++y, row += stride, element += run)
        SplitRow(row, plane0 + element, plane1 + element, plane2 + element, run);
}

void MergePlanes(Bytes& file_bytes, const uint8_t* plane0, const uint8_t* plane1, const uint8_t* plane2,
                 int32_t width, int32_t height)
{
    uint8_t* row = file_bytes.data() + PixelOffset(file_bytes.data());
    const int64_t stride = RowStride(width);
    const int64_t runs = stride == int64_t{3} * width ? 1 : height;
    const int64_t run = int64_t{width} * height / std::max<int64_t>(runs, 1);
    for (int64_t y = 0, element = 1; y < runs; ++y, row += stride, element += run)
        MergeRow(row, plane0 + element, plane1 + element, plane2 + element, run);
}

size_t FileBytesToCopy(const Bytes& source, const Bytes& destination, int32_t width, int32_t height)
{
    const auto end = static_cast<size_t>(PixelEnd(source.data(), width, height));
    return std::min({end, source.size(), destination.size()});
}

void CopyFileBytes(const Bytes& source, Bytes& destination, int32_t width, int32_t height)
{
    std::memcpy(destination.data(), source.data(), FileBytesToCopy(source, destination, width, height));
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
