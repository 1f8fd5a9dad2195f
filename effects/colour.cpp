// Colour effects, pixel by pixel: the two inversions, the chroma-key
// negative, the histogram stretch and the time inversion.
#include <algorithm>
#include <array>
#include <cstring>

#include "effects/effects.h"
#include "effects/run_steps.h"

namespace korvanti {
namespace {

KORVANTI_CLONES
void InvertRow(const uint8_t* source, uint8_t* target, int64_t count)
{
    for (int64_t i = 0; i < count; ++i)
        target[i] = uint8_t(255 - source[i]);
}

// A value below its pixel's mean keeps its place, one above is mirrored
// about the mean (wrapping below 0); then the second bit flips.
KORVANTI_CLONES
void InvertMeanSquareRow(uint8_t* t0, uint8_t* t1, uint8_t* t2, int64_t count)
{
    for (int64_t i = 0; i < count; ++i) {
        const uint16_t mean = uint16_t((uint32_t(t0[i] + t1[i] + t2[i]) * 683u) >> 11);
        const auto invert = [mean](uint8_t v) { return uint8_t((v < mean ? v : uint8_t(2 * mean - v)) ^ 2); };
        t0[i] = invert(t0[i]);
        t1[i] = invert(t1[i]);
        t2[i] = invert(t2[i]);
    }
}

// Any channel within e of 255 turns the pixel pure red; every other pixel
// becomes the flat grey peak.
KORVANTI_CLONES
void ChromaKeyRow(uint8_t* s0, uint8_t* s1, uint8_t* s2, int64_t count, uint8_t peak, uint8_t e)
{
    const uint16_t threshold = uint16_t(255 - e);
    for (int64_t i = 0; i < count; ++i) {
        const bool keyed = s0[i] >= threshold || s1[i] >= threshold || s2[i] >= threshold;
        s0[i] = keyed ? 0 : peak;
        s1[i] = keyed ? 0 : peak;
        s2[i] = keyed ? 255 : peak;
    }
}

KORVANTI_CLONES
uint32_t SumBlock(const uint8_t* values, int64_t count)
{
    uint32_t sum = 0;
    for (int64_t i = 0; i < count; ++i)
        sum += values[i];
    return sum;
}

// In blocks small enough that a 32-bit sum cannot overflow.
uint64_t SumBytes(const uint8_t* values, int64_t count)
{
    constexpr int64_t kBlock = int64_t{1} << 20;
    uint64_t sum = 0;
    for (int64_t done = 0; done < count; done += kBlock)
        sum += SumBlock(values + done, std::min(kBlock, count - done));
    return sum;
}

KORVANTI_CLONES
void GreyLevels(const uint8_t* s0, const uint8_t* s1, const uint8_t* s2, uint8_t* grey, int64_t count)
{
    for (int64_t i = 0; i < count; ++i)
        grey[i] = uint8_t((uint32_t(s0[i] + s1[i] + s2[i]) * 683u) >> 11);
}

constexpr int64_t kGreyChunk = 4096;

KORVANTI_CLONES
std::pair<uint8_t, uint8_t> GreyRange(const uint8_t* grey, int64_t count)
{
    uint8_t low = 255, high = 0;
    for (int64_t i = 0; i < count; ++i) {
        low = std::min(low, grey[i]);
        high = std::max(high, grey[i]);
    }
    return {low, high};
}

KORVANTI_CLONES
void BrightenAtOrAbove(uint8_t* values, const uint8_t* grey, int64_t count, uint8_t mid, uint8_t factor)
{
    for (int64_t i = 0; i < count; ++i)
        values[i] = grey[i] >= mid ? uint8_t(values[i] * factor) : values[i];
}

void MapByGrey(uint8_t* values, const uint8_t* grey, int64_t count, uint8_t mid, const uint8_t* brighten,
               const uint8_t* darken)
{
    for (int64_t i = 0; i < count; ++i)
        values[i] = grey[i] >= mid ? brighten[values[i]] : darken[values[i]];
}

} // namespace

// Sums each source plane over elements 0 to W x H with row_cursor as the
// counter, leaving it at W x H + 1 for PeakChannelMean.
std::array<int64_t, 3> SumChannels(EffectContext& context)
{
    PlaneSet s = Sources(context.doc);
    const int64_t count = int64_t{context.doc.plane_width} * context.doc.plane_height + 1;
    std::array<int64_t, 3> sums{};
    for (int k = 0; k < 3; ++k)
        sums[k] = static_cast<int64_t>(SumBytes(s[k], count));
    context.row_cursor = static_cast<int32_t>(count);
    return sums;
}

void Invert(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, UndoCopy::Swap);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    const int32_t rows_done = ForEachRowOfFullGrid(context, [&](int64_t first, int64_t count) {
        for (int k = 0; k < 3; ++k)
            InvertRow(s[k] + first, t[k] + first, count);
    });
    // The last pixel (element W x H) and rows left by a Cancel keep the picture.
    const int64_t rest = int64_t{rows_done} * doc.plane_width;
    const int64_t end = int64_t{doc.plane_width} * doc.plane_height + 1;
    for (int k = 0; k < 3; ++k)
        std::memcpy(t[k] + rest, s[k] + rest, static_cast<size_t>(end - rest));
    MergeFrom(doc, t);
    context.EndEffect();
}

