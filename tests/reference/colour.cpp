// Colour effects, pixel by pixel: the two inversions, the chroma-key
// negative, the histogram stretch and the time inversion. The full grid is
// rows 0 to H - 1 and columns 0 to W - 1: elements 0 to W x H - 1.
#include <algorithm>

#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {
namespace {

template <class Body>
void ForEachOfFullGrid(EffectContext& context, Body&& body)
{
    ForEachElement(context, 0, context.doc.plane_height - 1, 0, context.doc.plane_width - 1,
                   [&](int64_t i, int32_t, int32_t) { body(i); });
}

} // namespace

std::array<int64_t, 3> SumChannels(Document& doc)
{
    PlaneSet s = Sources(doc);
    const int64_t last = int64_t{doc.plane_width} * doc.plane_height;
    std::array<int64_t, 3> sums{};
    for (int64_t j = 0; j <= last; ++j)
        for (int k = 0; k < 3; ++k)
            sums[k] += s[k][j];
    return sums;
}

void Invert(EffectContext& context)
{
    StartRun(context, Prefill::FromSource);
    PlaneSet s = Sources(context.doc), t = Targets(context.doc);
    ForEachOfFullGrid(context, [&](int64_t i) {
        for (int k = 0; k < 3; ++k)
            t[k][i] = static_cast<uint8_t>(255 - s[k][i]);
    });
    MergeFrom(context.doc, t);
    context.EndEffect();
}

// Split straight into the result planes; below the grey mean m a value
// stays, from m up it mirrors to 2m - v (low byte); then bit 1 flips.
void InvertMeanSquare(EffectContext& context)
{
    Document& doc = context.doc;
    context.BeginEffect();
    CopyFileBytes(doc.file_bytes, doc.undo_bytes, doc.plane_width, doc.plane_height);
    PlaneSet t = Targets(doc);
    SplitPlanes(doc.file_bytes, t[0], t[1], t[2], doc.plane_width, doc.plane_height);
    ForEachOfFullGrid(context, [&](int64_t i) {
        const int m = (t[0][i] + t[1][i] + t[2][i]) / 3;
        for (int k = 0; k < 3; ++k)
            t[k][i] = static_cast<uint8_t>((t[k][i] < m ? t[k][i] : (2 * m - t[k][i]) & 0xFF) ^ 2);
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

// Channel by channel: a value within e = peak / 4 of 255 keys the whole
// element to pure red; otherwise that channel becomes the peak mean.
void ChromaKeyNegative(EffectContext& context)
{
    StartRun(context);
    PlaneSet s = Sources(context.doc);
    const int32_t peak = PeakChannelMean(context.doc, SumChannels(context.doc));
    ForEachOfFullGrid(context, [&](int64_t i) {
        for (int k = 0; k < 3; ++k) {
            if (s[k][i] + peak / 4 >= 255) {
                s[2][i] = 255;
                s[1][i] = s[0][i] = 0;
            } else {
                s[k][i] = static_cast<uint8_t>(peak);
            }
        }
    });
    MergeFrom(context.doc, s);
    context.EndEffect();
}

// Over elements 0 to W x H + 1, by grey level g: top and bottom are the
// highest and lowest levels present, mid their mean. From mid up the values
// are multiplied by 1 + (255 - top) div mid, below it by 1 - bottom / mid.
void HistogramStretch(EffectContext& context)
{
    StartRun(context);
    PlaneSet s = Sources(context.doc);
    const int64_t last = int64_t{context.doc.plane_width} * context.doc.plane_height + 1;
    auto grey = [&](int64_t j) { return (s[0][j] + s[1][j] + s[2][j]) / 3; };
    int top = 0, bottom = 255;
    for (int64_t j = 0; j <= last; ++j) {
        top = std::max(top, grey(j));
        bottom = std::min(bottom, grey(j));
    }
    const int mid = (top + bottom) / 2;
    if (top != 0 && top != 255 && mid != 0) {
        const long double bright = 1.0L + static_cast<long double>((255 - top) / mid);
        const long double dark = 1.0L - static_cast<long double>(bottom) / static_cast<long double>(mid);
        for (int64_t j = 0; j <= last; ++j) {
            const int g = grey(j);
            for (int k = 0; k < 3; ++k)
                s[k][j] = g >= mid ? StoreByte(bright * s[k][j]) : StoreByte(s[k][j] * dark);
        }
    }
    MergeFrom(context.doc, s);
    context.EndEffect();
}

void TimeInversion(EffectContext& context)
{
    StartRun(context);
    MergeFrom(context.doc, Sources(context.doc));
    context.EndEffect();
}

} // namespace korvanti::reference
