// The channel sums some effects start from (run_steps.h), from the planes
// or straight from a picture's pixels.
#include "effects/run_steps.h"

#include <numeric>

namespace korvanti {
namespace {

KORVANTI_CLONES
uint32_t SumBlock(const uint8_t* values, int64_t count)
{
    uint32_t sum = 0;
    for (int64_t i = 0; i < count; ++i)
        sum += values[i];
    return sum;
}

// In blocks small enough that a 32-bit sum cannot overflow, the blocks on
// the worker threads; whole numbers, so the order of the adds is free.
uint64_t SumBytes(const uint8_t* values, int64_t count)
{
    constexpr int64_t kBlock = int64_t{1} << 20;
    const int64_t blocks = (count + kBlock - 1) / kBlock;
    if (WorkerThreads() == 1 || blocks < 2) {
        uint64_t sum = 0;
        for (int64_t done = 0; done < count; done += kBlock)
            sum += SumBlock(values + done, std::min(kBlock, count - done));
        return sum;
    }
    std::vector<uint64_t> sums(static_cast<size_t>(blocks));
    ParallelForEach(0, blocks, 1, [&](int64_t i) {
        sums[static_cast<size_t>(i)] = SumBlock(values + i * kBlock, std::min(kBlock, count - i * kBlock));
    });
    return std::accumulate(sums.begin(), sums.end(), uint64_t{0});
}

// The channel sums of count pixels (blue, green, red bytes) added to
// sums: sixteen pixels at a time into 48 lane sums, lane j holding channel
// j mod 3, which the compiler turns into wide adds. At most 2^16 pixels a
// call, so that no 32-bit lane can overflow.
KORVANTI_CLONES
void AddPixelSums(const uint8_t* pixels, int64_t count, std::array<uint64_t, 3>& sums)
{
    uint32_t lanes[48] = {};
    const int64_t groups = count / 16;
    for (int64_t group = 0; group < groups; ++group)
        for (int j = 0; j < 48; ++j)
            lanes[j] += pixels[48 * group + j];
    for (int j = 0; j < 48; ++j)
        sums[static_cast<size_t>(j % 3)] += lanes[j];
    for (int64_t i = 16 * groups; i < count; ++i)
        for (int k = 0; k < 3; ++k)
            sums[static_cast<size_t>(k)] += pixels[3 * i + k];
}

} // namespace

ChannelPeak PeakChannelMean(const Document& doc)
{
    ChannelPeak result{};
    result.elements = int64_t{doc.plane_width} * doc.plane_height + 1;
    for (int k = 0; k < 3; ++k)
        result.sums[k] = static_cast<int64_t>(SumBytes(doc.source_planes[k].data(), result.elements));
    result.peak = static_cast<int32_t>(std::max({result.sums[0], result.sums[1], result.sums[2]}) / result.elements);
    return result;
}

ChannelPeak PeakChannelMean(const Document& doc, const Bytes& picture)
{
    ChannelPeak result{};
    result.elements = int64_t{doc.plane_width} * doc.plane_height + 1;
    const int64_t stride = RowStride(doc.plane_width);
    const uint8_t* pixels = picture.data() + PixelOffset(picture.data());
    // Pieces of elements on the worker threads.
    const int64_t piece = std::max<int64_t>(PieceElements(), 1);
    const int64_t pieces = (result.elements + piece - 1) / piece;
    std::vector<std::array<uint64_t, 3>> sums(static_cast<size_t>(pieces));
    ParallelForEach(0, pieces, 1, [&](int64_t i) {
        constexpr int64_t kBlock = int64_t{1} << 16;
        std::array<uint64_t, 3> piece_sums{};
        const int64_t end = std::min(result.elements, (i + 1) * piece);
        ForEachPixelRun(doc, i * piece, end, [&](int64_t, int64_t row, int64_t column, int64_t count) {
            for (int64_t done = 0; done < count; done += kBlock)
                AddPixelSums(pixels + row * stride + 3 * (column + done), std::min(kBlock, count - done), piece_sums);
        });
        sums[static_cast<size_t>(i)] = piece_sums; // once: pieces side by side share cache lines
    });
    for (const std::array<uint64_t, 3>& piece_sums : sums)
        for (int k = 0; k < 3; ++k)
            result.sums[static_cast<size_t>(k)] += static_cast<int64_t>(piece_sums[static_cast<size_t>(k)]);
    result.peak = static_cast<int32_t>(std::max({result.sums[0], result.sums[1], result.sums[2]}) / result.elements);
    return result;
}

} // namespace korvanti