void InvertMeanSquare(EffectContext& context)
{
    Document& doc = context.doc;
    context.BeginEffect();
    context.SaveUndoBySwap();
    PlaneSet t = Targets(doc);
    SplitPlanes(context.PictureBeforeRun(), t[0], t[1], t[2], doc.plane_width, doc.plane_height);
    ForEachRowOfFullGrid(context, [&](int64_t first, int64_t count) {
        InvertMeanSquareRow(t[0] + first, t[1] + first, t[2] + first, count);
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

void ChromaKeyNegative(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, UndoCopy::Swap, PlaneUse::Sources);
    PlaneSet s = Sources(doc);
    const auto sums = SumChannels(context);
    const int32_t peak = context.PeakChannelMean(sums[0], sums[1], sums[2]);
    const int32_t e = peak / 4;
    ForEachRowOfFullGrid(context, [&](int64_t first, int64_t count) {
        ChromaKeyRow(s[0] + first, s[1] + first, s[2] + first, count, uint8_t(peak), uint8_t(e));
    });
    MergeFrom(doc, s);
    context.EndEffect();
}

void StretchHistogram(EffectContext& context, int32_t with_undo)
{
    Document& doc = context.doc;
    StartRun(context, with_undo == 1 ? UndoCopy::Swap : UndoCopy::None, PlaneUse::Sources);
    PlaneSet s = Sources(doc);
    // Elements 0 to W x H + 1: element 0 and the first spare element count
    // too. Only whether a grey level occurs matters, so the highest and the
    // lowest level found are the histogram's top and bottom.
    const int64_t count = int64_t{doc.plane_width} * doc.plane_height + 2;
    std::array<uint8_t, kGreyChunk> grey;
    uint8_t top = 0, bottom = 255;
    for (int64_t done = 0; done < count; done += kGreyChunk) {
        const int64_t n = std::min<int64_t>(kGreyChunk, count - done);
        GreyLevels(s[0] + done, s[1] + done, s[2] + done, grey.data(), n);
        const auto [low, high] = GreyRange(grey.data(), n);
        top = std::max(top, high);
        bottom = std::min(bottom, low);
    }
    const int mid = (top + bottom) / 2;
    if (top != 0 && top != 255 && mid != 0) {
        // Every value maps the same way wherever it is, so the extended
        // precision products are worked out once per value.
        const int whole_factor = 1 + (255 - top) / mid;
        const long double bright = 1.0L + static_cast<long double>((255 - top) / mid);
        const long double dark = 1.0L - static_cast<long double>(bottom) / static_cast<long double>(mid);
        std::array<uint8_t, 256> brighten, darken;
        bool plain_shape = true; // brighten multiplies by a whole factor, darken keeps the value
        for (int v = 0; v < 256; ++v) {
            brighten[v] = StoreByte(bright * v);
            darken[v] = StoreByte(v * dark);
            plain_shape = plain_shape && brighten[v] == uint8_t(whole_factor * v) && darken[v] == v;
        }
        for (int64_t done = 0; done < count; done += kGreyChunk) {
            const int64_t n = std::min<int64_t>(kGreyChunk, count - done);
            GreyLevels(s[0] + done, s[1] + done, s[2] + done, grey.data(), n);
            for (int k = 0; k < 3; ++k) {
                if (plain_shape)
                    BrightenAtOrAbove(s[k] + done, grey.data(), n, uint8_t(mid), uint8_t(whole_factor));
                else
                    MapByGrey(s[k] + done, grey.data(), n, uint8_t(mid), brighten.data(), darken.data());
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

// Changes no pixel, yet is an edit like any other effect.
void TimeInversion(EffectContext& context)
{
    context.BeginEffect(PlaneUse::None);
    context.SaveUndoByCopy();
    context.EndEffect();
}

} // namespace korvanti
