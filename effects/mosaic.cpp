// Mosaic shrink: every 2 x 2 block of plane elements takes the value of its
// first (lower-left) element, channel by channel.
#include "effects/effects.h"
#include "effects/run_steps.h"

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

void Mosaic(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, UndoCopy::Swap);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    const int64_t w = doc.plane_width;
    // A block's value is taken at its first element, which the loop always
    // reaches first: plane row r reads the block row r - r mod 2.
    FilterPass(context, 0, doc.plane_height - 2, 0, doc.plane_width - 2, [&](int64_t first, int64_t count) {
        const int64_t r = first / w;
        const int64_t block_row = (r - r % 2) * w;
        for (int k = 0; k < 3; ++k)
            SampleBlocks(s[k] + block_row, t[k] + first, count);
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

} // namespace korvanti
