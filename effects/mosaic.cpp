// Mosaic shrink: every 2 x 2 block of plane elements takes the value of its
// first (lower-left) element, channel by channel.
#include "effects/effects.h"
#include "effects/effect_runs.h"

namespace korvanti {
namespace {

// Elements first .. first + count - 1 take the value at block_row + the
// even column at or before theirs.
KORVANTI_CLONES
void SampleBlocks(const uint8_t* __restrict block_row, uint8_t* __restrict out, int64_t count)
{
    int64_t c = 0;
    for (; c + 1 < count; c += 2) {
        out[c] = block_row[c];
        out[c + 1] = block_row[c];
    }
    if (c < count)
        out[c] = block_row[c];
}

} // namespace

// Rows 0 to H - 2, columns 0 to W - 2. A block's value is taken at its
// first element, which the loop always reaches first: plane row r reads the
// block row r - r mod 2.
void Mosaic(EffectContext& context)
{
    Document& doc = context.doc;
    if (!doc.keep_undo) {
        const int64_t w = doc.plane_width;
        StartRun(context, UndoCopy::None, PlaneUse::Sources);
        PassIntoPicture(
            context, 0, doc.plane_height - 2, 0, doc.plane_width - 2,
            [&](int32_t r, PlaneSet s, uint8_t* const results[3]) {
                for (int k = 0; k < 3 && w > 1; ++k)
                    SampleBlocks(s[k] + (r - r % 2) * w, results[k] + w, w - 1);
            },
            UsualPosition(context));
        context.EndEffect();
        return;
    }
    if (WorkerThreads() > 1) {
        // From the undo copy straight into the picture (picture_pass.h),
        // each row from its block row split into a worker's own plane row.
        const int64_t w = doc.plane_width;
        StartPictureRun(context);
        const PicturePixels pixels(doc, context.PictureBeforeRun());
        const int32_t rows_done = ForEachRowPieceInParallel(
            context, 0, doc.plane_height - 2,
            [&](int64_t first, int64_t end) {
                uint8_t* const* block = WorkerPlanes(0, w);
                uint8_t* const* out = WorkerPlanes(1, w);
                for (int64_t r = first; r < end; ++r) {
                    pixels.Split((r - r % 2) * w, (r - r % 2 + 1) * w, block);
                    for (int k = 0; k < 3; ++k)
                        SampleBlocks(block[k], out[k], w - 1);
                    pixels.Merge(r * w, r * w + w - 1, out, r * w);
                    pixels.Keep(r * w + w - 1, (r + 1) * w);
                }
            },
            UsualPosition(context), [&](int32_t first, int32_t last) { pixels.Keep(first * w, (last + 1) * w); });
        pixels.KeepOnWorkers(rows_done * w, w * doc.plane_height + 1);
        context.EndEffect();
        return;
    }
    RunFilterEffectOnPlanes(context, Border{0, 1},
                            [](const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t w) {
                                const int64_t r = first / w;
                                SampleBlocks(src + (r - r % 2) * w, out + first, count);
                            });
}

} // namespace korvanti
