// Colour effects, pixel by pixel: the two inversions, the chroma-key
// negative, the histogram stretch and the time inversion.
#include <array>

#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {
namespace {

// Rows 0 to H - 1, columns 0 to W - 1: elements 0 to W x H - 1.
template <class ElementBody>
void ForEachOfFullGrid(EffectContext& context, ElementBody&& body)
{
    const int32_t w = context.doc.plane_width;
    ForEachRow(context, 0, context.doc.plane_height - 1, [&](int32_t r) {
        for (int32_t c = 0; c <= w - 1; ++c)
            body(int64_t{r} * w + c);
    });
}

} // namespace

// Sums each source plane over elements 0 to W x H with row_cursor as the
// counter, leaving it at W x H + 1 for PeakChannelMean.
std::array<int64_t, 3> SumChannels(EffectContext& context)
{
    PlaneSet s = Sources(context.doc);
    const int64_t last = int64_t{context.doc.plane_width} * context.doc.plane_height;
    std::array<int64_t, 3> sums{};
    for (int64_t j = 0; j <= last; ++j) {
        sums[0] += s[0][j];
        sums[1] += s[1][j];
        sums[2] += s[2][j];
    }
    context.row_cursor = static_cast<int32_t>(last + 1);
    return sums;
}

void Invert(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, true, Prefill::FromSource);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    ForEachOfFullGrid(context, [&](int64_t i) {
        for (int k = 0; k < 3; ++k)
            t[k][i] = static_cast<uint8_t>(255 - s[k][i]);
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

void InvertMeanSquare(EffectContext& context)
{
    Document& doc = context.doc;
    context.BeginEffect();
    CopyFileBytes(doc.file_bytes, doc.undo_bytes, doc.plane_width, doc.plane_height);
    PlaneSet t = Targets(doc);
    SplitPlanes(doc.file_bytes, t[0], t[1], t[2], doc.plane_width, doc.plane_height);
    ForEachOfFullGrid(context, [&](int64_t i) {
        const int m = (t[0][i] + t[1][i] + t[2][i]) / 3;
        for (int k = 0; k < 3; ++k) {
            const int v = t[k][i];
            t[k][i] = static_cast<uint8_t>((v < m ? v : (2 * m - v) & 0xFF) ^ 2);
        }
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

void ChromaKeyNegative(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context);
    PlaneSet s = Sources(doc);
    const auto sums = SumChannels(context);
    const int32_t peak = context.PeakChannelMean(sums[0], sums[1], sums[2]);
    const int32_t e = peak / 4;
    ForEachOfFullGrid(context, [&](int64_t i) {
        for (int k = 0; k < 3; ++k) {
            if (s[k][i] + e >= 255) {
                s[2][i] = 255;
                s[1][i] = 0;
                s[0][i] = 0;
            } else {
                s[k][i] = static_cast<uint8_t>(peak);
            }
        }
    });
    MergeFrom(doc, s);
    context.EndEffect();
}

void StretchHistogram(EffectContext& context, int32_t with_undo)
{
    Document& doc = context.doc;
    StartRun(context, with_undo == 1);
    PlaneSet s = Sources(doc);
    // Elements 0 to W x H + 1: element 0 and the first spare element count too.
    const int64_t last = int64_t{doc.plane_width} * doc.plane_height + 1;
    std::array<int32_t, 256> counts{};
    for (int64_t j = 0; j <= last; ++j)
        ++counts[(s[0][j] + s[1][j] + s[2][j]) / 3];
    int top = 0;
    for (int level = 255; level >= 0; --level) {
        if (counts[level] > 0) {
            top = level;
            break;
        }
    }
    int bottom = 0;
    for (int level = 0; level <= 255; ++level) {
        if (counts[level] > 0) {
            bottom = level;
            break;
        }
    }
    const int mid = (top + bottom) / 2;
    if (top != 0 && top != 255 && mid != 0) {
        const long double bright = 1.0L + static_cast<long double>((255 - top) / mid);
        const long double dark = 1.0L - static_cast<long double>(bottom) / static_cast<long double>(mid);
        for (int64_t j = 0; j <= last; ++j) {
            const int g = (s[0][j] + s[1][j] + s[2][j]) / 3;
            for (int k = 0; k < 3; ++k) {
                if (g >= mid)
                    s[k][j] = StoreByte(bright * s[k][j]);
                else
                    s[k][j] = StoreByte(s[k][j] * dark);
            }
        }
    }
    MergeFrom(doc, s);
}

void HistogramStretch(EffectContext& context)
{
    StretchHistogram(context, 1);
    context.EndEffect();
}

void TimeInversion(EffectContext& context)
{
    StartRun(context);
    MergeFrom(context.doc, Sources(context.doc));
    context.EndEffect();
}

} // namespace korvanti::reference
