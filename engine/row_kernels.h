// Row primitives behind the effects: straight loops over contiguous plane
// elements that the compiler vectorises, built for AVX2 and for the
// baseline processor and chosen when the program starts.
//
// Each works on the elements first .. first + count - 1 of one plane row
// (all in the same plane row) and reads neighbours at +-1 and +-width, as
// GatherNeighbourhood would. They give exactly the values of the plain
// forms: the arithmetic tricks are proved against them in the tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvanti::rows {

// out[p] := median of the 3x3 neighbourhood of src at p.
void Median(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width);

// Where the median m of an element lies in v + 1 .. 2v + 1 of its
// unfiltered value v (whole quotient m / (v + 1) equal to 1), put v back.
void RestoreUnfiltered(const uint8_t* src, uint8_t* medians, int64_t first, int64_t count);

// Kernel 1 (centre 5, four edge neighbours -1): clamped to 0..255 or
// keeping the low eight bits.
enum class Overflow { Clamp, Wrap };
void Sharpen(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width, Overflow overflow);

// Kernel 3 (0.08 corners, 0.12 edges, 0.2 centre) and kernel 8 (0.09
// around, 0.19 centre), truncated as the extended-precision sum would be.
void Blur(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width);
void MovingAverage(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width);

// The emboss value of each channel (lower-left minus upper-right, 0 at
// -126 and below, 255 at 127 and above, else + 128), then their truncated
// mean into all three result planes.
void EmbossGrey(const uint8_t* const src[3], uint8_t* const out[3], int64_t first, int64_t count, int64_t width);

// Charcoal: the byte-wrapped emboss difference of each channel, their mean,
// 255 where the mean is 140 or less; written into channel 0 (src[0]).
void Charcoal(uint8_t* const src[3], int64_t first, int64_t count, int64_t width);

// Laplacian with kernel 2 (edges only) or 6 (all eight neighbours): the
// byte-wrapped kernel value of each channel, their mean written at once
// into channel 0, which later elements of the row read back.
void Laplacian(uint8_t* const src[3], int64_t first, int64_t count, int64_t width, bool all_neighbours);

} // namespace korvanti::rows
