// Noise-cut filters: the median, the extended (restoring) medians, the
// moving average and the geometric cut. Every pass visits the interior,
// rows 1 to H - 2 and columns 1 to W - 2, reading only the source planes.
#include <vector>

#include "effects/effects.h"
#include "effects/run_steps.h"
#include "engine/row_kernels.h"

namespace korvanti {
namespace {

// A pass over the interior, rows 1 to H - 2 and columns 1 to W - 2.
template <class RowBody>
void InteriorPass(EffectContext& context, RowBody&& body)
{
    FilterPass(context, 1, context.doc.plane_height - 2, 1, context.doc.plane_width - 2, body);
}

// The first stage of every command here.
void MedianStage(EffectContext& context, bool restore_unfiltered)
{
    PlaneSet s = Sources(context.doc);
    PlaneSet t = Targets(context.doc);
    const int64_t w = context.doc.plane_width;
    InteriorPass(context, [&](int64_t first, int64_t count) {
        for (int k = 0; k < 3; ++k) {
            if (restore_unfiltered)
                rows::RestoringMedian(s[k], t[k], first, count, w);
            else
                rows::Median(s[k], t[k], first, count, w);
        }
    });
}

// Sharpen without clamp, then blur, each on the previous stage's result.
void SharpenThenBlurStages(EffectContext& context)
{
    Document& doc = context.doc;
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    const int64_t w = doc.plane_width;
    // The result planes are complete after the first stage, so what a later
    // stage does not write keeps the earlier stage's value (the copy).
    CopyPlanes(t[0], t[1], t[2], s[0], s[1], s[2], doc.plane_width, doc.plane_height);
    InteriorPass(context, [&](int64_t first, int64_t count) {
        for (int k = 0; k < 3; ++k)
            rows::Sharpen(s[k], t[k], first, count, w, rows::Overflow::Wrap);
    });
    CopyPlanes(t[0], t[1], t[2], s[0], s[1], s[2], doc.plane_width, doc.plane_height);
    InteriorPass(context, [&](int64_t first, int64_t count) {
        for (int k = 0; k < 3; ++k)
            rows::Blur(s[k], t[k], first, count, w);
    });
}

// Without an undo copy the picture is its own result buffer: the filter
// reads only the source planes, so each row's medians go straight into the
// stored pixels, and every pixel the pass does not reach (the border, rows
// left by a Cancel) already holds its source value. No result planes.
void MedianInPlace(EffectContext& context)
{
    Document& doc = context.doc;
    context.BeginEffect(false);
    PlaneSet s = Sources(doc);
    SplitPlanes(doc.file_bytes, s[0], s[1], s[2], doc.plane_width, doc.plane_height);
    const int64_t w = doc.plane_width;
    const int64_t stride = RowStride(doc.plane_width);
    uint8_t* pixels = doc.file_bytes.data() + PixelOffset(doc.file_bytes.data());
    std::vector<uint8_t> row(static_cast<size_t>(3 * w));
    // Elements r x W + 1 .. r x W + W - 2 are pixels 0 .. W - 3 of stored row r.
    ForEachRow(context, 1, doc.plane_height - 2, [&](int32_t r) {
        for (int k = 0; k < 3; ++k)
            rows::MedianInto(s[k], row.data() + k * w, r * w + 1, w - 2, w);
        rows::WritePixels(row.data(), row.data() + w, row.data() + 2 * w, pixels + r * stride, w - 2);
    });
}

} // namespace

void MedianPass(EffectContext& context, int32_t with_undo)
{
    if (!context.doc.keep_undo) {
        MedianInPlace(context);
        return;
    }
    StartRun(context, with_undo == 1 ? UndoCopy::Swap : UndoCopy::None);
    MedianStage(context, false);
    MergeFrom(context.doc, Targets(context.doc));
}

void Median(EffectContext& context)
{
    MedianPass(context, 1);
    context.EndEffect();
}

void GeometricCut(EffectContext& context) { Median(context); }

// The restoring median compares the whole quotient median / (value + 1)
// with 0.7 and 1.3 (hard) or 0.8 and 1.2 (natural): either way only a
// quotient of 1 restores, so both variants share one stage.
void MedianHard(EffectContext& context)
{
    StartRun(context, UndoCopy::Swap);
    MedianStage(context, true);
    MergeFrom(context.doc, Targets(context.doc));
    context.EndEffect();
}

void MedianNatural(EffectContext& context)
{
    StartRun(context, UndoCopy::Swap);
    MedianStage(context, true);
    SharpenThenBlurStages(context);
    MergeFrom(context.doc, Targets(context.doc));
    context.EndEffect();
}

void MovingAverage(EffectContext& context)
{
    StartRun(context, UndoCopy::Swap);
    PlaneSet s = Sources(context.doc);
    PlaneSet t = Targets(context.doc);
    InteriorPass(context, [&](int64_t first, int64_t count) {
        for (int k = 0; k < 3; ++k)
            rows::MovingAverage(s[k], t[k], first, count, context.doc.plane_width);
    });
    MergeFrom(context.doc, t);
    context.EndEffect();
}

} // namespace korvanti
