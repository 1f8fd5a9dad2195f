// The 3x3 toolkit and the random sequence, which the plain forms of the
// effects share with the fast ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "engine_bench.h"

namespace korvanti::testing {
namespace {

struct Toolkit : ::testing::Test {
    Document doc;
    EffectHost host;
    CRand random;
    EffectContext context{doc, host, random};
};

TEST_F(Toolkit, KernelBankKeepsItsContentsForUnknownNumbers)
{
    EXPECT_EQ(context.KernelBank(0), EffectKernel{});
    EXPECT_EQ(context.KernelBank(9), EffectKernel{});
    context.KernelBank(5);
    const EffectKernel five{-1, 2, -3, 4, 5, -4, 3, -2, 1};
    EXPECT_EQ(context.KernelBank(4294967295u), five);
}

TEST_F(Toolkit, KernelSumsStoredAsBytes)
{
    struct Case {
        uint32_t kernel;
        Neighbourhood values;
        int expected;
    };
    const Case cases[] = {
        {1, {0, 0, 0, 0, 60, 0, 0, 0, 0}, 44},        // 300 keeps its low byte
        {2, {0, 3, 0, 0, 0, 0, 0, 0, 0}, 253},        // -3
        {3, {0, 0, 0, 0, 255, 0, 0, 0, 0}, 51},       // centre weight 0.2
        {3, {0, 25, 0, 25, 0, 25, 0, 25, 0}, 11},     // 11.999.. truncates
        {3, {0, 50, 0, 50, 0, 50, 0, 50, 0}, 23},     // edge weight 0.12
        {3, {40, 0, 40, 0, 0, 0, 40, 0, 40}, 12},     // corner weight 0.08
        {4, {10, 0, 0, 0, 0, 0, 0, 0, 200}, 66},      // emboss: -190
        {5, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 5},          // kernel 5 sums to 5
        {6, {9, 9, 9, 9, 10, 9, 9, 9, 9}, 8},         // 8 x 10 - 72
        {7, {100, 100, 100, 100, 100, 100, 100, 100, 100}, 80}, // each 0.09 lies below 0.09
        {8, {200, 200, 200, 200, 200, 200, 200, 200, 200}, 181},
        {8, {255, 255, 255, 255, 255, 255, 255, 255, 255}, 232},
        {8, {10, 10, 10, 10, 10, 10, 10, 10, 10}, 9},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StoreByte(ApplyKernel(context.KernelBank(c.kernel), c.values)), c.expected) << "kernel " << c.kernel;
    EXPECT_EQ(ApplyKernel(context.KernelBank(4), {10, 0, 0, 0, 0, 0, 0, 0, 200}), -190);

    // A uniform neighbourhood through kernel 3 gives its value back only when
    // summed with a 64-bit mantissa; in double precision 33 values differ.
    int double_would_differ = 0;
    for (int v = 0; v < 256; ++v) {
        Neighbourhood n;
        n.fill(uint8_t(v));
        EXPECT_EQ(StoreByte(ApplyKernel(context.KernelBank(3), n)), v) << v;
        double sum = v * context.kernel[0];
        for (int k = 1; k < 9; ++k)
            sum += v * context.kernel[k];
        double_would_differ += int(sum) != v;
    }
    EXPECT_EQ(double_would_differ, 33) << "the test itself must tell the precisions apart";
}

TEST(StoreByte, TruncatesTowardZeroAndKeepsTheLowByte)
{
    const std::pair<long double, int> cases[] = {{-3, 253},   {260, 4},   {-0.9L, 0},     {-40, 216},
                                                 {300, 44},   {11.999L, 11}, {255.99L, 255}, {0.5L, 0}};
    for (auto [value, expected] : cases)
        EXPECT_EQ(StoreByte(value), expected) << double(value);
}

TEST_F(Toolkit, MedianGatherGreyAndPeakMean)
{
    Neighbourhood n{9, 8, 7, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(MedianOfNine(n), 5);
    EXPECT_EQ(n, (Neighbourhood{1, 2, 3, 4, 5, 6, 7, 8, 9})) << "sorted in place";

    std::vector<uint8_t> plane(3 * 3 + 3 + 2);
    for (size_t i = 0; i < plane.size(); ++i)
        plane[i] = uint8_t(i);
    EXPECT_EQ(context.GatherNeighbourhood(plane.data(), 3, 1, 1), (Neighbourhood{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(context.GatherNeighbourhood(plane.data(), 3, 2, 2), (Neighbourhood{4, 5, 6, 7, 8, 9, 10, 11, 12}))
        << "the last row reaches into the spare tail";

    uint8_t a[2] = {0, 255}, b[2] = {0, 255}, c[2] = {0, 254};
    GrayPixel(a, b, c, 1, 1, 0);
    EXPECT_EQ(a[1], 254);
    EXPECT_EQ(c[1], 254);

    context.row_cursor = 4;
    EXPECT_EQ(context.PeakChannelMean(7, 9, 9), 2);
    EXPECT_EQ(context.PeakChannelMean(9, 7, 8), 2);
    context.row_cursor = 2;
    EXPECT_EQ(context.PeakChannelMean(int64_t{3} << 32, 0, 0), int32_t(int64_t{3} << 31)) << "sums are 64-bit";
}

TEST(CRand, MatchesTheUnseededCLibrarySequence)
{
    std::srand(1);
    CRand ours;
    for (int i = 0; i < 100000; ++i)
        ASSERT_EQ(ours.Next(), std::rand()) << "draw " << i;
    std::srand(12345);
    ours.Seed(12345);
    // Batches of every size around the generator's internal blocks.
    for (size_t size : {1, 14, 15, 16, 1023, 1024, 1025, 5000}) {
        std::vector<int32_t> batch(size);
        ours.Fill(batch.data(), batch.size());
        for (int32_t v : batch)
            ASSERT_EQ(v, std::rand()) << "batch of " << size;
        ASSERT_EQ(ours.Next(), std::rand());
    }
}

TEST(CRand, OneInstanceIsSafeToShareBetweenThreads)
{
    CRand shared;
    std::vector<int32_t> seen[2];
    std::thread workers[2];
    for (int t = 0; t < 2; ++t)
        workers[t] = std::thread([&, t] {
            for (int i = 0; i < 20000; ++i)
                seen[t].push_back(shared.Next());
        });
    for (auto& w : workers)
        w.join();
    seen[0].insert(seen[0].end(), seen[1].begin(), seen[1].end());
    std::vector<int32_t> expected(40000);
    CRand().Fill(expected.data(), expected.size());
    std::sort(seen[0].begin(), seen[0].end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen[0], expected) << "every value drawn exactly once across threads";
}

} // namespace
} // namespace korvanti::testing
