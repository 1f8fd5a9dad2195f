// Sharpen, blur, emboss and the two Laplacian edge filters: a 3x3 kernel
// over each channel plane, rows and columns ascending, channels 0 to 2.
#include <algorithm>
#include <cstring>

#include "effects/effects.h"
#include "effects/run_steps.h"
#include "engine/row_kernels.h"

namespace korvanti {
namespace {

// The Laplacian filters write each element's grey mean straight back into
// source channel 0, so later channel-0 neighbourhoods read results. Rows
// are computed a band at a time and written back one by one, each followed
// by the usual progress and messages.
void Laplacian(EffectContext& context, bool all_neighbours)
{
    Document& doc = context.doc;
    StartRun(context, UndoCopy::Swap);
    PlaneSet s = Sources(doc);
    const int32_t w = doc.PlaneWidth;
    const int32_t last = doc.PlaneHeight - 1;
    rows::LaplacianBand band;
    int32_t band_first = 0, band_rows = 0;
    ForEachRow(context, 1, last, [&](int32_t r) {
        if (r >= band_first + band_rows) {
            band_first = r;
            band_rows = std::min(rows::LaplacianBand::kRows, last - r + 1);
            rows::Laplacian(s.data(), band_first, band_rows, w, all_neighbours, band);
        }
        if (w > 1)
            std::memcpy(s[0] + int64_t{r} * w + 1, band.Result(r - band_first) + 1, static_cast<size_t>(w - 1));
    });
    MergeFrom(doc, s[0], s[0], s[0]);
    context.EndEffect();
}

} // namespace

void Sharpen(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, UndoCopy::Swap);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    FilterPass(context, 1, doc.PlaneHeight - 2, 1, doc.PlaneWidth - 2, [&](int64_t first, int64_t count) {
        for (int k = 0; k < 3; ++k)
            rows::Sharpen(s[k], t[k], first, count, doc.PlaneWidth, rows::Overflow::Clamp);
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

void Blur(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, UndoCopy::Swap);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    FilterPass(context, 1, doc.PlaneHeight - 1, 1, doc.PlaneWidth - 1, [&](int64_t first, int64_t count) {
        for (int k = 0; k < 3; ++k)
            rows::Blur(s[k], t[k], first, count, doc.PlaneWidth);
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

void Emboss(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, UndoCopy::Swap);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    FilterPass(context, 1, doc.PlaneHeight - 1, 1, doc.PlaneWidth - 1, [&](int64_t first, int64_t count) {
        rows::EmbossGrey(s.data(), t.data(), first, count, doc.PlaneWidth);
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

void LaplacianStrong(EffectContext& context) { Laplacian(context, false); }
void LaplacianWeak(EffectContext& context) { Laplacian(context, true); }

} // namespace korvanti
