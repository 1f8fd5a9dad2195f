// Worked values of every effect family: small pictures whose results follow
// by hand from each effect's description. They pin the plain forms down as
// much as the fast ones, which the reference tests hold to the plain bytes.
#include <gtest/gtest.h>

#include "effects/catalogue.h"
#include "engine_bench.h"

namespace korvanti::testing {
namespace {

// Plane element (row, column) with channels blue, green, red; green and red
// left negative mean the same value as blue (a grey pixel).
struct Element {
    int row, column, b, g = -1, r = -1;
    int Channel(int k) const { return k == 0 || (k == 1 ? g : r) < 0 ? b : k == 1 ? g : r; }
};

struct WorkedCase {
    std::string_view effect;
    int32_t width, height;
    uint8_t fill;
    std::vector<Element> set, expected;
};

const WorkedCase kWorkedCases[] = {
    // Sharpen clamps to 0..255 and leaves flat areas alone.
    {"sharpen", 6, 6, 100, {{2, 2, 200}, {3, 4, 10}}, {{2, 2, 255}, {3, 4, 0}, {4, 1, 100}}},
    // Blur: a weighted mean, truncated in extended precision.
    {"blur", 5, 5, 31, {}, {{2, 2, 31}}},
    {"blur", 5, 5, 255, {}, {{2, 2, 255}}},
    {"blur", 5, 5, 0, {{2, 2, 255}}, {{2, 2, 51}}},
    // Emboss: (3, 3) maps (2, 2) minus (4, 4) with thresholds -126 and 127,
    // then turns grey.
    {"emboss", 6, 6, 128, {{2, 2, 65}, {4, 4, 192}}, {{3, 3, 0}}},
    {"emboss", 6, 6, 128, {{2, 2, 65}, {4, 4, 191}}, {{3, 3, 0}}},
    {"emboss", 6, 6, 128, {{2, 2, 66}, {4, 4, 191}}, {{3, 3, 3}}},
    {"emboss", 6, 6, 128, {}, {{3, 3, 128}}},
    {"emboss", 6, 6, 128, {{2, 2, 191}, {4, 4, 65}}, {{3, 3, 254}}},
    {"emboss", 6, 6, 128, {{2, 2, 191}, {4, 4, 64}}, {{3, 3, 255}}},
    {"emboss", 6, 6, 100, {{2, 2, 100, 100, 103}}, {{3, 3, 129}, {1, 4, 128}}},
    // The Laplacians write each grey result into channel 0 at once; later
    // neighbourhoods read it. The weak one wraps.
    {"laplacian-strong", 5, 5, 90, {}, {{1, 1, 0}, {1, 2, 30}}},
    {"laplacian-weak", 3, 3, 10, {{1, 1, 0}, {2, 2, 20}}, {{1, 1, 176}}},
    {"laplacian-weak", 3, 3, 0, {{1, 1, 65}}, {{1, 1, 8}}},
    // Charcoal: the grey of the stored differences, 140 and below white.
    // (1, 1) reads element 0; the last row reads results and the tail.
    {"charcoal-sketch", 6, 6, 100, {}, {{1, 1, 156}, {3, 3, 255}, {1, 4, 255}, {5, 1, 255}, {5, 3, 151}}},
    {"charcoal-sketch", 6, 6, 120, {{0, 2, 10}, {2, 4, 100}}, {{1, 3, 166}}},
    {"charcoal-sketch", 6, 6, 120, {{0, 2, 10}, {2, 4, 125}}, {{1, 3, 141}}},
    {"charcoal-sketch", 6, 6, 120, {{0, 2, 10}, {2, 4, 126}}, {{1, 3, 255}}},
    {"charcoal-sketch", 6, 6, 120, {{0, 2, 150}, {2, 4, 10}}, {{1, 3, 255}}},
    {"charcoal-sketch", 6, 6, 120, {{0, 2, 151}, {2, 4, 10}}, {{1, 3, 141}}},
    // Rough sketch: a flat area turns white; the last row meets the empty
    // tail: 77 - 0 + 128 plus a speckle of 1.
    {"rough-sketch", 12, 10, 77, {}, {{3, 3, 255}, {0, 5, 255}, {9, 5, 206}}},
    // Mosaic: each 2 x 2 block takes its first element; block (0, 0) samples
    // element 0; the last row and column are not visited.
    {"mosaic", 6, 6, 50, {{2, 2, 10}, {2, 3, 20}, {3, 2, 30}, {3, 3, 40}, {4, 2, 33}, {5, 3, 77}, {2, 5, 66}},
     {{2, 2, 10}, {2, 3, 10}, {3, 2, 10}, {3, 3, 10}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {5, 3, 77}, {2, 5, 66}}},
    {"mosaic", 4, 5, 50, {{2, 2, 10}, {3, 3, 20}}, {{3, 2, 10}, {3, 3, 20}}},
    // Noise cut.
    {"median", 5, 5, 0, {{2, 2, 255}}, {{2, 2, 0}}},
    {"geometric-cut", 5, 5, 200, {{2, 2, 0}}, {{2, 2, 200}}},
    {"median-hard", 5, 5, 150, {{2, 2, 100}}, {{2, 2, 100}}},
    {"median-hard", 5, 5, 202, {{2, 2, 100}}, {{2, 2, 202}}},
    {"median-hard", 5, 5, 101, {{2, 2, 100}}, {{2, 2, 100}}},
    {"median-hard", 5, 5, 100, {{2, 2, 150}}, {{2, 2, 100}}},
    {"median-hard", 5, 5, 1, {{2, 2, 0}}, {{2, 2, 0}}},
    {"median-hard", 5, 5, 7, {{2, 2, 255}}, {{2, 2, 7}}},
    {"median-hard", 5, 5, 201, {{2, 2, 100}}, {{2, 2, 100}}},
    {"median-natural", 8, 8, 60, {}, {{3, 3, 60}}},
    {"moving-average", 5, 5, 100, {}, {{2, 2, 90}, {0, 2, 100}}},
    // Colour: everything but element W x H (the last pixel) is visited.
    {"invert", 5, 3, 10, {{0, 1, 0, 100, 255}}, {{0, 1, 255, 155, 0}, {1, 1, 245}, {3, 0, 10}}},
    {"invert-mean-square", 8, 1, 0,
     {{0, 2, 255}, {0, 3, 100}, {0, 4, 0, 0, 255}, {0, 5, 10, 50, 90}, {0, 6, 200, 150, 100}, {0, 7, 250, 25, 25}},
     {{0, 1, 2}, {0, 2, 253}, {0, 3, 102}, {0, 4, 2, 2, 169}, {0, 5, 8, 48, 8}, {0, 6, 102, 148, 102},
      {0, 7, 204, 27, 27}}},
    // Red sums to 1024 over eight elements: peak 128, e 32; a bright blue
    // keys too.
    {"chroma-key-negative", 7, 1, 50,
     {{0, 1, 50, 50, 223}, {0, 2, 50, 50, 100}, {0, 3, 50, 50, 100}, {0, 4, 230, 50, 150}, {0, 5, 50, 50, 150},
      {0, 6, 50, 50, 150}, {0, 7, 50, 50, 151}},
     {{0, 1, 0, 0, 255}, {0, 2, 128}, {0, 4, 0, 0, 255}, {0, 6, 128}, {0, 7, 50, 50, 151}}},
    {"histogram-stretch", 4, 1, 0, {{0, 1, 60, 64, 100}, {0, 2, 100}, {0, 3, 10, 20, 30}, {0, 4, 40}},
     {{0, 1, 240, 0, 144}, {0, 2, 144}, {0, 3, 10, 20, 30}, {0, 4, 40}}},
    {"histogram-stretch", 5, 4, 0, {}, {{2, 2, 0}}},
    {"histogram-stretch", 5, 4, 100, {{1, 1, 255}}, {{2, 2, 100}, {1, 1, 255}}},
    {"time-inversion", 5, 5, 77, {}, {{2, 2, 77}}},
    // Picture: sunset tints and lifts with a corner glow; white stays white.
    {"sunset", 50, 25, 100, {}, {{22, 45, 130, 116, 124}, {1, 1, 190, 128, 144}, {0, 10, 100}, {7, 0, 100}}},
    {"sunset", 30, 30, 255, {}, {{1, 1, 255}, {20, 20, 255}}},
    // Red sums to 400 over five elements: peak 80; only values above it stay.
    {"nostalgia", 4, 1, 0, {{0, 1, 0, 0, 100}, {0, 2, 0, 0, 100}, {0, 3, 80, 81, 101}, {0, 4, 0, 0, 99}},
     {{0, 1, 0, 0, 100}, {0, 3, 0, 81, 101}, {0, 4, 0, 0, 99}}},
};

TEST(Effects, GiveTheWorkedValues)
{
    for (const WorkedCase& c : kWorkedCases) {
        Picture p(c.width, c.height, c.fill);
        for (const Element& e : c.set)
            for (int k = 0; k < 3; ++k)
                p.element(e.row, e.column, k) = uint8_t(e.Channel(k));
        Bench b(p);
        ASSERT_TRUE(RunEffect(b.context, *FindEffect(c.effect)));
        const Picture out = b.Current();
        for (const Element& e : c.expected)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(out.element(e.row, e.column, k), e.Channel(k))
                    << c.effect << " " << c.width << "x" << c.height << " fill " << int(c.fill) << " at (" << e.row
                    << ", " << e.column << ") channel " << k;
        EXPECT_EQ(b.doc.edit_count, 2) << c.effect;
    }
}

TEST(Effects, RoughSketchSpeckleGoesOnFromRunToRun)
{
    Picture p(20, 12);
    for (size_t i = 0; i < p.bgr.size(); ++i)
        p.bgr[i] = uint8_t(i / 3 * 97); // grey edges everywhere
    Bench b(p);
    RunEffect(b.context, *FindEffect("rough-sketch"));
    const auto first = b.doc.file_bytes;
    b.doc.Undo();
    RunEffect(b.context, *FindEffect("rough-sketch"));
    EXPECT_NE(b.doc.file_bytes, first);
}

} // namespace
} // namespace korvanti::testing
