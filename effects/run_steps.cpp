// The channel sums some effects start from (run_steps.h).
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

} // namespace korvanti
