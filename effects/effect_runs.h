// Whole effects made of the run steps: the per-pixel effects around a pixel
// function and the one-pass 3x3 filter effects around a row function. With
// one worker thread they split, work and merge one after the other; with
// more, the split and the merge run alongside the rows (banded_pass.h).
#pragma once

#include <cstring>
#include <vector>

#include "effects/banded_pass.h"
#include "effects/run_steps.h"

namespace korvanti {

// Calls pixel(b, g, r) on count pixels of three plane rows, the channel
// values changed in place. The function is taken by value: a copy of its
// own that the byte stores cannot reach keeps its captures in registers.
template <class Pixel>
KORVANTI_CLONES void MapPixels(uint8_t* __restrict b, uint8_t* __restrict g, uint8_t* __restrict r, int64_t count,
                               Pixel pixel)
{
    for (int64_t i = 0; i < count; ++i)
        pixel(b[i], g[i], r[i]);
}

// A pixel function that gives each channel value(v).
template <class Value>
auto EachChannel(Value value)
{
    return [value](uint8_t& b, uint8_t& g, uint8_t& r) {
        b = value(b);
        g = value(g);
        r = value(r);
    };
}

// Whether a per-pixel effect's pixel function is made from the picture's
// peak channel mean or from nothing.
enum class PixelFrom { Nothing, PeakMean };

// Elements begin..end - 1 of picture (a file of the document's shape) into
// the same pixels of file_bytes: through pixel where map is set, else as
// they are. Each run of pixels goes through three plane rows of the
// calling thread's own, so that pixel sees the channels as in the planes.
template <class Pixel>
void MapPictureRange(Document& doc, const Bytes& picture, const Pixel& pixel, bool map, int64_t begin, int64_t end)
{
    const int64_t stride = RowStride(doc.plane_width);
    const uint8_t* from = picture.data() + PixelOffset(picture.data());
    uint8_t* to = doc.file_bytes.data() + PixelOffset(doc.file_bytes.data());
    thread_local std::vector<uint8_t> rows;
    ForEachPixelRun(doc, begin, end, [&](int64_t, int64_t row, int64_t column, int64_t count) {
        const uint8_t* in = from + row * stride + 3 * column;
        uint8_t* out = to + row * stride + 3 * column;
        if (!map) {
            std::memcpy(out, in, static_cast<size_t>(3 * count));
            return;
        }
        rows.resize(static_cast<size_t>(3 * count));
        uint8_t* b = rows.data();
        SplitRow(in, b, b + count, b + 2 * count, count);
        MapPixels(b, b + count, b + 2 * count, count, pixel);
        MergeRow(out, b, b + count, b + 2 * count, count);
    });
}

// A per-pixel effect: pixel(b, g, r) changes the channel values of one
// pixel in place, as the source planes hold them. The plane rows 0 to H - 1
// (elements 0 to W x H - 1) go in order, each followed by the usual
// epilogue; rows left by a Cancel and the last pixel (element W x H) keep
// the picture. make_pixel(peak) gives the pixel function, peak being the
// picture's peak channel mean where From asks for it.
//
// With an undo copy and several worker threads the pixels go from the
// undo copy straight into the picture without the planes (each byte read
// and written once instead of three times), which no later run can tell:
// every run that reads the source planes splits the picture into them
// first.
template <PixelFrom From, class MakePixel>
void RunPixelEffectWith(EffectContext& context, MakePixel&& make_pixel)
{
    Document& doc = context.doc;
    const int64_t w = doc.plane_width;
    if (WorkerThreads() == 1 || !doc.keep_undo) {
        StartRun(context, UndoCopy::Swap, PlaneUse::Sources);
        PlaneSet s = Sources(doc);
        const auto pixel = make_pixel(From == PixelFrom::PeakMean ? PeakChannelMean(doc).peak : 0);
        ForEachRowInParallel(
            context, 0, doc.plane_height - 1,
            [&](int32_t r) { MapPixels(s[0] + r * w, s[1] + r * w, s[2] + r * w, w, pixel); },
            [&](int32_t first, int32_t last) {
                SplitRange(doc, context.PictureBeforeRun(), s, first * w, (last + 1) * w);
            });
        MergeFrom(context.doc, s);
        context.EndEffect();
        return;
    }
    context.BeginEffect(PlaneUse::None);
    context.SaveUndoBySwap();
    const Bytes& picture = context.PictureBeforeRun();
    const auto pixel = make_pixel(From == PixelFrom::PeakMean ? PeakChannelMean(doc, picture).peak : 0);
    const auto range = [&](bool map, int64_t begin, int64_t end) {
        MapPictureRange(doc, picture, pixel, map, begin, end);
    };
    const int32_t rows_done = ForEachRowInParallel(
        context, 0, doc.plane_height - 1, [&](int32_t r) { range(true, r * w, (r + 1) * w); },
        [&](int32_t first, int32_t last) { range(false, first * w, (last + 1) * w); });
    auto keep = [&](int64_t begin, int64_t end) { range(false, begin, end); };
    ParallelFor(rows_done * w, w * doc.plane_height + 1, PieceElements(), keep);
    context.EndEffect();
}

template <class Pixel>
void RunPixelEffect(EffectContext& context, const Pixel& pixel)
{
    RunPixelEffectWith<PixelFrom::Nothing>(context, [&](int32_t) { return pixel; });
}

// The same for an effect whose pixel function depends on the picture's
// peak channel mean: pixel_for(peak) gives it.
template <class PixelForPeak>
void RunPixelEffectOfPeak(EffectContext& context, PixelForPeak&& pixel_for)
{
    RunPixelEffectWith<PixelFrom::PeakMean>(context, pixel_for);
}

// A whole one-pass filter effect: the run, the pass and the merge, through
// result planes. For a filter that reads where its elements are (their
// index), not only what lies around them, but no row below the next.
template <class RowFilter>
void RunFilterEffectOnPlanes(EffectContext& context, Border border, RowFilter&& filter)
{
    if (WorkerThreads() == 1) {
        StartRun(context, UndoCopy::Swap);
        FilterPlanes(context, border, filter);
        MergeFrom(context.doc, Targets(context.doc));
        context.EndEffect();
        return;
    }
    context.BeginEffect();
    context.SaveUndoBySwap();
    FilterPlanesAlongside(context, &context.PictureBeforeRun(), true, border, filter);
    context.EndEffect();
}

// The same for a filter that reads only the 3x3 neighbourhoods of its
// elements (every row function of engine/row_kernels.h) inside a border of
// at least one row and column before: without an undo copy, into the
// picture itself.
template <class RowFilter>
void RunFilterEffect(EffectContext& context, Border border, RowFilter&& filter)
{
    if (context.doc.keep_undo || border.before < 1)
        return RunFilterEffectOnPlanes(context, border, filter);
    StartRun(context, UndoCopy::None, PlaneUse::Sources);
    FilterPassIntoPicture(context, border, filter);
    context.EndEffect();
}

} // namespace korvanti
