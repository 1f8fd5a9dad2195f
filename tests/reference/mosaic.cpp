// Mosaic shrink: every 2 x 2 block of plane elements takes the value of its
// first (lower-left) element, channel by channel.
#include <vector>

#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {

void Mosaic(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, true, Prefill::FromSource);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    const int32_t w = doc.plane_width;
    // One value per block column and channel; a block's value is taken at
    // its first element, which the loop always reaches before the others.
    std::vector<uint8_t> block_values[3];
    for (auto& values : block_values)
        values.assign(static_cast<size_t>(w / 2 + 1), 0);
    ForEachRow(context, 0, doc.plane_height - 2, [&](int32_t r) {
        for (int32_t c = 0; c <= w - 2; ++c) {
            const int64_t p = int64_t{r} * w + c;
            for (int k = 0; k < 3; ++k) {
                if (r % 2 == 0 && c % 2 == 0)
                    block_values[k][c / 2] = s[k][p];
                t[k][p] = block_values[k][c / 2];
            }
        }
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

} // namespace korvanti::reference
