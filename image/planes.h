// Moving pixels between the whole-file bytes and the three channel planes.
//
// Pixel triple k (row k / W, column k % W, rows bottom-up as stored) lives at
// O + row * stride + 3 * column, where O is the pixel offset stored in the
// header at byte 10 and stride = (3W + 3) & ~3. Plane element k + 1 holds
// triple k: element 0 holds no pixel, and the tail past W * H is spare room
// for the 3x3 neighbourhoods at the last row. Channel 0 is blue, 1 green,
// 2 red, the byte order inside a triple.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/bmp_layout.h"

namespace korvanti {

using Bytes = std::vector<uint8_t>;
using Plane = std::vector<uint8_t>;

// Elements in each plane: every pixel, element 0, one spare row and two
// more elements so that every neighbourhood read stays inside the plane.
constexpr size_t PlaneElements(int32_t width, int32_t height)
{
    return static_cast<size_t>(int64_t{width} * height + width + 2);
}

// The pixel offset stored in the header of a loaded file.
uint32_t PixelOffset(const uint8_t* file_bytes);

// Header, then every stored pixel row: the bytes undo copies.
int64_t PixelEnd(const uint8_t* file_bytes, int32_t width, int32_t height);

// One run of count stored triples into three runs of plane elements, and back.
void SplitRow(const uint8_t* pixels, uint8_t* plane0, uint8_t* plane1, uint8_t* plane2, int64_t count);
void MergeRow(uint8_t* pixels, const uint8_t* plane0, const uint8_t* plane1, const uint8_t* plane2, int64_t count);

void SplitPlanes(const Bytes& file_bytes, uint8_t* plane0, uint8_t* plane1, uint8_t* plane2,
                 int32_t width, int32_t height);
void MergePlanes(Bytes& file_bytes, const uint8_t* plane0, const uint8_t* plane1,
                 const uint8_t* plane2, int32_t width, int32_t height);
// Copies the header and every stored pixel row; bytes after them stay.
void CopyFileBytes(const Bytes& source, Bytes& destination, int32_t width, int32_t height);
// How many bytes from the start CopyFileBytes copies.
size_t FileBytesToCopy(const Bytes& source, const Bytes& destination, int32_t width, int32_t height);
// Copies elements 0 to width * height inclusive of each plane.
void CopyPlanes(const uint8_t* source0, const uint8_t* source1, const uint8_t* source2,
                uint8_t* destination0, uint8_t* destination1, uint8_t* destination2,
                int32_t width, int32_t height);

} // namespace korvanti
