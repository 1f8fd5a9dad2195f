// The 3x3 toolkit and the random sequence.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "test_support.h"

namespace korvanti::testing {
namespace {

struct Toolkit : ::testing::Test {
    Document doc;
    EffectHost host;
    CRand random;
    EffectContext context{doc, host, random};
};

Neighbourhood Filled(uint8_t v)
{
    Neighbourhood n;
    n.fill(v);
    return n;
}

TEST_F(Toolkit, KernelBankKeepsItsContentsForUnknownNumbers)
{
    const EffectKernel zeros{};
    EXPECT_EQ(context.KernelBank(0), zeros);
    EXPECT_EQ(context.KernelBank(9), zeros);
    EXPECT_EQ(context.KernelBank(4294967295u), zeros);
    context.KernelBank(5);
    const EffectKernel five{-1, 2, -3, 4, 5, -4, 3, -2, 1};
    EXPECT_EQ(context.KernelBank(0), five);
    EXPECT_EQ(context.KernelBank(9), five);
    EXPECT_EQ(&context.KernelBank(1), &context.kernel);
}

TEST_F(Toolkit, ApplyKernelCarriesExtendedPrecisionInEntryOrder)
{
    Neighbourhood n{};
    n[0] = 10;
    n[8] = 200;
    const long double emboss = ApplyKernel(context.KernelBank(4), n);
    EXPECT_EQ(emboss, -190);
    EXPECT_EQ(StoreByte(emboss), 66);

    EXPECT_EQ(StoreByte(ApplyKernel(context.KernelBank(8), Filled(100))), 90);
    EXPECT_EQ(StoreByte(ApplyKernel(context.KernelBank(8), Filled(200))), 181);
    EXPECT_EQ(StoreByte(ApplyKernel(context.KernelBank(8), Filled(255))), 232);
    EXPECT_EQ(StoreByte(ApplyKernel(context.KernelBank(8), Filled(10))), 9);
    int double_would_differ = 0;
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(StoreByte(ApplyKernel(context.KernelBank(3), Filled(uint8_t(v)))), v) << v;
        double sum = v * context.kernel[0];
        for (int k = 1; k < 9; ++k)
            sum += v * context.kernel[k];
        double_would_differ += int(sum) != v;
    }
    EXPECT_EQ(double_would_differ, 33) << "the test itself must tell the precisions apart";

    Neighbourhood edges{};
    edges[1] = edges[3] = edges[5] = edges[7] = 25;
    EXPECT_EQ(StoreByte(ApplyKernel(context.KernelBank(3), edges)), 11);
    edges[1] = edges[3] = edges[5] = edges[7] = 50;
    EXPECT_EQ(StoreByte(ApplyKernel(context.KernelBank(3), edges)), 23);
    Neighbourhood centre{};
    centre[4] = 255;
    EXPECT_EQ(StoreByte(ApplyKernel(context.KernelBank(3), centre)), 51);
}

TEST_F(Toolkit, StoreByteTruncatesTowardZeroAndKeepsTheLowByte)
{
    EXPECT_EQ(StoreByte(-3), 253);
    EXPECT_EQ(StoreByte(260), 4);
    EXPECT_EQ(StoreByte(-0.9L), 0);
    EXPECT_EQ(StoreByte(-40), 216);
    EXPECT_EQ(StoreByte(300), 44);
    EXPECT_EQ(StoreByte(11.999L), 11);
}

TEST_F(Toolkit, MedianOfNineSortsInPlace)
{
    Neighbourhood n{9, 8, 7, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(MedianOfNine(n), 5);
    EXPECT_EQ(n, (Neighbourhood{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    Neighbourhood same = Filled(77);
    EXPECT_EQ(MedianOfNine(same), 77);
    Neighbourhood spike{0, 0, 0, 0, 255, 0, 0, 0, 0};
    EXPECT_EQ(MedianOfNine(spike), 0);
}

TEST_F(Toolkit, GatherReadsTheNineElementsAroundAPosition)
{
    std::vector<uint8_t> plane(3 * 3 + 3 + 2);
    for (size_t i = 0; i < plane.size(); ++i)
        plane[i] = uint8_t(i);
    EXPECT_EQ(context.GatherNeighbourhood(plane.data(), 3, 1, 1), (Neighbourhood{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(context.GatherNeighbourhood(plane.data(), 3, 2, 2), (Neighbourhood{4, 5, 6, 7, 8, 9, 10, 11, 12}))
        << "the last row reaches into the spare tail";
}

TEST_F(Toolkit, GrayPixelAndPeakChannelMean)
{
    uint8_t a[2] = {0, 255}, b[2] = {0, 255}, c[2] = {0, 254};
    GrayPixel(a, b, c, 1, 1, 0);
    EXPECT_EQ(a[1], 254);
    EXPECT_EQ(c[1], 254);
    uint8_t x = 0, y = 0, z = 2;
    GrayPixel(&x, &y, &z, 5, 0, 0);
    EXPECT_EQ(z, 0);

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
    for (size_t size : {size_t(1), size_t(14), size_t(15), size_t(16), size_t(1023), size_t(1024), size_t(1025),
                        size_t(5000)}) {
        std::vector<int32_t> batch(size);
        ours.Fill(batch.data(), batch.size());
        for (int32_t v : batch)
            ASSERT_EQ(v, std::rand()) << "batch of " << size;
        ASSERT_EQ(ours.Next(), std::rand());
    }
}

TEST(CRand, InstancesAreIndependentAndSafeToShare)
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
    std::vector<int32_t> all = seen[0];
    all.insert(all.end(), seen[1].begin(), seen[1].end());
    std::sort(all.begin(), all.end());
    CRand fresh;
    std::vector<int32_t> expected(40000);
    fresh.Fill(expected.data(), expected.size());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(all, expected) << "every value drawn exactly once across threads";
}

} // namespace
} // namespace korvanti::testing
