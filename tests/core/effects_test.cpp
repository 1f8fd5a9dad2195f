// Worked values of every effect family.
#include <gtest/gtest.h>

#include <cstdlib>

#include "effects/catalogue.h"
#include "effects/effects.h"
#include "test_support.h"

namespace korvanti::testing {
namespace {

Picture Uniform(int32_t w, int32_t h, uint8_t v) { return Picture(w, h, v); }

Picture Noise(int32_t w, int32_t h, uint32_t seed, bool grey = false)
{
    Picture p(w, h);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < p.bgr.size(); i += 3)
        for (int k = 0; k < 3; ++k) {
            x = x * 1103515245u + 12345u;
            p.bgr[i + k] = grey && k > 0 ? p.bgr[i] : uint8_t(x >> 16);
        }
    return p;
}

void ExpectGrey(Bench& b, int32_t row, int32_t column, int value, const char* what)
{
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(b.Element(row, column, k), value) << what << " at (" << row << ", " << column << ") channel " << k;
}

// ---------------------------------------------------------------- convolution

TEST(Sharpen, ClampsAndLeavesFlatAreasAndBordersAlone)
{
    Picture p = Uniform(6, 6, 100);
    p.SetElementGrey(2, 2, 200);
    p.SetElementGrey(3, 4, 10);
    Bench b(p);
    Sharpen(b.context);
    ExpectGrey(b, 2, 2, 255, "200 among 100s");
    ExpectGrey(b, 3, 4, 0, "10 among 100s");
    ExpectGrey(b, 4, 1, 100, "flat");

    Picture n = Noise(7, 5, 1);
    Bench c(n);
    Sharpen(c.context);
    const Picture out = c.Current();
    for (int32_t r = 0; r < 5; ++r)
        for (int32_t col = 0; col < 7; ++col) {
            const bool interior = r >= 1 && r <= 3 && col >= 1 && col <= 5;
            const int64_t element = int64_t(r) * 7 + col;
            if (interior || element == 0)
                continue;
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(out.at(element - 1, k), n.at(element - 1, k)) << "border element " << element;
        }
}

TEST(Sharpen, TooSmallPictureIsWrittenBackUnchangedButCountsAsAnEdit)
{
    Picture p = Noise(2, 9, 4);
    Bench b(p);
    const auto before = b.doc.file_bytes;
    Sharpen(b.context);
    EXPECT_EQ(b.doc.file_bytes, before);
    EXPECT_EQ(b.doc.edit_count, 2);
}

TEST(Blur, WeightedMeanTruncatedInExtendedPrecision)
{
    for (int v : {0, 31, 100, 255}) {
        Bench b(Uniform(5, 5, uint8_t(v)));
        Blur(b.context);
        ExpectGrey(b, 2, 2, v, "uniform");
    }
    Picture spike = Uniform(5, 5, 0);
    spike.SetElementGrey(2, 2, 255);
    Bench b(spike);
    Blur(b.context);
    ExpectGrey(b, 2, 2, 51, "centre 255");

    Picture edges = Uniform(6, 6, 0);
    for (auto [r, c] : {std::pair{2, 3}, {3, 2}, {3, 4}, {4, 3}})
        edges.SetElementGrey(r, c, 25);
    Bench e(edges);
    Blur(e.context);
    ExpectGrey(e, 3, 3, 11, "four edge neighbours of 25");
}

TEST(Emboss, MapsDifferencesWithTheAsymmetricThresholds)
{
    const std::pair<int, int> cases[] = {{-127, 0}, {-126, 0}, {-125, 3}, {0, 128}, {126, 254}, {127, 255}};
    for (auto [difference, expected] : cases) {
        Picture p = Uniform(6, 6, 128);
        // Element (3, 3) compares (2, 2) with (4, 4).
        p.SetElementGrey(2, 2, uint8_t(128 + difference / 2));
        p.SetElementGrey(4, 4, uint8_t(128 + difference / 2 - difference));
        Bench b(p);
        Emboss(b.context);
        ExpectGrey(b, 3, 3, expected, "emboss difference");
    }
    Picture tint = Uniform(6, 6, 100);
    tint.element(2, 2, 2) = 103;
    Bench b(tint);
    Emboss(b.context);
    ExpectGrey(b, 3, 3, 129, "128, 128, 131 turn grey");
    ExpectGrey(b, 1, 4, 128, "flat");
}

TEST(Laplacian, StrongReadsItsOwnResultsInChannelZero)
{
    Bench b(Uniform(5, 5, 90));
    LaplacianStrong(b.context);
    ExpectGrey(b, 1, 1, 0, "first element");
    ExpectGrey(b, 1, 2, 30, "reads the 0 just written");
}

TEST(Laplacian, WeakWrapsAndBordersShowChannelZeroOfTheSource)
{
    Picture p(3, 3, 10);
    for (int k = 0; k < 3; ++k)
        p.element(1, 1, k) = 0;
    p.SetElementGrey(2, 2, 20); // neighbours: element 0 (0), six 10s and one 20
    Bench b(p);
    LaplacianWeak(b.context);
    ExpectGrey(b, 1, 1, 176, "kernel value -80");

    Picture q(3, 3, 0);
    q.SetElementGrey(1, 1, 65);
    Bench c(q);
    LaplacianWeak(c.context);
    ExpectGrey(c, 1, 1, 8, "kernel value 520");

    Picture n = Noise(6, 4, 9);
    Bench d(n);
    LaplacianStrong(d.context);
    const Picture out = d.Current();
    for (int64_t element : {int64_t(1), int64_t(5), int64_t(6), int64_t(18), int64_t(24)}) // row 0, column 0, last
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(out.at(element - 1, k), n.at(element - 1, 0)) << "element " << element;
}

// ---------------------------------------------------------------- sketches

TEST(CharcoalSketch, ThresholdsTheGreyDifference)
{
    // Uniform 100: (1, 1) reads element 0; the last row reads the empty tail.
    Bench b(Uniform(6, 6, 100));
    CharcoalSketch(b.context);
    ExpectGrey(b, 1, 1, 156, "reads element 0");
    ExpectGrey(b, 3, 3, 255, "inside");
    ExpectGrey(b, 1, 4, 255, "second row");
    ExpectGrey(b, 5, 1, 255, "last row, first column");
    ExpectGrey(b, 5, 3, 151, "last row reads a result and the tail");

    const std::pair<int, int> cases[] = {{-90, 166}, {-115, 141}, {-116, 255}, {140, 255}, {141, 141}};
    for (auto [difference, expected] : cases) {
        Picture p = Uniform(6, 6, 120);
        // Element (1, 3): neighbour 0 is (0, 2), neighbour 8 is (2, 4).
        const int low = difference < 0 ? 10 : 10 + difference;
        p.SetElementGrey(0, 2, uint8_t(low));
        p.SetElementGrey(2, 4, uint8_t(low - difference));
        Bench c(p);
        CharcoalSketch(c.context);
        ExpectGrey(c, 1, 3, expected, "difference");
    }
}

// The rough sketch recomputed from its description: grey emboss into
// zero-filled planes, threshold and speckle with the C library's rand(),
// then every visited block at column 2s or more blended with the block
// one block row up and s blocks to the left.
Picture RoughSketchOfGrey(const Picture& in)
{
    const int32_t w = in.width, h = in.height;
    const int64_t n = int64_t(w) * h;
    std::vector<int> s(size_t(n + w + 2), 0), t(size_t(n + w + 2), 0);
    for (int64_t k = 0; k < n; ++k)
        s[size_t(k + 1)] = in.bgr[size_t(k) * 3];
    for (int32_t r = 1; r <= h - 1; ++r)
        for (int32_t c = 1; c <= w - 1; ++c) {
            const int64_t p = int64_t(r) * w + c;
            const int x = s[size_t(p - w - 1)] - s[size_t(p + w + 1)];
            t[size_t(p)] = x <= -126 ? 0 : x >= 127 ? 255 : x + 128;
        }
    std::srand(1);
    for (int64_t p = 1; p <= n; ++p) {
        const int d = ((std::rand() & 255) / 10) / 10;
        t[size_t(p)] = t[size_t(p)] < 135 ? 255 : (t[size_t(p)] + d) % 256;
    }
    std::vector<int> out = t;
    const int32_t two_s = 2 * ((w / 2) / 2);
    for (int32_t r = 0; r <= h - 9; r += 2)
        for (int32_t c = two_s; c <= w - 9; c += 2)
            out[size_t(int64_t(r) * w + c)] =
                (t[size_t(int64_t(r + 2) * w + c - two_s)] + t[size_t(int64_t(r) * w + c)]) / 2;
    Picture result(w, h);
    for (int64_t k = 0; k < n; ++k)
        for (int ch = 0; ch < 3; ++ch)
            result.bgr[size_t(k) * 3 + ch] = uint8_t(out[size_t(k + 1)]);
    return result;
}

TEST(RoughSketch, MatchesItsDescriptionIncludingTheSharedSlots)
{
    for (auto [w, h] : {std::pair{40, 12}, {41, 13}, {8, 8}, {9, 9}, {3, 20}, {1, 1}}) {
        const Picture in = Noise(w, h, uint32_t(w * 100 + h), true);
        Bench b(in);
        RoughSketch(b.context);
        const Picture expected = RoughSketchOfGrey(in);
        EXPECT_EQ(b.Current().bgr, expected.bgr) << w << " x " << h;
    }
}

TEST(RoughSketch, FlatPictureTurnsWhiteAndTheSequenceGoesOnBetweenRuns)
{
    Bench b(Uniform(12, 10, 77));
    RoughSketch(b.context);
    // The last plane row compares with the empty spare row and stays dark.
    for (int32_t r = 0; r < 9; ++r)
        for (int32_t c = 0; c < 12; ++c)
            if (r > 0 || c > 0)
                ExpectGrey(b, r, c, 255, "flat");
    EXPECT_LT(b.Element(9, 5, 0), 255);

    // Two runs on the same picture in one program run differ by the speckle.
    Picture edges = Noise(20, 12, 5, true);
    Bench c(edges);
    RoughSketch(c.context);
    const auto first = c.doc.file_bytes;
    c.doc.Undo();
    RoughSketch(c.context);
    EXPECT_NE(c.doc.file_bytes, first);
}

// ---------------------------------------------------------------- mosaic

TEST(Mosaic, TakesTheFirstElementOfEachBlock)
{
    Picture p = Noise(6, 6, 3);
    Bench b(p);
    Mosaic(b.context);
    for (int k = 0; k < 3; ++k) {
        const uint8_t v = p.element(2, 2, k);
        for (auto [r, c] : {std::pair{2, 2}, {2, 3}, {3, 2}, {3, 3}})
            EXPECT_EQ(b.Element(r, c, k), v);
        for (auto [r, c] : {std::pair{0, 1}, {1, 0}, {1, 1}})
            EXPECT_EQ(b.Element(r, c, k), 0) << "block (0, 0) samples element 0";
        EXPECT_EQ(b.Element(5, 3, k), p.element(5, 3, k)) << "last plane row is not visited";
        EXPECT_EQ(b.Element(2, 5, k), p.element(2, 5, k)) << "last plane column is not visited";
    }

    Picture narrow = Noise(4, 5, 8);
    Bench c(narrow);
    Mosaic(c.context);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(c.Element(3, 2, k), narrow.element(2, 2, k));
        EXPECT_EQ(c.Element(3, 3, k), narrow.element(3, 3, k));
    }
    EXPECT_EQ(c.doc.file_bytes.size(), MakeBmp(narrow).size());
}

