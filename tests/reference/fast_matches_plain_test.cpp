// The fast effects against their plain forms: the same bytes, the same
// progress and the same Cancel behaviour, on pictures of many shapes.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "effects/catalogue.h"
#include "reference_effects.h"
#include "engine/row_kernels.h"
#include "test_support.h"

namespace korvanti::testing {
namespace {

const std::map<std::string_view, EffectFunction>& PlainForms()
{
    static const std::map<std::string_view, EffectFunction> forms = {
        {"sharpen", reference::Sharpen},
        {"blur", reference::Blur},
        {"emboss", reference::Emboss},
        {"laplacian-strong", reference::LaplacianStrong},
        {"laplacian-weak", reference::LaplacianWeak},
        {"charcoal-sketch", reference::CharcoalSketch},
        {"rough-sketch", reference::RoughSketch},
        {"mosaic", reference::Mosaic},
        {"median", reference::Median},
        {"median-hard", reference::MedianHard},
        {"median-natural", reference::MedianNatural},
        {"moving-average", reference::MovingAverage},
        {"geometric-cut", reference::GeometricCut},
        {"invert", reference::Invert},
        {"invert-mean-square", reference::InvertMeanSquare},
        {"chroma-key-negative", reference::ChromaKeyNegative},
        {"histogram-stretch", reference::HistogramStretch},
        {"time-inversion", reference::TimeInversion},
        {"sunset", reference::Sunset},
        {"pro-watercolour", reference::ProWatercolour},
        {"nostalgia", reference::Nostalgia},
        {"watercolour-style", reference::WatercolourStyle},
    };
    return forms;
}

// Pictures with flat areas, edges, extremes and noise, so that clamps,
// wraps, thresholds and ties all occur.
Picture Varied(int32_t w, int32_t h, std::mt19937& random, int style = -1)
{
    Picture p(w, h);
    if (style < 0)
        style = int(random() % 4);
    for (int64_t k = 0; k < int64_t(w) * h; ++k)
        for (int ch = 0; ch < 3; ++ch) {
            uint8_t v;
            switch (style) {
            case 0: v = uint8_t(random()); break;
            case 1: v = uint8_t((random() % 3) * 127); break;
            case 2: v = uint8_t(200 + random() % 56); break;
            default: v = uint8_t((k % w) * 255 / std::max(1, w - 1) + random() % 8); break;
            }
            p.at(k, ch) = v;
        }
    return p;
}

struct Outcome {
    std::vector<uint8_t> result, undone, redone;
    int32_t edits;
    std::vector<int64_t> positions;
    int pumps;
    bool cancelled;
};

Outcome RunEffectOnce(const Picture& picture, uint32_t offset, EffectFunction effect, int cancel_at, int runs)
{
    Bench b(picture, offset);
    b.host.cancel_at_pump = cancel_at;
    for (int i = 0; i < runs; ++i)
        effect(b.context); // a second run reuses planes holding the first run's values
    Outcome o;
    o.result = b.doc.file_bytes;
    o.edits = b.doc.edit_count;
    o.positions = b.host.positions;
    o.pumps = b.host.pumps;
    o.cancelled = b.host.last_cancelled;
    b.doc.Undo();
    o.undone = b.doc.file_bytes;
    b.doc.Redo();
    o.redone = b.doc.file_bytes;
    return o;
}

TEST(FastForms, GiveThePlainBytesOnPicturesOfEveryShape)
{
    std::mt19937 random(20261206);
    std::vector<std::pair<int32_t, int32_t>> sizes;
    for (int32_t w = 1; w <= 9; ++w)
        for (int32_t h = 1; h <= 9; h += 2)
            sizes.push_back({w, h});
    sizes.insert(sizes.end(), {{10, 10}, {13, 12}, {41, 17}, {64, 9}, {3, 50}, {257, 5}, {2100, 3}, {97, 61}});
    for (const EffectEntry& effect : EffectCatalogue()) {
        const EffectFunction plain = PlainForms().at(effect.batch_name);
        for (auto [w, h] : sizes) {
            const Picture picture = Varied(w, h, random);
            const uint32_t offset = random() % 2 ? 54 : 54 + 4 * (random() % 30);
            const int runs = 1 + int(random() % 2);
            const Outcome fast = RunEffectOnce(picture, offset, effect.run, -1, runs);
            const Outcome slow = RunEffectOnce(picture, offset, plain, -1, runs);
            const std::string what = std::string(effect.batch_name) + " " + std::to_string(w) + "x" + std::to_string(h);
            ASSERT_EQ(fast.result, slow.result) << what;
            EXPECT_EQ(fast.undone, slow.undone) << what;
            EXPECT_EQ(fast.redone, slow.redone) << what;
            EXPECT_EQ(fast.edits, slow.edits) << what;
            EXPECT_EQ(fast.positions, slow.positions) << what;
        }
    }
}

TEST(FastForms, StopAtTheSameRowWhenCancelled)
{
    std::mt19937 random(7);
    for (const EffectEntry& effect : EffectCatalogue()) {
        const EffectFunction plain = PlainForms().at(effect.batch_name);
        for (auto [w, h] : {std::pair{23, 19}, {12, 30}, {40, 11}}) {
            // Noise, so that the rough sketch's blends change what they touch.
            const Picture picture = Varied(w, h, random, 0);
            for (int cancel_at : {0, 1, 3, 9, 17, 41, 58}) {
                const Outcome fast = RunEffectOnce(picture, 54, effect.run, cancel_at, 1);
                const Outcome slow = RunEffectOnce(picture, 54, plain, cancel_at, 1);
                const std::string what = std::string(effect.batch_name) + " cancel at " + std::to_string(cancel_at);
                ASSERT_EQ(fast.result, slow.result) << what;
                EXPECT_EQ(fast.pumps, slow.pumps) << what;
                EXPECT_EQ(fast.cancelled, slow.cancelled) << what;
                EXPECT_EQ(fast.edits, slow.edits) << what;
                EXPECT_EQ(fast.undone, slow.undone) << what;
                EXPECT_EQ(fast.redone, slow.redone) << what;
            }
        }
    }
}

// The whole-number forms of kernels 3 and 8 against the extended-precision
// sum over every combination of corner, edge and centre sums where the
// decimal value is a whole number (the only places the two could part),
// and a sample of all others.
TEST(FastForms, FractionalKernelsTruncateLikeTheExtendedSum)
{
    Document doc;
    EffectHost host;
    CRand random_source;
    EffectContext context(doc, host, random_source);
    // A 3x3 plane around element 4 whose corner, edge and centre sums are given.
    auto check = [&](uint32_t kernel, int corners, int edges, int centre) {
        uint8_t plane[3 * 3 + 5] = {};
        const int corner_index[4] = {0, 2, 6, 8}, edge_index[4] = {1, 3, 5, 7};
        for (int i = 0; i < 4; ++i) {
            plane[corner_index[i]] = uint8_t(std::min(255, std::max(0, corners - 255 * i)));
            plane[edge_index[i]] = uint8_t(std::min(255, std::max(0, edges - 255 * i)));
        }
        plane[4] = uint8_t(centre);
        uint8_t fast[3 * 3 + 5] = {};
        if (kernel == 3)
            rows::Blur(plane, fast, 4, 1, 3);
        else
            rows::MovingAverage(plane, fast, 4, 1, 3);
        const uint8_t plain = StoreByte(ApplyKernel(context.KernelBank(kernel), context.GatherNeighbourhood(plane, 3, 1, 1)));
        return fast[4] == plain;
    };
    int64_t checked = 0;
    for (int corners = 0; corners <= 1020; ++corners)
        for (int edges = 0; edges <= 1020; ++edges)
            for (int centre = 0; centre <= 255; ++centre) {
                const bool whole = (8 * corners + 12 * edges + 20 * centre) % 100 == 0;
                if (whole || (corners * 7 + edges * 13 + centre) % 997 == 0) {
                    ASSERT_TRUE(check(3, corners, edges, centre)) << corners << " " << edges << " " << centre;
                    ++checked;
                }
            }
    EXPECT_GT(checked, 2000000);
    // Kernel 8: eight neighbours with one sum, and the centre.
    for (int around = 0; around <= 2040; ++around)
        for (int centre = 0; centre <= 255; ++centre) {
            const int corners = std::min(around, 1020);
            ASSERT_TRUE(check(8, corners, around - corners, centre)) << around << " " << centre;
        }
}

} // namespace
} // namespace korvanti::testing
