// Row primitives behind the effects: straight loops over contiguous plane
// elements that the compiler vectorises, built for AVX2 and for the
// baseline processor and chosen when the program starts.
//
// Each works on the elements first .. first + count - 1 of one plane row
// (all in the same plane row) and reads neighbours at +-1 and +-width (the 3x3
// neighbourhood). They give exactly the values of the plain
// forms: the arithmetic tricks are proved against them in the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvanti::rows {

// out[p] := median of the 3x3 neighbourhood of src at p.
void Median(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width);
// The same into row[0 .. count - 1].
void MedianInto(const uint8_t* src, uint8_t* row, int64_t first, int64_t count, int64_t width);

// The median, except where it lies in v + 1 .. 2v + 1 of the element's
// unfiltered value v (whole quotient median / (v + 1) equal to 1): then v.
void RestoringMedian(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width);

// The sharpen kernel (centre 5, four edge neighbours -1): clamped to
// 0..255 or keeping the low eight bits.
enum class Overflow { Clamp, Wrap };
void Sharpen(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width, Overflow overflow);

// The blur kernel (0.08 corners, 0.12 edges, 0.2 centre) and the moving
// average (0.09 around, 0.19 centre), truncated as the extended-precision
// sum would be.
void Blur(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width);
void MovingAverage(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width);

// The emboss value of each channel of a pixel (lower-left minus upper-
// right neighbour: 0 at -126 and below, 255 at 127 and above, else + 128),
// then their truncated mean: pixel x from lower_left[3x..] and
// upper_right[3x..], for count pixels, into all three bytes of out[3x..].
void EmbossPixels(const uint8_t* lower_left, const uint8_t* upper_right, uint8_t* out, int64_t count);

// The same grey value, one byte per pixel.
void EmbossToPlane(const uint8_t* lower_left, const uint8_t* upper_right, uint8_t* out, int64_t count);

// Each of count values into all three bytes of a pixel triple.
void WriteGrey(const uint8_t* values, uint8_t* pixels, int64_t count);

// Charcoal: the byte-wrapped emboss difference of each channel, their mean,
// 255 where the mean is 140 or less; written into channel 0 (src[0]).
void Charcoal(uint8_t* const src[3], int64_t first, int64_t count, int64_t width);

// Laplacian over the four edge neighbours or all eight: the
// byte-wrapped kernel value of each channel, their mean written at once into
// channel 0, which later elements read back (the left neighbour and the row
// above). Each element waits for the one to its left, so a band of rows is
// worked on at once, each row two elements behind the one before, and the
// results are left in the band for the caller to write into channel 0 row
// by row (a Cancel between rows keeps the later ones out).
struct LaplacianBand {
    static constexpr int kRows = 4;
    // Row j's results laid out like its plane row: element c at index c,
    // from column 0 to the first element of the next row.
    uint8_t* Result(int j) { return results.data() + j * (width + 1); }
    int16_t* Partial(int j) { return partial.data() + j * width; }
    uint16_t* Channels(int j) { return channels.data() + j * width; }
    void Resize(int64_t new_width);

    int64_t width = -1;
    std::vector<int16_t> partial;   // channel 0 without its left and upper neighbours
    std::vector<uint16_t> channels; // channels 1 and 2, byte-wrapped, added up
    std::vector<uint8_t> results;
};

// Which neighbours the Laplacian takes away from 4 or 8 times the centre.
enum class Neighbours { Edges, All };

// Computes plane rows first_row .. first_row + rows - 1 (at most kRows) of
// columns 1 to width - 1 into the band.
void Laplacian(uint8_t* const src[3], int64_t first_row, int rows, int64_t width, Neighbours neighbours,
               LaplacianBand& band);

} // namespace korvanti::rows