// ---------------------------------------------------------------- noise cut

TEST(NoiseCut, MedianRemovesSpikesAndGeometricCutIsTheSame)
{
    Picture p = Uniform(5, 5, 0);
    p.SetElementGrey(2, 2, 255);
    p.SetElementGrey(1, 3, 0);
    Bench b(p);
    Median(b.context);
    ExpectGrey(b, 2, 2, 0, "spike");

    Picture hole = Uniform(5, 5, 200);
    hole.SetElementGrey(2, 2, 0);
    Bench c(hole);
    Median(c.context);
    ExpectGrey(c, 2, 2, 200, "hole");

    const Picture n = Noise(9, 7, 11);
    Bench m(n), g(n);
    Median(m.context);
    GeometricCut(g.context);
    EXPECT_EQ(m.doc.file_bytes, g.doc.file_bytes);
    EXPECT_NE(m.doc.file_bytes, MakeBmp(n));
}

TEST(NoiseCut, FourByThreeComputesOnlyElementsFiveAndSix)
{
    const Picture n = Noise(4, 3, 12);
    Bench b(n);
    Median(b.context);
    const Picture out = b.Current();
    int changed = 0;
    for (int64_t k = 0; k < 12; ++k)
        for (int ch = 0; ch < 3; ++ch)
            if (out.at(k, ch) != n.at(k, ch)) {
                ++changed;
                EXPECT_TRUE(k == 4 || k == 5) << "pixel " << k;
            }
    EXPECT_GT(changed, 0);
}

