// The row kernels and the choice, at start, between the AVX2 and the
// baseline builds of them.
#include "engine/row_kernels.h"

#include <algorithm>

#include "image/simd.h"

namespace korvanti::rows {
namespace {

constexpr int64_t kChunk = 2048;

inline uint8_t Min(uint8_t a, uint8_t b) { return a < b ? a : b; }
inline uint8_t Max(uint8_t a, uint8_t b) { return a < b ? b : a; }
inline uint8_t Median3(uint8_t a, uint8_t b, uint8_t c) { return Max(Min(a, b), Min(Max(a, b), c)); }

// Whole quotient by 3 of a sum of three bytes (at most 765).
inline uint16_t DivideBy3(uint16_t s) { return uint16_t((uint32_t(s) * 683u) >> 11); }

// Each column is sorted once (low, middle, high); the median of nine is
// then the median of the largest low, the middle middle and the smallest
// high of three neighbouring columns. The restoring median puts back an
// unfiltered value v whose median m lies in v + 1 .. 2v + 1.
enum class MedianKind { Plain, Restoring };

template <MedianKind kKind>
[[gnu::always_inline]] inline void MedianOf(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width)
{
    uint8_t low[kChunk + 2], middle[kChunk + 2], high[kChunk + 2];
    for (int64_t done = 0; done < count; done += kChunk) {
        const int64_t n = std::min(kChunk, count - done);
        const uint8_t* above = src + first + done - 1 - width;
        const uint8_t* row = src + first + done - 1;
        const uint8_t* below = src + first + done - 1 + width;
        for (int64_t j = 0; j < n + 2; ++j) {
            const uint8_t a = above[j], b = row[j], c = below[j];
            const uint8_t lo = Min(a, b), hi = Max(a, b);
            low[j] = Min(lo, c);
            high[j] = Max(hi, c);
            middle[j] = Max(lo, Min(hi, c));
        }
        uint8_t* target = out + done;
        for (int64_t i = 0; i < n; ++i) {
            const uint8_t largest_low = Max(Max(low[i], low[i + 1]), low[i + 2]);
            const uint8_t smallest_high = Min(Min(high[i], high[i + 1]), high[i + 2]);
            const uint8_t middle_middle = Median3(middle[i], middle[i + 1], middle[i + 2]);
            const uint8_t median = Median3(largest_low, middle_middle, smallest_high);
            if constexpr (kKind == MedianKind::Restoring) {
                const uint16_t value = row[i + 1], m = median;
                target[i] = (m > value && m <= 2 * value + 1) ? uint8_t(value) : median;
            } else {
                target[i] = median;
            }
        }
    }
}

} // namespace

KORVANTI_CLONES
void Median(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width)
{
    MedianOf<MedianKind::Plain>(src, out + first, first, count, width);
}

KORVANTI_CLONES
void MedianInto(const uint8_t* src, uint8_t* row, int64_t first, int64_t count, int64_t width)
{
    MedianOf<MedianKind::Plain>(src, row, first, count, width);
}

KORVANTI_CLONES
void RestoringMedian(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width)
{
    MedianOf<MedianKind::Restoring>(src, out + first, first, count, width);
}

KORVANTI_CLONES
void Sharpen(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width, Overflow overflow)
{
    const uint8_t* c = src + first;
    const uint8_t* up = c - width;
    const uint8_t* down = c + width;
    uint8_t* target = out + first;
    if (overflow == Overflow::Clamp) {
        for (int64_t i = 0; i < count; ++i) {
            const int16_t x = int16_t(5 * c[i] - c[i - 1] - c[i + 1] - up[i] - down[i]);
            target[i] = uint8_t(std::clamp<int16_t>(x, 0, 255));
        }
    } else {
        for (int64_t i = 0; i < count; ++i)
            target[i] = uint8_t(5 * c[i] - c[i - 1] - c[i + 1] - up[i] - down[i]);
    }
}

// The weights are doubles, each an exact multiple of 2^-56, and every
// partial sum stays below 256, so the extended-precision sum is exact:
// sum * 100 * 2^56 = N * 2^56 + d, with N the sum with the decimal weights
// (x 100) and d a small correction from how each double differs from its
// decimal (|d| < 2^16). Its truncation is therefore N / 100, less one when
// N is a multiple of 100 and d is negative.
KORVANTI_CLONES
void Blur(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width)
{
    const uint8_t* c = src + first;
    const uint8_t* up = c - width;
    const uint8_t* down = c + width;
    uint8_t* target = out + first;
    for (int64_t i = 0; i < count; ++i) {
        const uint16_t corners = uint16_t(up[i - 1] + up[i + 1] + down[i - 1] + down[i + 1]);
        const uint16_t edges = uint16_t(up[i] + down[i] + c[i - 1] + c[i + 1]);
        const uint16_t centre = c[i];
        // 100 x double(0.08) = 8 + 12 * 2^-56, 0.12: 12 - 32 * 2^-56, 0.2: 20 + 80 * 2^-56.
        const uint16_t n = uint16_t(8 * corners + 12 * edges + 20 * centre);
        const uint16_t q = uint16_t(uint16_t((uint32_t(n) * 5243u) >> 16) >> 3);
        const bool exact = uint16_t(q * 100) == n;
        const bool below = 3 * corners + 20 * centre < 8 * edges; // 12a - 32e + 80c < 0
        target[i] = uint8_t(q - (exact && below ? 1 : 0));
    }
}

KORVANTI_CLONES
void MovingAverage(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width)
{
    const uint8_t* c = src + first;
    const uint8_t* up = c - width;
    const uint8_t* down = c + width;
    uint8_t* target = out + first;
    for (int64_t i = 0; i < count; ++i) {
        const uint16_t around = uint16_t(up[i - 1] + up[i] + up[i + 1] + c[i - 1] + c[i + 1] + down[i - 1] +
                                         down[i] + down[i + 1]);
        const uint16_t centre = c[i];
        // 100 x double(0.09) = 9 - 24 * 2^-56, 0.19: 19 + 16 * 2^-56.
        const uint16_t n = uint16_t(9 * around + 19 * centre);
        const uint16_t q = uint16_t(uint16_t((uint32_t(n) * 5243u) >> 16) >> 3);
        const bool exact = uint16_t(q * 100) == n;
        const bool below = 2 * centre < 3 * around; // -24 s + 16 c < 0
        target[i] = uint8_t(q - (exact && below ? 1 : 0));
    }
}

namespace {

// The emboss value of one channel, widened for the mean.
inline uint16_t EmbossValue(uint8_t lower_left, uint8_t upper_right)
{
    const int16_t x = int16_t(lower_left - upper_right);
    return uint16_t(x <= -126 ? 0 : x >= 127 ? 255 : x + 128);
}

// The mean of the three channels' emboss values of pixel x.
inline uint8_t GreyEmboss(const uint8_t* lower_left, const uint8_t* upper_right, int64_t x)
{
    return uint8_t(DivideBy3(uint16_t(EmbossValue(lower_left[3 * x], upper_right[3 * x]) +
                                      EmbossValue(lower_left[3 * x + 1], upper_right[3 * x + 1]) +
                                      EmbossValue(lower_left[3 * x + 2], upper_right[3 * x + 2]))));
}

} // namespace

KORVANTI_CLONES
void EmbossPixels(const uint8_t* __restrict lower_left, const uint8_t* __restrict upper_right, uint8_t* __restrict out,
                  int64_t count)
{
    for (int64_t x = 0; x < count; ++x) {
        const uint8_t grey = GreyEmboss(lower_left, upper_right, x);
        out[3 * x] = grey;
        out[3 * x + 1] = grey;
        out[3 * x + 2] = grey;
    }
}

KORVANTI_CLONES
void EmbossToPlane(const uint8_t* __restrict lower_left, const uint8_t* __restrict upper_right,
                   uint8_t* __restrict out, int64_t count)
{
    for (int64_t x = 0; x < count; ++x)
        out[x] = GreyEmboss(lower_left, upper_right, x);
}

KORVANTI_CLONES
void WriteGrey(const uint8_t* __restrict values, uint8_t* __restrict pixels, int64_t count)
{
    for (int64_t x = 0; x < count; ++x) {
        pixels[3 * x] = values[x];
        pixels[3 * x + 1] = values[x];
        pixels[3 * x + 2] = values[x];
    }
}

KORVANTI_CLONES
void Charcoal(uint8_t* const src[3], int64_t first, int64_t count, int64_t width)
{
    // Neighbour 0 lies in the row above (channel 0 holds results there),
    // neighbour 8 in the row below: neither is the row being written.
    uint8_t result[kChunk];
    for (int64_t done = 0; done < count; done += kChunk) {
        const int64_t n = std::min(kChunk, count - done);
        const int64_t start = first + done;
        for (int64_t i = 0; i < n; ++i) {
            uint16_t sum = 0;
            for (int k = 0; k < 3; ++k)
                sum = uint16_t(sum + uint8_t(src[k][start + i - width - 1] - src[k][start + i + width + 1]));
            const uint16_t mean = DivideBy3(sum);
            result[i] = mean <= 140 ? 255 : uint8_t(mean);
        }
        std::copy_n(result, n, src[0] + start);
    }
}

namespace {

// Channel 0's kernel value at each element of a row, leaving out the left
// neighbour and the row above: both are results by the time it is read.
KORVANTI_CLONES
void LaplacianPartial(const uint8_t* __restrict row, const uint8_t* __restrict below, int16_t* __restrict partial,
                      int64_t count, Neighbours neighbours)
{
    if (neighbours == Neighbours::All) {
        for (int64_t i = 0; i < count; ++i)
            partial[i] = int16_t(8 * row[i] - row[i + 1] - below[i - 1] - below[i] - below[i + 1]);
    } else {
        for (int64_t i = 0; i < count; ++i)
            partial[i] = int16_t(4 * row[i] - row[i + 1] - below[i]);
    }
}

// The byte-wrapped kernel values of channels 1 and 2 (whose neighbours are
// never rewritten), added up.
template <Neighbours kNeighbours>
[[gnu::always_inline]] inline uint8_t WrappedLaplacian(const uint8_t* row, int64_t width, int64_t i)
{
    const uint8_t* above = row - width;
    const uint8_t* below = row + width;
    if constexpr (kNeighbours == Neighbours::All)
        return uint8_t(8 * row[i] - above[i - 1] - above[i] - above[i + 1] - row[i - 1] - row[i + 1] - below[i - 1] -
                       below[i] - below[i + 1]);
    else
        return uint8_t(4 * row[i] - above[i] - row[i - 1] - row[i + 1] - below[i]);
}

KORVANTI_CLONES
void OtherChannels(const uint8_t* __restrict row1, const uint8_t* __restrict row2, uint16_t* __restrict channels,
                   int64_t count, int64_t width, Neighbours neighbours)
{
    if (neighbours == Neighbours::All) {
        for (int64_t i = 0; i < count; ++i)
            channels[i] = uint16_t(WrappedLaplacian<Neighbours::All>(row1, width, i) + WrappedLaplacian<Neighbours::All>(row2, width, i));
    } else {
        for (int64_t i = 0; i < count; ++i)
            channels[i] = uint16_t(WrappedLaplacian<Neighbours::Edges>(row1, width, i) + WrappedLaplacian<Neighbours::Edges>(row2, width, i));
    }
}

// Where each row of a band's chains reads and writes: its results, with
// column 0 and the first element of the next row copied from channel 0; the
// row above (the band's results from its second row on); the left
// neighbour, starting at column 0; and the row's partial and channel sums.
struct ChainRows {
    ChainRows(LaplacianBand& band, const uint8_t* above_first_row, const uint8_t* s0, int64_t first_row, int rows,
              int64_t width)
    {
        for (int j = 0; j < rows; ++j) {
            result[j] = band.Result(j);
            result[j][0] = s0[(first_row + j) * width];
            result[j][width] = s0[(first_row + j + 1) * width];
            left[j] = result[j][0];
            above[j] = j == 0 ? above_first_row : band.Result(j - 1);
            partial[j] = band.Partial(j);
            channels[j] = band.Channels(j);
        }
    }

