// Picture effects: the sunset tint with its corner glow, nostalgia, and the
// two watercolour looks.
#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {

// Over rows 1 to H - 1 and columns 1 to W - 1, with no progress and no
// messages: a tint where the dominant channel is within e of 255, then the
// glow 20 div r + 40 div c lifts blue by 30 + glow, green by 16 + glow / 5
// and red by 24 + glow / 3, each only where the result stays within 255.
void Sunset(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context);
    PlaneSet s = Sources(doc);
    const auto sums = SumChannels(doc);
    const int32_t peak = PeakChannelMean(doc, sums);
    const int64_t n = int64_t{doc.plane_width} * doc.plane_height + 1;
    const int32_t e = peak / 4;
    int dominant = 0;
    for (int k = 0; k < 3; ++k)
        if (sums[k] / n == peak)
            dominant = k + 1;
    const long double fifth = 0.2L;
    const long double third = 1.0L / 3.0L;
    for (context.row_cursor = 1; context.row_cursor <= doc.plane_height - 1; ++context.row_cursor) {
        const int32_t r = context.row_cursor;
        for (int32_t c = 1; c <= doc.plane_width - 1; ++c) {
            const int64_t i = int64_t{r} * doc.plane_width + c;
            uint8_t &b = s[0][i], &g = s[1][i], &red = s[2][i];
            auto lift = [](uint8_t& v, int by) { v = v + by <= 255 ? uint8_t(v + by) : v; };
            if (dominant == 1 && b + e >= 255)
                lift(g, 20);
            if (dominant == 2 && g + e >= 255) {
                lift(b, 100);
                lift(g, 5);
                lift(red, 2);
            }
            if (dominant == 3 && red + e >= 255)
                lift(b, 70);
            const int glow = 20 / r + 40 / c;
            lift(b, 30 + glow);
            const long double lifted_green = static_cast<long double>(g + 16) + glow * fifth;
            g = lifted_green <= 255 ? StoreByte(lifted_green) : g;
            const long double lifted_red = static_cast<long double>(red + 24) + glow * third;
            red = lifted_red <= 255 ? StoreByte(lifted_red) : red;
        }
    }
    MergeFrom(doc, s);
    context.EndEffect();
}

// Over the full grid, every channel value at or below the peak mean
// becomes 0.
void Nostalgia(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context);
    PlaneSet s = Sources(doc);
    const int32_t peak = PeakChannelMean(doc, SumChannels(doc));
    ForEachElement(context, 0, doc.plane_height - 1, 0, doc.plane_width - 1, [&](int64_t i, int32_t, int32_t) {
        for (int k = 0; k < 3; ++k)
            s[k][i] = s[k][i] <= peak ? 0 : s[k][i];
    });
    MergeFrom(doc, s);
    context.EndEffect();
}

// Five median passes, one undo copy.
void ProWatercolour(EffectContext& context)
{
    StartRun(context);
    for (int pass = 0; pass < 5; ++pass)
        MedianPass(context, UndoCopy::None);
    context.EndEffect();
}

// Over rows 3 to H - 5 and columns 3 to W - 5: the median, then kernel 3 on
// the medians. Stage n sets progress to (picture width x r) div 2 x n.
void WatercolourStyle(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, Prefill::FromSource);
    PlaneSet s = Sources(doc), t = Targets(doc);
    const int32_t w = doc.plane_width, h = doc.plane_height;
    for (int stage = 1; stage <= 2; ++stage) {
        if (stage == 2)
            CopyPlanes(t[0], t[1], t[2], s[0], s[1], s[2], w, h);
        for (context.row_cursor = 3; context.row_cursor <= h - 5; ++context.row_cursor) {
            const int32_t r = context.row_cursor;
            for (int32_t c = 3; c <= w - 5; ++c)
                for (int k = 0; k < 3; ++k) {
                    const Neighbourhood n = GatherNeighbourhood(s[k], w, c, r);
                    t[k][int64_t{r} * w + c] = stage == 1 ? MedianOfNine(n) : StoreByte(ApplyKernel(kBlurKernel, n));
                }
            if (context.EndOfRow(int64_t{doc.bitmap.GetWidth()} * r / 2 * stage))
                break;
        }
    }
    MergeFrom(doc, t);
    context.EndEffect();
}

} // namespace korvanti::reference
