// The charcoal and the rough sketch: grey pencil looks built on the emboss
// kernel (lower-left minus upper-right neighbour).
#include <algorithm>
#include <cstring>
#include <vector>

#include "effects/effects.h"
#include "effects/run_steps.h"
#include "engine/row_kernels.h"

namespace korvanti {
namespace {

// Below 135 turns white; otherwise the speckle d (0, 1 or 2) is added,
// wrapping past 255.
KORVANTI_CLONES
void ThresholdAndSpeckle(uint8_t* __restrict values, const uint8_t* __restrict speckle, int64_t count)
{
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t v = values[i];
        const uint8_t lifted = uint8_t(v + speckle[i]); // read whatever v is, so the loop vectorises
        values[i] = v < 135 ? uint8_t(255) : lifted;
    }
}

KORVANTI_CLONES
void TakeEveryOther(const uint8_t* __restrict source, uint8_t* __restrict target, int64_t count)
{
    for (int64_t m = 0; m < count; ++m)
        target[m] = source[2 * m];
}

// Every other element with its block: the truncated mean of the two.
KORVANTI_CLONES
void BlendEveryOther(uint8_t* __restrict values, const uint8_t* __restrict blocks, int64_t count)
{
    for (int64_t m = 0; m < count; ++m)
        values[2 * m] = uint8_t((values[2 * m] + blocks[m]) / 2);
}

// d = (v div 10) div 10 of the draw's low eight bits v: 0, 1 or 2.
KORVANTI_CLONES
void SpeckleOf(const int32_t* __restrict draws, uint8_t* __restrict speckle, int64_t count)
{
    for (int64_t i = 0; i < count; ++i) {
        const int32_t v = draws[i] & 0xFF;
        speckle[i] = uint8_t((v >= 100) + (v >= 200));
    }
}

// The rough sketch's stages, each on the one grey plane t.

// Emboss pass, grey, into a plane that starts at zero: the border and rows
// left by a Cancel then threshold to white. Rows read only the stored
// picture, so they go to the worker threads.
void EmbossStage(EffectContext& context, uint8_t* t)
{
    Document& doc = context.doc;
    const int32_t w = doc.plane_width;
    const StoredRows stored(doc, context.PictureBeforeRun());
    const int32_t rows_done = ForEachRowInParallel(
        context, 1, doc.plane_height - 1,
        [&](int32_t r) {
            uint8_t* out = t + int64_t{r} * w + 1; // element (r, 1): pixel 0 of row r
            stored.ForEmbossNeighbours(r, [&](const uint8_t* lower_left, const uint8_t* upper_right, int64_t first,
                                            int64_t count) {
                rows::EmbossToPlane(lower_left, upper_right, out + first, count);
            });
        },
        kRowsPutBackByCaller);
    ForEachUnwrittenRun(doc, 1, rows_done, 1, w - 1, [&](int64_t begin, int64_t end) {
        std::memset(t + begin, 0, static_cast<size_t>(end - begin));
    });
}

// Threshold and speckle: one draw per element. No progress and no messages
// here.
void SpeckleStage(EffectContext& context, uint8_t* t, int64_t pixels)
{
    constexpr int64_t kBatch = 4096;
    std::vector<int32_t> draws(kBatch);
    std::vector<uint8_t> speckle(kBatch);
    for (int64_t p = 1; p <= pixels; p += kBatch) {
        const int64_t batch = std::min(kBatch, pixels - p + 1);
        context.Random().Fill(draws.data(), static_cast<size_t>(batch));
        SpeckleOf(draws.data(), speckle.data(), batch);
        ThresholdAndSpeckle(t + p, speckle.data(), batch);
    }
    context.row_cursor = static_cast<int32_t>(pixels + 1);
}

// Where the blocks of the rough sketch are kept: slots s apart per block
// row. The stride is about a quarter of the width while block columns run
// to half of it, so two blocks share each slot and the later one wins.
struct BlockSlots {
    explicit BlockSlots(const Document& doc)
        : stride((doc.loaded_width / 2) / 2), count(4 * ((stride * (doc.loaded_height / 2)) / 2 + stride))
    {
    }
    // The first slot of plane row r (an even row) and how many of n block
    // columns from it fit.
    int64_t First(int32_t r) const { return (r / 2) * stride; }
    int64_t Fitting(int32_t r, int64_t n) const { return std::min<int64_t>(n, count - First(r)); }