TEST(NoiseCut, ExtendedMedianRestoresWhenTheQuotientIsOne)
{
    struct Case {
        int v, m, expected;
    };
    const Case cases[] = {{100, 150, 100}, {100, 202, 202}, {100, 101, 100}, {150, 100, 100},
                          {0, 1, 0},       {255, 7, 7},     {100, 201, 100}};
    for (const Case& c : cases) {
        Picture p = Uniform(5, 5, uint8_t(c.m));
        p.SetElementGrey(2, 2, uint8_t(c.v));
        Bench b(p);
        MedianHard(b.context);
        ExpectGrey(b, 2, 2, c.expected, "hard");
    }
}

TEST(NoiseCut, MovingAverageDarkensByNinePercent)
{
    for (auto [v, expected] : {std::pair{100, 90}, {200, 181}, {255, 232}, {10, 9}}) {
        Bench b(Uniform(5, 5, uint8_t(v)));
        MovingAverage(b.context);
        ExpectGrey(b, 2, 2, expected, "uniform");
        ExpectGrey(b, 0, 2, v, "border keeps the picture");
    }
}

TEST(NoiseCut, NaturalMedianKeepsAFlatPicture)
{
    // A flat picture stays flat through all three stages.
    Bench b(Uniform(8, 8, 60));
    MedianNatural(b.context);
    ExpectGrey(b, 3, 3, 60, "flat");
    EXPECT_EQ(b.doc.edit_count, 2);
}

