// Whole effects made of the run steps: the per-pixel effects around a pixel
// function and the one-pass 3x3 filter effects around a row function. With
// one worker thread they split, work and merge one after the other; with
// more, they go from the undo copy straight into the picture
// (picture_pass.h). Effects of several stages split and merge alongside
// their rows (banded_pass.h), which this header brings in for them.
#pragma once

#include "effects/banded_pass.h"
#include "effects/picture_pass.h"
#include "effects/run_steps.h"

namespace korvanti {

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

// A per-pixel effect: pixel(b, g, r) changes the channel values of one
// pixel in place, as the source planes hold them. The plane rows 0 to H - 1
// (elements 0 to W x H - 1) go in order, each followed by the usual
// epilogue; rows left by a Cancel and the last pixel (element W x H) keep
// the picture. make_pixel(peak) gives the pixel function, peak being the
// picture's peak channel mean where From asks for it.
//
// With an undo copy and several worker threads the pixels go from the
// undo copy straight into the picture (picture_pass.h).
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
    StartPictureRun(context);
    const Bytes& picture = context.PictureBeforeRun();
    MapPictureOnWorkers(context, make_pixel(From == PixelFrom::PeakMean ? PeakChannelMean(doc, picture).peak : 0));
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
    StartRun(context, UndoCopy::Swap);
    FilterPlanes(context, border, filter);
    MergeFrom(context.doc, Targets(context.doc));
    context.EndEffect();
}

// The same for a filter that reads only the 3x3 neighbourhoods of its
// elements (every row function of engine/row_kernels.h) inside a border of
// at least one row and column before: without an undo copy, into the
// picture itself.
template <class RowFilter>
void RunFilterEffect(EffectContext& context, Border border, RowFilter&& filter)
{
    if (context.doc.keep_undo && border.before >= 1 && WorkerThreads() > 1) {
        // From the undo copy straight into the picture (picture_pass.h).
        StartPictureRun(context);
        FilterPictureOnWorkers(context, border, filter);
        context.EndEffect();
        return;
    }
    if (context.doc.keep_undo || border.before < 1)
        return RunFilterEffectOnPlanes(context, border, filter);
    StartRun(context, UndoCopy::None, PlaneUse::Sources);
    FilterPassIntoPicture(context, border, filter);
    context.EndEffect();
}

} // namespace korvanti
