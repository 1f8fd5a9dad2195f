// The 3x3 toolkit the plain forms are written with.
#include <gtest/gtest.h>

#include <vector>

#include "engine/effect_context.h"
#include "toolkit.h"

namespace korvanti::testing {
namespace {

using namespace reference;

TEST(Toolkit, KernelSumsStoredAsBytes)
{
    struct Case {
        const Kernel& kernel;
        Neighbourhood values;
        int expected;
    };
    const Case cases[] = {
        {kSharpenKernel, {0, 0, 0, 0, 60, 0, 0, 0, 0}, 44},          // 300 keeps its low byte
        {kEdgeLaplacianKernel, {0, 3, 0, 0, 0, 0, 0, 0, 0}, 253},    // -3
        {kBlurKernel, {0, 0, 0, 0, 255, 0, 0, 0, 0}, 51},            // centre weight 0.2
        {kBlurKernel, {0, 25, 0, 25, 0, 25, 0, 25, 0}, 11},          // 11.999.. truncates
        {kBlurKernel, {0, 50, 0, 50, 0, 50, 0, 50, 0}, 23},          // edge weight 0.12
        {kBlurKernel, {40, 0, 40, 0, 0, 0, 40, 0, 40}, 12},          // corner weight 0.08
        {kEmbossKernel, {10, 0, 0, 0, 0, 0, 0, 0, 200}, 66},         // -190
        {kAllLaplacianKernel, {9, 9, 9, 9, 10, 9, 9, 9, 9}, 8},      // 8 x 10 - 72
        {kMovingAverageKernel, {200, 200, 200, 200, 200, 200, 200, 200, 200}, 181},
        {kMovingAverageKernel, {255, 255, 255, 255, 255, 255, 255, 255, 255}, 232},
        {kMovingAverageKernel, {10, 10, 10, 10, 10, 10, 10, 10, 10}, 9},
        {kMovingAverageKernel, {100, 100, 100, 100, 100, 100, 100, 100, 100}, 90}, // 0.09 lies below 0.09
    };
    for (const Case& c : cases)
        EXPECT_EQ(StoreByte(ApplyKernel(c.kernel, c.values)), c.expected) << "neighbourhood " << int(c.values[4]);
    EXPECT_EQ(ApplyKernel(kEmbossKernel, {10, 0, 0, 0, 0, 0, 0, 0, 200}), -190);

    // A uniform neighbourhood through kernel 3 gives its value back only when
    // summed with a 64-bit mantissa; in double precision 33 values differ.
    int double_would_differ = 0;
    for (int v = 0; v < 256; ++v) {
        Neighbourhood n;
        n.fill(uint8_t(v));
        EXPECT_EQ(StoreByte(ApplyKernel(kBlurKernel, n)), v) << v;
        double sum = v * kBlurKernel[0];
        for (int k = 1; k < 9; ++k)
            sum += v * kBlurKernel[k];
        double_would_differ += int(sum) != v;
    }
    EXPECT_EQ(double_would_differ, 33) << "the test itself must tell the precisions apart";
}

TEST(Toolkit, MedianGatherAndGrey)
{
    EXPECT_EQ(MedianOfNine({9, 8, 7, 6, 5, 4, 3, 2, 1}), 5);
    EXPECT_EQ(MedianOfNine({0, 255, 0, 255, 7, 255, 0, 255, 3}), 7);

    std::vector<uint8_t> plane(3 * 3 + 3 + 2);
    for (size_t i = 0; i < plane.size(); ++i)
        plane[i] = uint8_t(i);
    EXPECT_EQ(GatherNeighbourhood(plane.data(), 3, 1, 1), (Neighbourhood{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(GatherNeighbourhood(plane.data(), 3, 2, 2), (Neighbourhood{4, 5, 6, 7, 8, 9, 10, 11, 12}))
        << "the last row reaches into the spare tail";

    uint8_t a[2] = {0, 255}, b[2] = {0, 255}, c[2] = {0, 254};
    GreyPixel(a, b, c, 1);
    EXPECT_EQ(a[1], 254);
    EXPECT_EQ(c[1], 254);
}

} // namespace
} // namespace korvanti::testing