// ---------------------------------------------------------------- colour

TEST(Colour, InvertAllButTheLastPixel)
{
    const Picture n = Noise(5, 3, 21);
    Bench b(n);
    Invert(b.context);
    const Picture out = b.Current();
    for (int64_t k = 0; k < 14; ++k)
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_EQ(out.at(k, ch), 255 - n.at(k, ch));
    for (int ch = 0; ch < 3; ++ch)
        EXPECT_EQ(out.at(14, ch), n.at(14, ch)) << "element W x H is not visited";
}

TEST(Colour, MeanSquareInversionFlipsTheSecondBit)
{
    Picture p(8, 1);
    const uint8_t in[7][3] = {{0, 0, 0}, {255, 255, 255}, {100, 100, 100}, {0, 0, 255},
                              {10, 50, 90}, {200, 150, 100}, {250, 25, 25}};
    for (int i = 0; i < 7; ++i)
        for (int k = 0; k < 3; ++k)
            p.at(i, k) = in[i][k];
    Bench b(p);
    InvertMeanSquare(b.context);
    const uint8_t expected[7][3] = {{2, 2, 2},  {253, 253, 253}, {102, 102, 102}, {2, 2, 169},
                                    {8, 48, 8}, {102, 148, 102}, {204, 27, 27}};
    const Picture out = b.Current();
    for (int i = 0; i < 7; ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(out.at(i, k), expected[i][k]) << "pixel " << i << " channel " << k;
}

TEST(Colour, ChromaKeyNegative)
{
    // Seven pixels plus element 0: red sums to 1024, so peak 128 and e 32.
    Picture p(7, 1, 50);
    const uint8_t red[7] = {223, 100, 100, 150, 150, 150, 151};
    for (int i = 0; i < 7; ++i)
        p.at(i, 2) = red[i];
    p.at(3, 0) = 230; // a bright blue also keys
    Bench b(p);
    ChromaKeyNegative(b.context);
    const Picture out = b.Current();
    for (int i = 0; i < 6; ++i) {
        const bool keyed = i == 0 || i == 3;
        EXPECT_EQ(out.at(i, 0), keyed ? 0 : 128) << i;
        EXPECT_EQ(out.at(i, 1), keyed ? 0 : 128) << i;
        EXPECT_EQ(out.at(i, 2), keyed ? 255 : 128) << i;
    }
    EXPECT_EQ(out.at(6, 2), 151) << "the last pixel keeps its colours";
}

TEST(Colour, HistogramStretch)
{
    Picture p(4, 1);
    const uint8_t in[4][3] = {{60, 64, 100}, {100, 100, 100}, {10, 20, 30}, {40, 40, 40}};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 3; ++k)
            p.at(i, k) = in[i][k];
    Bench b(p);
    HistogramStretch(b.context);
    const uint8_t expected[4][3] = {{240, 0, 144}, {144, 144, 144}, {10, 20, 30}, {40, 40, 40}};
    const Picture out = b.Current();
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(out.at(i, k), expected[i][k]) << "pixel " << i << " channel " << k;

    for (uint8_t v : {uint8_t(0), uint8_t(255)}) {
        Picture q = Noise(5, 4, 2);
        q.SetElementGrey(1, 1, v);
        if (v == 0)
            q = Uniform(5, 4, 0);
        Bench c(q);
        HistogramStretch(c.context);
        EXPECT_EQ(c.Current().bgr, q.bgr);
        EXPECT_EQ(c.doc.edit_count, 2);
    }
}