    uint8_t left[LaplacianBand::kRows];
    const uint8_t* above[LaplacianBand::kRows];
    const int16_t* partial[LaplacianBand::kRows];
    const uint16_t* channels[LaplacianBand::kRows];
    uint8_t* result[LaplacianBand::kRows];
};

template <Neighbours kNeighbours>
void LaplacianChains(LaplacianBand& band, const uint8_t* above_first_row, const uint8_t* s0, int64_t first_row,
                     int rows, int64_t width)
{
    const int64_t n = width - 1;
    ChainRows at(band, above_first_row, s0, first_row, rows, width);
    // Element i of row j; each waits for the one to its left.
    const auto step = [&](int j, int64_t i) {
        const int64_t c = i + 1;
        const uint8_t* up = at.above[j];
        const int a = kNeighbours == Neighbours::All ? up[c - 1] + up[c] + up[c + 1] : up[c];
        const uint8_t t0 = uint8_t(at.partial[j][i] - a - at.left[j]);
        at.left[j] = uint8_t(DivideBy3(uint16_t(t0 + at.channels[j][i])));
        at.result[j][c] = at.left[j];
    };
    // Row j runs two elements behind row j - 1, so the three elements above
    // an element are final when it is reached; the rows' chains interleave.
    const int64_t lag = 2 * (rows - 1);
    const int64_t steady_end = rows == LaplacianBand::kRows ? n : 0;
    int64_t t = 0;
    for (; t < std::min(lag, steady_end); ++t)
        for (int j = 0; j < rows; ++j)
            if (t - 2 * j >= 0)
                step(j, t - 2 * j);
    // Every row in range: no tests, rows unrolled.
    for (; t < steady_end; ++t) {
        step(0, t);
        step(1, t - 2);
        step(2, t - 4);
        step(3, t - 6);
    }
    for (; t < n + lag; ++t)
        for (int j = 0; j < rows; ++j) {
            const int64_t i = t - 2 * j;
            if (i >= 0 && i < n)
                step(j, i);
        }
}

} // namespace

void LaplacianBand::Resize(int64_t new_width)
{
    width = new_width;
    partial.resize(static_cast<size_t>(kRows * width));
    channels.resize(static_cast<size_t>(kRows * width));
    results.resize(static_cast<size_t>(kRows * (width + 1)));
}

void Laplacian(uint8_t* const src[3], int64_t first_row, int rows, int64_t width, Neighbours neighbours,
               LaplacianBand& band)
{
    if (band.width != width)
        band.Resize(width);
    const int64_t n = width - 1;
    for (int j = 0; j < rows; ++j) {
        const int64_t start = (first_row + j) * width + 1;
        OtherChannels(src[1] + start, src[2] + start, band.Channels(j), n, width, neighbours);
        const uint8_t* row = src[0] + start;
        LaplacianPartial(row, row + width, band.Partial(j), n, neighbours);
    }
    const uint8_t* above_first_row = src[0] + (first_row - 1) * width;
    if (neighbours == Neighbours::All)
        LaplacianChains<Neighbours::All>(band, above_first_row, src[0], first_row, rows, width);
    else
        LaplacianChains<Neighbours::Edges>(band, above_first_row, src[0], first_row, rows, width);
}

} // namespace korvanti::rows
