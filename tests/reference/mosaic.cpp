// Mosaic shrink: over rows 0 to H - 2 and columns 0 to W - 2, every 2 x 2
// block of plane elements takes, channel by channel, the value of its first
// element (r - r mod 2, c - c mod 2).
#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {

void Mosaic(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, Prefill::FromSource);
    PlaneSet s = Sources(doc), t = Targets(doc);
    const int32_t w = doc.plane_width;
    ForEachElement(context, 0, doc.plane_height - 2, 0, w - 2, [&](int64_t p, int32_t c, int32_t r) {
        for (int k = 0; k < 3; ++k)
            t[k][p] = s[k][int64_t{r - r % 2} * w + (c - c % 2)];
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

} // namespace korvanti::reference