TEST(Colour, TimeInversionChangesNoByteButIsAnEdit)
{
    Bench b(Noise(5, 5, 1));
    const auto before = b.doc.file_bytes;
    TimeInversion(b.context);
    EXPECT_EQ(b.doc.file_bytes, before);
    EXPECT_EQ(b.doc.edit_count, 2);
    EXPECT_TRUE(b.doc.undo_enabled);
}

// ---------------------------------------------------------------- picture

TEST(Picture, SunsetOnUniformGrey)
{
    Bench b(Uniform(50, 25, 100));
    Sunset(b.context);
    const Picture out = b.Current();
    auto element = [&](int r, int c, int k) { return out.bgr[size_t((int64_t(r) * 50 + c - 1) * 3 + k)]; };
    EXPECT_EQ(element(22, 45, 0), 130);
    EXPECT_EQ(element(22, 45, 1), 116);
    EXPECT_EQ(element(22, 45, 2), 124);
    EXPECT_EQ(element(1, 1, 0), 190);
    EXPECT_EQ(element(1, 1, 1), 128);
    EXPECT_EQ(element(1, 1, 2), 144);
    for (int c = 1; c < 50; ++c)
        EXPECT_EQ(element(0, c, 0), 100) << "bottom row";
    EXPECT_EQ(element(7, 0, 2), 100) << "plane column 0";

    Bench w(Uniform(30, 30, 255));
    const auto before = w.doc.file_bytes;
    Sunset(w.context);
    EXPECT_EQ(w.doc.file_bytes, before);
}

