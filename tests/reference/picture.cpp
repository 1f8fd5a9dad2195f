// Picture effects: the sunset tint with its corner glow, nostalgia, and the
// two watercolour looks.
#include <array>

#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {

std::array<int64_t, 3> SumChannels(EffectContext& context); // colour.cpp

void Sunset(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context);
    PlaneSet s = Sources(doc);
    const auto sums = SumChannels(context);
    const int32_t peak = context.PeakChannelMean(sums[0], sums[1], sums[2]);
    const int64_t n = int64_t{doc.plane_width} * doc.plane_height + 1;
    const int32_t e = peak / 4;
    int dominant = 0;
    if (sums[0] / n == peak)
        dominant = 1;
    if (sums[1] / n == peak)
        dominant = 2;
    if (sums[2] / n == peak)
        dominant = 3;

    const long double fifth = 0.2L;
    const long double third = 1.0L / 3.0L; // the long double nearest a third
    const int32_t w = doc.plane_width;
    // No progress and no messages: the loop always runs to the end.
    for (context.row_cursor = 1; context.row_cursor <= doc.plane_height - 1; ++context.row_cursor) {
        const int32_t r = context.row_cursor;
        for (int32_t c = 1; c <= w - 1; ++c) {
            const int64_t i = int64_t{r} * w + c;
            uint8_t& b = s[0][i];
            uint8_t& g = s[1][i];
            uint8_t& red = s[2][i];
            if (dominant == 1 && b + e >= 255) {
                if (g + 20 <= 255)
                    g += 20;
            }
            if (dominant == 2 && g + e >= 255) {
                if (b + 100 <= 255)
                    b += 100;
                if (g + 5 <= 255)
                    g += 5;
                if (red + 2 <= 255)
                    red += 2;
            }
            if (dominant == 3 && red + e >= 255) {
                if (b + 70 <= 255)
                    b += 70;
            }
            const int glow = 20 / r + 40 / c;
            if (b + 30 + glow <= 255)
                b = static_cast<uint8_t>(b + 30 + glow);
            const long double lifted_green = static_cast<long double>(g + 16) + glow * fifth;
            if (lifted_green <= 255)
                g = StoreByte(lifted_green);
            const long double lifted_red = static_cast<long double>(red + 24) + glow * third;
            if (lifted_red <= 255)
                red = StoreByte(lifted_red);
        }
    }
    MergeFrom(doc, s);
    context.EndEffect();
}

void Nostalgia(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context);
    PlaneSet s = Sources(doc);
    const auto sums = SumChannels(context);
    const int32_t peak = context.PeakChannelMean(sums[0], sums[1], sums[2]);
    const int32_t w = doc.plane_width;
    ForEachRow(context, 0, doc.plane_height - 1, [&](int32_t r) {
        for (int32_t c = 0; c <= w - 1; ++c) {
            const int64_t i = int64_t{r} * w + c;
            for (int k = 0; k < 3; ++k) {
                if (s[k][i] <= peak)
                    s[k][i] = 0;
            }
        }
    });
    MergeFrom(doc, s);
    context.EndEffect();
}

void ProWatercolour(EffectContext& context)
{
    StartRun(context);
    for (int pass = 0; pass < 5; ++pass)
        MedianPass(context, 0);
    context.EndEffect();
}

void WatercolourStyle(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, true, Prefill::FromSource);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    context.KernelBank(3);
    const int32_t w = doc.plane_width;
    const int32_t h = doc.plane_height;
    const int64_t picture_width = doc.bitmap.GetWidth();

    for (context.row_cursor = 3; context.row_cursor <= h - 5; ++context.row_cursor) {
        const int32_t r = context.row_cursor;
        for (int32_t c = 3; c <= w - 5; ++c) {
            for (int k = 0; k < 3; ++k)
                t[k][int64_t{r} * w + c] = MedianOfNine(context.GatherNeighbourhood(s[k], w, c, r));
        }
        if (context.EndOfRow((picture_width * r) / 2 * 1))
            break;
    }

    CopyPlanes(t[0], t[1], t[2], s[0], s[1], s[2], w, h);

    for (context.row_cursor = 3; context.row_cursor <= h - 5; ++context.row_cursor) {
        const int32_t r = context.row_cursor;
        for (int32_t c = 3; c <= w - 5; ++c) {
            for (int k = 0; k < 3; ++k) {
                t[k][int64_t{r} * w + c] =
                    StoreByte(ApplyKernel(context.kernel, context.GatherNeighbourhood(s[k], w, c, r)));
            }
        }
        if (context.EndOfRow((picture_width * r) / 2 * 2))
            break;
    }

    MergeFrom(doc, t);
    context.EndEffect();
}

} // namespace korvanti::reference
