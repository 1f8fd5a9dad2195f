// The fast effects against their plain forms: the same bytes, undo and redo,
// edits, progress and Cancel behaviour, for every effect on pictures of many
// shapes, cancelled at many points, on one worker thread and on several.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "effects/catalogue.h"
#include "engine/row_kernels.h"
#include "engine/worker_threads.h"
#include "reference_effects.h"
#include "toolkit.h"
#include "engine_bench.h"

namespace korvanti::testing {
namespace {

using namespace reference;
const std::map<std::string_view, EffectFunction> kPlainForms = {
    {"sharpen", Sharpen}, {"blur", Blur}, {"emboss", Emboss}, {"laplacian-strong", LaplacianStrong},
    {"laplacian-weak", LaplacianWeak}, {"charcoal-sketch", CharcoalSketch}, {"rough-sketch", RoughSketch},
    {"mosaic", Mosaic}, {"median", Median}, {"median-hard", MedianHard}, {"median-natural", MedianNatural},
    {"moving-average", MovingAverage}, {"geometric-cut", GeometricCut}, {"invert", Invert},
    {"invert-mean-square", InvertMeanSquare}, {"chroma-key-negative", ChromaKeyNegative},
    {"histogram-stretch", HistogramStretch}, {"time-inversion", TimeInversion}, {"sunset", Sunset},
    {"pro-watercolour", ProWatercolour}, {"nostalgia", Nostalgia}, {"watercolour-style", WatercolourStyle},
};

// Pictures with flat areas, edges, extremes and noise, so that clamps,
// wraps, thresholds and ties all occur. Style 0 is noise.
Picture Varied(int32_t w, int32_t h, std::mt19937& random, int style)
{
    Picture p(w, h);
    for (int64_t k = 0; k < int64_t(w) * h; ++k)
        for (int ch = 0; ch < 3; ++ch) {
            switch (style) {
            case 0: p.at(k, ch) = uint8_t(random()); break;
            case 1: p.at(k, ch) = uint8_t((random() % 3) * 127); break;
            case 2: p.at(k, ch) = uint8_t(200 + random() % 56); break;
            default: p.at(k, ch) = uint8_t((k % w) * 255 / std::max(1, w - 1) + random() % 8); break;
            }
        }
    return p;
}

struct Outcome {
    std::vector<uint8_t> result, undone, redone;
    int32_t edits;
    std::vector<int64_t> positions;
    int pumps;
    bool cancelled;
    bool operator==(const Outcome&) const = default;
};

// `runs` runs in a row: a second run reuses planes holding the first run's
// values.
Outcome RunOn(const Picture& picture, uint32_t offset, EffectFunction effect, int cancel_at, int runs)
{
    Bench b(picture, offset);
    // The undo copy holds other pixels, as after an undo: no run may show
    // any of them.
    const int64_t stride = RowStride(b.doc.plane_width);
    for (int64_t y = 0; y < b.doc.plane_height; ++y)
        for (int64_t i = 0; i < 3 * int64_t{b.doc.plane_width}; ++i)
            b.doc.undo_bytes[size_t(offset + y * stride + i)] ^= 0xa5;
    b.host.cancel_at_pump = cancel_at;
    for (int i = 0; i < runs; ++i)
        effect(b.context);
    Outcome o{b.doc.file_bytes, {}, {}, b.doc.edit_count, b.host.positions, b.host.pumps, b.host.last_cancelled};
    b.doc.Undo();
    o.undone = b.doc.file_bytes;
    b.doc.Redo();
    o.redone = b.doc.file_bytes;
    return o;
}

struct Shape {
    int32_t width, height;
    std::vector<int> cancel_at; // pumps at which Cancel is pressed; -1: never
};

std::vector<Shape> Shapes()
{
    std::vector<Shape> shapes;
    for (int32_t w = 1; w <= 9; ++w)
        for (int32_t h = 1; h <= 9; h += 2)
            shapes.push_back({w, h, {-1}});
    for (auto [w, h] : {std::pair{10, 10}, {13, 12}, {41, 17}, {64, 9}, {3, 50}, {257, 5}, {2100, 3}, {97, 61}})
        shapes.push_back({w, h, {-1}});
    for (auto [w, h] : {std::pair{23, 19}, {12, 30}, {40, 11}})
        shapes.push_back({w, h, {0, 1, 3, 9, 17, 41, 58}});
    return shapes;
}

TEST(FastForms, GiveThePlainOutcomeOnEveryShapeAndAtEveryCancelPoint)
{
    std::mt19937 random(20261206);
    const std::vector<Shape> shapes = Shapes();
    for (const EffectEntry& effect : EffectCatalogue())
        for (const Shape& shape : shapes)
            for (int cancel_at : shape.cancel_at) {
                // Cancelled runs on noise, so that the rough sketch's blends
                // change what they touch.
                const bool cancels = cancel_at >= 0;
                const Picture picture = Varied(shape.width, shape.height, random, cancels ? 0 : int(random() % 4));
                const uint32_t offset = cancels || random() % 2 ? 54 : 54 + 4 * (random() % 30);
                const int runs = cancels ? 1 : 1 + int(random() % 2);
                const Outcome plain = RunOn(picture, offset, kPlainForms.at(effect.batch_name), cancel_at, runs);
                // The fast form on one thread and split over several, the
                // rows of a block running past the Cancel; with small pieces
                // as well, so that these pictures take many blocks, as
                // large ones do.
                for (auto [threads, piece] : {std::pair{1, 0}, {2, 0}, {3, 0}, {7, 0}, {2, 40}, {3, 7}, {7, 100}}) {
                    SetWorkerThreads(threads);
                    SetPieceElements(piece);
                    const Outcome fast = RunOn(picture, offset, effect.run, cancel_at, runs);
                    const std::string what = std::string(effect.batch_name) + " " + std::to_string(shape.width) +
                                             "x" + std::to_string(shape.height) + " cancel at " +
                                             std::to_string(cancel_at) + " on " + std::to_string(threads) +
                                             " threads, pieces of " + std::to_string(piece);
                    ASSERT_EQ(fast.result, plain.result) << what;
                    EXPECT_TRUE(fast == plain) << what << ": undo, redo, edit count, progress or Cancel differ";
                }
            }
    SetWorkerThreads(0);
    SetPieceElements(0);
}

// The whole-number forms of the blur and moving-average kernels against the extended-precision
// sum, over every combination of corner, edge and centre sums where the
// decimal value is a whole number (the only places the two could part) and
// a sample of all others.
TEST(FastForms, FractionalKernelsTruncateLikeTheExtendedSum)
{
    // A 3x3 plane around element 4 whose corner, edge and centre sums are given.
    auto agree = [&](const Kernel& kernel, int corners, int edges, int centre) {
        constexpr int kCorners[4] = {0, 2, 6, 8}, kEdges[4] = {1, 3, 5, 7};
        uint8_t plane[3 * 3 + 5] = {}, fast[3 * 3 + 5] = {};
        for (int i = 0; i < 4; ++i) {
            plane[kCorners[i]] = uint8_t(std::clamp(corners - 255 * i, 0, 255));
            plane[kEdges[i]] = uint8_t(std::clamp(edges - 255 * i, 0, 255));
        }
        plane[4] = uint8_t(centre);
        (&kernel == &kBlurKernel ? rows::Blur : rows::MovingAverage)(plane, fast, 4, 1, 3);
        return fast[4] == StoreByte(ApplyKernel(kernel, GatherNeighbourhood(plane, 3, 1, 1)));
    };
    int64_t checked = 0;
    for (int corners = 0; corners <= 1020; ++corners)
        for (int edges = 0; edges <= 1020; ++edges)
            for (int centre = 0; centre <= 255; ++centre)
                if ((8 * corners + 12 * edges + 20 * centre) % 100 == 0 ||
                    (corners * 7 + edges * 13 + centre) % 997 == 0) {
                    ASSERT_TRUE(agree(kBlurKernel, corners, edges, centre)) << corners << " " << edges << " " << centre;
                    ++checked;
                }
    EXPECT_GT(checked, 2000000);
    // The moving average: eight neighbours with one sum, and the centre.
    for (int around = 0; around <= 2040; ++around)
        for (int centre = 0; centre <= 255; ++centre)
            ASSERT_TRUE(agree(kMovingAverageKernel, std::min(around, 1020), std::max(around - 1020, 0), centre)) << around << " " << centre;
}

} // namespace
} // namespace korvanti::testing