TEST(Picture, NostalgiaKeepsOnlyValuesAbovePeak)
{
    Picture p(4, 1, 0);
    p.at(0, 2) = 100;
    p.at(1, 2) = 100;
    p.at(2, 2) = 101;
    p.at(3, 2) = 99; // red sum 400 over 5 elements: peak 80
    p.at(2, 0) = 80;
    p.at(2, 1) = 81;
    Bench b(p);
    Nostalgia(b.context);
    const Picture out = b.Current();
    EXPECT_EQ(out.at(0, 2), 100);
    EXPECT_EQ(out.at(2, 2), 101);
    EXPECT_EQ(out.at(2, 0), 0) << "equal to peak";
    EXPECT_EQ(out.at(2, 1), 81);
    EXPECT_EQ(out.at(3, 2), 99) << "the last pixel is not visited";
}

TEST(Picture, ProWatercolourIsFiveMediansAndOneUndo)
{
    const Picture n = Noise(11, 9, 17);
    Bench pro(n), five(n);
    ProWatercolour(pro.context);
    for (int i = 0; i < 5; ++i)
        Median(five.context);
    EXPECT_EQ(pro.doc.file_bytes, five.doc.file_bytes);
    EXPECT_EQ(pro.doc.edit_count, 2);
    pro.doc.Undo();
    EXPECT_EQ(pro.doc.file_bytes, MakeBmp(n));
}

TEST(Picture, WatercolourStyleRegion)
{
    const Picture small = Noise(7, 9, 2);
    Bench b(small);
    WatercolourStyle(b.context);
    EXPECT_EQ(b.Current().bgr, small.bgr);
    EXPECT_EQ(b.doc.edit_count, 2);

    const Picture eight = Noise(8, 8, 3);
    Bench c(eight);
    WatercolourStyle(c.context);
    const Picture out = c.Current();
    int changed = 0;
    for (int64_t k = 0; k < 64; ++k)
        for (int ch = 0; ch < 3; ++ch)
            if (out.at(k, ch) != eight.at(k, ch)) {
                ++changed;
                EXPECT_EQ(k, 3 * 8 + 3 - 1) << "only element (3, 3)";
            }
    EXPECT_GT(changed, 0);
}

// ---------------------------------------------------------------- catalogue

TEST(Catalogue, EveryEffectHasAUniqueIdAndNameAndIsFoundInAnyCase)
{
    const auto effects = EffectCatalogue();
    EXPECT_EQ(effects.size(), 22u);
    for (const EffectEntry& e : effects) {
        EXPECT_EQ(FindEffect(e.batch_name), &e);
        EXPECT_EQ(FindEffect(e.menu_id), &e);
        std::string upper(e.batch_name);
        for (char& ch : upper)
            ch = char(std::toupper(ch));
        EXPECT_EQ(FindEffect(upper), &e);
        std::string lower(e.menu_id);
        for (char& ch : lower)
            ch = char(std::tolower(ch));
        EXPECT_EQ(FindEffect(lower), &e);
    }
    EXPECT_EQ(FindEffect("sharpen")->menu_id, "N9");
    EXPECT_EQ(FindEffect("watercolour-style")->menu_id, "S12");
    EXPECT_EQ(FindEffect("nope"), nullptr);
    EXPECT_EQ(FindEffect(""), nullptr);
}

TEST(Catalogue, EveryEffectRunsOnTinyAndPaddedPicturesAndKeepsTheHeader)
{
    for (const EffectEntry& e : EffectCatalogue())
        for (auto [w, h] : {std::pair{1, 1}, {2, 2}, {1, 7}, {7, 1}, {3, 9}, {10, 10}, {13, 11}}) {
            const Picture n = Noise(w, h, uint32_t(w * h));
            Bench b(n, 70);
            const auto before = b.doc.file_bytes;
            ASSERT_TRUE(RunEffect(b.context, e));
            EXPECT_EQ(b.doc.file_bytes.size(), before.size()) << e.batch_name;
            EXPECT_TRUE(std::equal(before.begin(), before.begin() + 70, b.doc.file_bytes.begin()))
                << e.batch_name << " header and gap";
            EXPECT_EQ(b.doc.edit_count, 2) << e.batch_name;
            EXPECT_FALSE(b.context.Running());
        }
}

} // namespace
} // namespace korvanti::testing
