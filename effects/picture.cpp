// Picture effects: the sunset tint with its corner glow, nostalgia, and the
// two watercolour looks.
#include <algorithm>
#include <array>
#include <utility>

#include "effects/effects.h"
#include "effects/effect_runs.h"
#include "engine/row_kernels.h"

namespace korvanti {

namespace {

// What the sunset does to one channel value for a given glow: the real sum
// (value + offset) + glow x factor, taken only when it stays at most 255,
// truncated. Worked out once per glow and value in extended precision.
struct SunsetLifts {
    std::array<std::array<uint8_t, 256>, 61> green;
    std::array<std::array<uint8_t, 256>, 61> red;
    // Where a table is "value + rise up to limit, value above it", as it
    // is for every glow, the rows can be lifted without looking it up.
    struct Rise {
        bool simple;
        uint8_t rise;
        uint8_t limit;
    };
    std::array<Rise, 61> green_rise;
    std::array<Rise, 61> red_rise;

    static Rise Shape(const std::array<uint8_t, 256>& table)
    {
        const int rise = table[0];
        int limit = -1;
        for (int v = 0; v < 256 && table[v] == v + rise; ++v)
            limit = v;
        for (int v = limit + 1; v < 256; ++v)
            if (table[v] != v)
                return {false, 0, 0};
        return {limit >= 0, uint8_t(rise), uint8_t(limit)};
    }

