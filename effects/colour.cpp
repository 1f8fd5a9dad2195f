// Colour effects, pixel by pixel: the two inversions, the chroma-key
// negative, the histogram stretch and the time inversion.
#include <algorithm>
#include <array>
#include <atomic>

#include "effects/effects.h"
#include "effects/row_stage.h"
#include "effects/effect_runs.h"

namespace korvanti {
namespace {

// Whole quotient by 3 of a sum of three bytes (at most 765).
inline uint16_t ThirdOf(uint32_t sum) { return uint16_t((sum * 683u) >> 11); }
inline uint16_t MeanOfThree(uint8_t b, uint8_t g, uint8_t r) { return ThirdOf(uint32_t(b + g + r)); }

KORVANTI_CLONES
void GreyLevels(const uint8_t* s0, const uint8_t* s1, const uint8_t* s2, uint8_t* grey, int64_t count)
{
    for (int64_t i = 0; i < count; ++i)
        grey[i] = uint8_t(MeanOfThree(s0[i], s1[i], s2[i]));
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

// Calls chunk(done, n, values, grey) for elements done .. done + n - 1 of
// count, kGreyChunk at a time, values[k] holding their channel k (from
// chunks.Load(done, n)) and grey their grey levels, then chunks.Store(done,
// n, values); the chunks on the worker threads.
template <class Chunks, class Chunk>
void ForEachGreyChunk(const Chunks& chunks, int64_t count, Chunk&& chunk)
{
    const int64_t pieces = (count + kGreyChunk - 1) / kGreyChunk;
    auto some_chunks = [&](int64_t first, int64_t end) {
        std::array<uint8_t, kGreyChunk> grey;
        for (int64_t i = first; i < end; ++i) {
            const int64_t done = i * kGreyChunk;
            const int64_t n = std::min<int64_t>(kGreyChunk, count - done);
            uint8_t* const* values = chunks.Load(done, n);
            GreyLevels(values[0], values[1], values[2], grey.data(), n);
            chunk(done, n, values, grey.data());
            chunks.Store(done, n, values);
        }
    };
    ParallelFor(0, pieces, std::max<int64_t>(1, PieceElements() / kGreyChunk), some_chunks);
}

// Chunks of the source planes, changed in place.
struct PlaneChunks {
    PlaneSet s;
    uint8_t* const* Load(int64_t done, int64_t) const
    {
        thread_local uint8_t* values[3];
        for (int k = 0; k < 3; ++k)
            values[k] = s.p[k] + done;
        return values;
    }
    void Store(int64_t, int64_t, uint8_t* const*) const {}
};

// Chunks split from the undo copy into a worker's own plane rows, and
// merged from there into the picture.
struct PictureChunks {
    const PicturePixels& pixels;
    uint8_t* const* Load(int64_t done, int64_t n) const
    {
        uint8_t* const* values = WorkerPlanes(0, kGreyChunk);
        pixels.Split(done, done + n, values);
        return values;
    }
    void Store(int64_t done, int64_t n, uint8_t* const* values) const { pixels.Merge(done, done + n, values, done); }
};

// The highest and the lowest grey level of elements 0 to count - 1 of the
// planes of chunks: the histogram's top and bottom, since only whether a
// level occurs matters.
struct GreyBounds {
    uint8_t top, bottom;
};

// value becomes candidate where that is larger (smaller), whatever other
// threads store meanwhile.
template <class T>
void RaiseTo(std::atomic<T>& value, T candidate)
{
    for (T seen = value.load(); candidate > seen && !value.compare_exchange_weak(seen, candidate);) {
    }
}

template <class T>
void LowerTo(std::atomic<T>& value, T candidate)
{
    for (T seen = value.load(); candidate < seen && !value.compare_exchange_weak(seen, candidate);) {
    }
}

template <class Chunks>
GreyBounds ScanGreyLevels(const Chunks& chunks, int64_t count)
{
    std::atomic<uint8_t> top_found{0}, bottom_found{255};
    ForEachGreyChunk(chunks, count, [&](int64_t, int64_t n, uint8_t* const*, const uint8_t* grey) {
        const auto [low, high] = GreyRange(grey, n);
        RaiseTo(top_found, high);
        LowerTo(bottom_found, low);
    });
    return {top_found.load(), bottom_found.load()};
}

// The largest channel sum of count pixels (blue, green, red bytes).
KORVANTI_CLONES
uint16_t LargestPixelSum(const uint8_t* pixels, int64_t count)
{
    uint16_t largest = 0;
    for (int64_t i = 0; i < count; ++i)
        largest = std::max(largest, uint16_t(pixels[3 * i] + pixels[3 * i + 1] + pixels[3 * i + 2]));
    return largest;
}

// The same bounds for the planes a picture splits into, from its pixels:
// the grey level only grows with the channel sum, so the top is the level
// of the largest sum, and element 0, which has no pixel and is 0 in the
// planes, makes the bottom 0.
GreyBounds ScanPictureGreyLevels(const PicturePixels& pixels, const Document& doc)
{
    std::atomic<uint16_t> largest{0};
    auto scan = [&](int64_t begin, int64_t end) {
        uint16_t piece_largest = 0;
        pixels.ForEachRun(begin, end, [&](const uint8_t* run, int64_t count) {
            piece_largest = std::max(piece_largest, LargestPixelSum(run, count));
        });
        RaiseTo(largest, piece_largest);
    };
    ParallelFor(1, int64_t{doc.plane_width} * doc.plane_height + 1, PieceElements(), scan);
    return {uint8_t(ThirdOf(largest.load())), 0};
}

// Stretches the grey levels of elements 0 to count - 1 of the planes of
// chunks in place, the histogram's top and bottom being bounds. Returns
// false when nothing changes.
template <class Chunks>
bool StretchGreyLevels(const Chunks& chunks, GreyBounds bounds, int64_t count)
{
    const uint8_t top = bounds.top, bottom = bounds.bottom;
    const int mid = (top + bottom) / 2;
    if (top == 0 || top == 255 || mid == 0)
        return false;
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
    ForEachGreyChunk(chunks, count, [&](int64_t, int64_t n, uint8_t* const* values, const uint8_t* grey) {
        for (int k = 0; k < 3; ++k) {
            if (plain_shape)
                BrightenAtOrAbove(values[k], grey, n, uint8_t(mid), uint8_t(whole_factor));
            else
                MapByGrey(values[k], grey, n, uint8_t(mid), brighten.data(), darken.data());
        }
    });
    return true;
}

} // namespace

constexpr auto kInvertPixel = [](uint8_t& b, uint8_t& g, uint8_t& r) {
    b = uint8_t(255 - b);
    g = uint8_t(255 - g);
    r = uint8_t(255 - r);
};
const RowForm kInvertRows{PixelRow<decltype(kInvertPixel)>};
void Invert(EffectContext& context) { RunPixelEffect(context, kInvertPixel); }

// A value below its pixel's mean keeps its place, one above is mirrored
// about the mean (wrapping below 0); then the second bit flips.
constexpr auto kInvertMeanSquarePixel = [](uint8_t& b, uint8_t& g, uint8_t& r) {
    const uint16_t mean = MeanOfThree(b, g, r);
    const auto invert = [mean](uint8_t v) { return uint8_t((v < mean ? v : uint8_t(2 * mean - v)) ^ 2); };
    b = invert(b);
    g = invert(g);
    r = invert(r);
};
const RowForm kInvertMeanSquareRows{PixelRow<decltype(kInvertMeanSquarePixel)>};
void InvertMeanSquare(EffectContext& context) { RunPixelEffect(context, kInvertMeanSquarePixel); }

// Any channel within e = peak / 4 of 255 turns the pixel pure red; every
// other pixel becomes the flat grey peak.
void ChromaKeyNegative(EffectContext& context)
{
    RunPixelEffectOfPeak(context, [](int32_t peak) {
        const uint16_t threshold = uint16_t(255 - peak / 4);
        const uint8_t grey = uint8_t(peak);
        return [threshold, grey](uint8_t& b, uint8_t& g, uint8_t& r) {
            const bool keyed = b >= threshold || g >= threshold || r >= threshold;
            b = keyed ? 0 : grey;
            g = keyed ? 0 : grey;
            r = keyed ? 255 : grey;
        };
    });
}

void HistogramStretch(EffectContext& context)
{
    Document& doc = context.doc;
    const int64_t count = int64_t{doc.plane_width} * doc.plane_height + 2;
    if (WorkerThreads() == 1 || !doc.keep_undo) {
        StartRun(context, UndoCopy::Swap, PlaneUse::Sources);
        const PlaneChunks planes{Sources(doc)};
        StretchGreyLevels(planes, ScanGreyLevels(planes, count), count);
        MergeFrom(doc, Sources(doc));
        context.EndEffect();
        return;
    }
    // From the undo copy straight into the picture (picture_pass.h).
    StartPictureRun(context);
    const PicturePixels pixels(doc, context.PictureBeforeRun());
    const PictureChunks chunks{pixels};
    if (!StretchGreyLevels(chunks, ScanPictureGreyLevels(pixels, doc), count))
        pixels.KeepOnWorkers(0, count);
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