    int64_t stride, count;
};

// Block sampling: columns 0, 2, 4 ... W - 2 of every even row go to
// consecutive slots.
void SampleStage(EffectContext& context, const uint8_t* t, const BlockSlots& slots, std::vector<uint8_t>& blocks)
{
    const int32_t w = context.doc.plane_width;
    blocks.assign(static_cast<size_t>(slots.count), 0);
    ForEachRow(context, 0, context.doc.plane_height - 2, [&](int32_t r) {
        if (r % 2 == 0)
            TakeEveryOther(t + int64_t{r} * w, blocks.data() + slots.First(r), slots.Fitting(r, (int64_t{w} - 2) / 2 + 1));
    });
}

// Blending, with a pump point at every block step. A Cancel handled there
// skips that step's blend and ends the pass. Each element is blended at
// most once and reads only itself and the block buffer, and nothing the
// message pump runs looks at the planes, so the blends of a row are applied
// together once its steps are through, in place. The steps themselves do
// no work, so when a pump is not due at a step it is not due at the rest of
// the row either.
void BlendStage(EffectContext& context, uint8_t* t, const BlockSlots& slots, const std::vector<uint8_t>& blocks)
{
    const int32_t w = context.doc.plane_width;
    bool cancelled = false;
    for (context.row_cursor = 0; !cancelled && context.row_cursor <= context.doc.plane_height - 9;
         context.row_cursor += 2) {
        const int32_t r = context.row_cursor;
        int32_t steps = 0;
        for (int32_t c = 0; c <= w - 9; c += 2) {
            if (!context.PumpDue()) {
                steps += (w - 9 - c) / 2 + 1;
                break;
            }
            context.column_cursor = c;
            context.ProcessMessages();
            if (context.row_cursor != r) {
                cancelled = true;
                break;
            }
            context.SetProgress(36 * ((int64_t{r} * w + c) / 2));
            ++steps;
        }
        BlendEveryOther(t + int64_t{r} * w, blocks.data() + slots.First(r), slots.Fitting(r, steps));
    }
}

} // namespace

void CharcoalSketch(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, UndoCopy::Swap, PlaneUse::Sources);
    PlaneSet s = Sources(doc);
    const int32_t w = doc.plane_width;
    ForEachRow(context, 1, doc.plane_height - 1,
               [&](int32_t r) { rows::Charcoal(s.data(), int64_t{r} * w + 1, w - 1, w); });
    MergeFrom(doc, s[0], s[0], s[0]);
    context.EndEffect();
}

// Every element the emboss pass computes is grey, the others are zero, and
// every later pass treats the three channels alike, so the whole effect runs
// on one plane and the picture takes it as grey. The emboss reads the stored
// rows, not the planes, so that plane is the first source plane, and a
// document without undo makes no others.
void RoughSketch(EffectContext& context)
{
    Document& doc = context.doc;
    context.BeginEffect(PlaneUse::Sources);
    context.SaveUndoBySwap();
    uint8_t* t = doc.source_planes[0].data();
    const int64_t pixels = int64_t{doc.plane_width} * doc.plane_height;
    const BlockSlots slots(doc);
    EmbossStage(context, t);
    SpeckleStage(context, t, pixels);
    SampleStage(context, t, slots, context.scratch[0]);
    BlendStage(context, t, slots, context.scratch[0]);
    auto merge = [&](int64_t begin, int64_t end) { MergeGreyRange(doc, t, begin, end); };
    ParallelFor(1, pixels + 1, PieceElements(), merge);
    context.EndEffect();
}

} // namespace korvanti