    SunsetLifts()
    {
        const long double fifth = 0.2L;
        const long double third = 1.0L / 3.0L; // the long double nearest a third
        for (int glow = 0; glow <= 60; ++glow) {
            for (int v = 0; v < 256; ++v) {
                const long double lifted_green = static_cast<long double>(v + 16) + glow * fifth;
                green[glow][v] = lifted_green <= 255 ? StoreByte(lifted_green) : uint8_t(v);
                const long double lifted_red = static_cast<long double>(v + 24) + glow * third;
                red[glow][v] = lifted_red <= 255 ? StoreByte(lifted_red) : uint8_t(v);
            }
            green_rise[glow] = Shape(green[glow]);
            red_rise[glow] = Shape(red[glow]);
        }
    }
};

const SunsetLifts& Lifts()
{
    static const SunsetLifts lifts;
    return lifts;
}

// The sunset's tint: where the dominant channel (1 blue, 2 green, 3 red;
// 0 none) is within e of 255, other channels take an extra lift.
struct SunsetTint {
    int dominant;
    int e;
};

// One pixel: the tint, then the glow's lifts (blue by 30 + glow, green and
// red by the lift tables), each only where the result stays within 255.
inline void SunsetPixel(uint8_t& b, uint8_t& g, uint8_t& red, SunsetTint tint, int glow, const SunsetLifts& lifts)
{
    if (tint.dominant == 1 && b + tint.e >= 255) {
        if (g + 20 <= 255)
            g = uint8_t(g + 20);
    } else if (tint.dominant == 2 && g + tint.e >= 255) {
        if (b + 100 <= 255)
            b = uint8_t(b + 100);
        if (g + 5 <= 255)
            g = uint8_t(g + 5);
        if (red + 2 <= 255)
            red = uint8_t(red + 2);
    } else if (tint.dominant == 3 && red + tint.e >= 255) {
        if (b + 70 <= 255)
            b = uint8_t(b + 70);
    }
    if (b + 30 + glow <= 255)
        b = uint8_t(b + 30 + glow);
    g = lifts.green[glow][g];
    red = lifts.red[glow][red];
}

// Elements of one row where the glow is the same throughout, written as
// selects so that the loop vectorises; Dominant is the dominant channel.
template <int Dominant>
inline void SunsetRunOf(uint8_t* __restrict b, uint8_t* __restrict g, uint8_t* __restrict red, int64_t count,
                        int e, int glow, SunsetLifts::Rise green, SunsetLifts::Rise red_rise)
{
    const uint8_t key = uint8_t(255 - e);
    const int blue_limit = 225 - glow;
    for (int64_t i = 0; i < count; ++i) {
        uint8_t vb = b[i], vg = g[i], vr = red[i];
        if constexpr (Dominant == 1) {
            vg = (vb >= key && vg <= 235) ? uint8_t(vg + 20) : vg;
        } else if constexpr (Dominant == 2) {
            const bool tinted = vg >= key;
            vb = (tinted && vb <= 155) ? uint8_t(vb + 100) : vb;
            vr = (tinted && vr <= 253) ? uint8_t(vr + 2) : vr;
            vg = (tinted && vg <= 250) ? uint8_t(vg + 5) : vg;
        } else if constexpr (Dominant == 3) {
            vb = (vr >= key && vb <= 185) ? uint8_t(vb + 70) : vb;
        }
        b[i] = vb <= blue_limit ? uint8_t(vb + 30 + glow) : vb;
        g[i] = vg <= green.limit ? uint8_t(vg + green.rise) : vg;
        red[i] = vr <= red_rise.limit ? uint8_t(vr + red_rise.rise) : vr;
    }
}

KORVANTI_CLONES
void SunsetRun(uint8_t* b, uint8_t* g, uint8_t* red, int64_t count, int dominant, int e, int glow,
               SunsetLifts::Rise green, SunsetLifts::Rise red_rise)
{
    switch (dominant) {
    case 1: SunsetRunOf<1>(b, g, red, count, e, glow, green, red_rise); break;
    case 2: SunsetRunOf<2>(b, g, red, count, e, glow, green, red_rise); break;
    case 3: SunsetRunOf<3>(b, g, red, count, e, glow, green, red_rise); break;
    default: SunsetRunOf<0>(b, g, red, count, e, glow, green, red_rise); break;
    }
}

// The dominant channel is the last whose mean equals the peak mean.
SunsetTint TintOf(const ChannelPeak& channels)
{
    SunsetTint tint{0, channels.peak / 4};
    for (int k = 0; k < 3; ++k)
        if (channels.sums[k] / channels.elements == channels.peak)
            tint.dominant = k + 1;
    return tint;
}

// Columns 1 to W - 1 of plane row r. The glow 20 / r + 40 / c is the row's
// own from column 41 on, where the row is done in one run when the lift
// tables have a simple shape.
void SunsetRow(uint8_t* b, uint8_t* g, uint8_t* red, int32_t w, int32_t r, SunsetTint tint, const SunsetLifts& lifts)
{
    const int32_t varying_end = std::min(w - 1, 40);
    for (int32_t c = 1; c <= varying_end; ++c)
        SunsetPixel(b[c], g[c], red[c], tint, 20 / r + 40 / c, lifts);
    const int glow = 20 / r;
    const int32_t first = varying_end + 1;
    if (first > w - 1)
        return;
    if (lifts.green_rise[glow].simple && lifts.red_rise[glow].simple) {
        SunsetRun(b + first, g + first, red + first, w - first, tint.dominant, tint.e, glow, lifts.green_rise[glow],
                  lifts.red_rise[glow]);
    } else {
        for (int32_t c = first; c <= w - 1; ++c)
            SunsetPixel(b[c], g[c], red[c], tint, glow, lifts);
    }
}

} // namespace

void Sunset(EffectContext& context)
{
    Document& doc = context.doc;
    const SunsetLifts& lifts = Lifts();
    const int32_t w = doc.plane_width;
    // No progress and no messages: the loop always runs to the end, its
    // rows on the worker threads.
    if (WorkerThreads() > 1 && doc.keep_undo) {
        // From the undo copy straight into the picture (picture_pass.h).
        StartPictureRun(context);
        const Bytes& picture = context.PictureBeforeRun();
        const SunsetTint tint = TintOf(PeakChannelMean(doc, picture));
        const PicturePixels pixels(doc, picture);
        ParallelForEach(1, doc.plane_height, RowsPerPiece(w, doc.plane_height, WorkerThreads()), [&](int64_t r) {
            uint8_t* const* row = WorkerPlanes(0, w);
            pixels.Split(r * w, (r + 1) * w, row);
            SunsetRow(row[0], row[1], row[2], w, static_cast<int32_t>(r), tint, lifts);
            pixels.Merge(r * w, (r + 1) * w, row, r * w);
        });
        context.row_cursor = std::max(1, doc.plane_height);
        pixels.Keep(0, w);
        pixels.Keep(int64_t{w} * doc.plane_height, int64_t{w} * doc.plane_height + 1);
        context.EndEffect();
        return;
    }
    StartRun(context, UndoCopy::Swap, PlaneUse::Sources);
    PlaneSet s = Sources(doc);
    const SunsetTint tint = TintOf(PeakChannelMean(doc));
    ParallelForEach(1, doc.plane_height, RowsPerPiece(w, doc.plane_height, WorkerThreads()), [&](int64_t r) {
        SunsetRow(s[0] + r * w, s[1] + r * w, s[2] + r * w, w, static_cast<int32_t>(r), tint, lifts);
    });
    context.row_cursor = std::max(1, doc.plane_height);
    MergeFrom(doc, s);
    context.EndEffect();
}

// Every channel value at or below the peak mean becomes 0.
void Nostalgia(EffectContext& context)
{
    RunPixelEffectOfPeak(context, [](int32_t peak) {
        const uint8_t limit = uint8_t(peak);
        return EachChannel([limit](uint8_t v) { return v <= limit ? uint8_t(0) : v; });
    });
}

void ProWatercolour(EffectContext& context)
{
    // Each pass splits file_bytes afresh, so the undo copy must leave it whole.
    context.BeginEffect(PlaneUse::None);
    context.SaveUndoByCopy();
    if (WorkerThreads() == 1 || !context.doc.keep_undo) {
        for (int pass = 0; pass < 5; ++pass)
            MedianPass(context, UndoCopy::None);
        context.EndEffect();
        return;
    }
    // On the worker threads each pass takes the last one's result planes
    // as its sources, which is what splitting its merged picture would
    // give them (every pass ends with every result element written, and
    // begins with element 0 and the spare tail of every plane cleared), so
    // only the first pass splits and only the last merges.
    Document& doc = context.doc;
    for (int pass = 0; pass < 5; ++pass) {
        context.BeginEffect();
        if (pass > 0)
            std::swap(doc.source_planes, doc.target_planes);
        FilterPlanesAlongside(context, pass == 0 ? &doc.file_bytes : nullptr, pass == 4, kInterior, rows::Median);
    }
    context.EndEffect();
}

void WatercolourStyle(EffectContext& context)
{
    Document& doc = context.doc;
    const int32_t w = doc.plane_width;
    const int32_t h = doc.plane_height;
    const int64_t picture_width = doc.bitmap.GetWidth();

    // The progress climbs to about half in the first stage, then again to
    // nearly full in the second.
    const auto stage = [picture_width](int64_t number) {
        return [picture_width, number](int32_t r) { return (picture_width * r) / 2 * number; };
    };
    if (!doc.keep_undo) {
        // Each stage from the planes into the picture; the second splits
        // the first one's result into the planes.
        StartRun(context, UndoCopy::None, PlaneUse::Sources);
        int stage_number = 1;
        for (const auto filter : {rows::Median, rows::Blur}) {
            if (stage_number == 2)
                SplitPicture(doc, doc.file_bytes, Sources(doc));
            PassIntoPicture(
                context, 3, h - 5, 3, w - 5,
                [&](int32_t r, PlaneSet s, uint8_t* const results[3]) {
                    for (int k = 0; k < 3 && w > 7; ++k)
                        filter(s[k] + int64_t{r - 1} * w, results[k], int64_t{w} + 3, w - 7, w);
                },
                stage(stage_number++));
        }
        context.EndEffect();
        return;
    }
    if (WorkerThreads() > 1) {
        // The split alongside the first stage, the merge alongside the
        // second, which takes the first one's result planes as its sources
        // instead of a copy of them: it writes every result element, so
        // the planes end as the copy leaves them.
        constexpr Border kStageBorder{3, 4}; // rows 3 to H - 5, columns 3 to W - 5
        context.BeginEffect();
        context.SaveUndoBySwap();
        FilterPlanesAlongside(context, &context.PictureBeforeRun(), false, kStageBorder, rows::Median, stage(1));
        std::swap(doc.source_planes, doc.target_planes);
        FilterPlanesAlongside(context, nullptr, true, kStageBorder, rows::Blur, stage(2));
        context.EndEffect();
        return;
    }
    StartRun(context, UndoCopy::Swap);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    const int32_t rows_done = ForEachRowInParallel(
        context, 3, h - 5,
        [&](int32_t r) {
            for (int k = 0; k < 3; ++k)
                rows::Median(s[k], t[k], int64_t{r} * w + 3, w - 7, w);
        },
        stage(1), kRowsPutBackByCaller);
    FillUnwritten(doc, 3, rows_done, 3, w - 5);

    CopyPlanesOnWorkers(doc, t, s);

    // Rows the blur has not reached keep the first stage, as the source
    // planes do: rows done past a Cancel take it back from there.
    ForEachRowInParallel(
        context, 3, h - 5,
        [&](int32_t r) {
            for (int k = 0; k < 3; ++k)
                rows::Blur(s[k], t[k], int64_t{r} * w + 3, w - 7, w);
        },
        stage(2), [&](int32_t first, int32_t) { FillUnwritten(doc, 3, first - 3, 3, w - 5); });

    MergeFrom(doc, t);
    context.EndEffect();
}

} // namespace korvanti
