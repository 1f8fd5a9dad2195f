// Noise-cut filters: the median, the extended (restoring) medians, the
// moving average and the geometric cut. Every pass visits the interior,
// rows 1 to H - 2 and columns 1 to W - 2, reading only the source planes.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "effects/effect_runs.h"
#include "effects/effects.h"
#include "effects/row_stage.h"
#include "engine/row_kernels.h"
#include "image/row_window.h"

namespace korvanti {
namespace {

// Sharpen without clamp, then blur, each on the previous stage's result.
void SharpenWrapped(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t w)
{
    rows::Sharpen(src, out, first, count, w, rows::Overflow::Wrap);
}

void SharpenThenBlurStages(EffectContext& context)
{
    Document& doc = context.doc;
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    // The result planes are complete after the first stage, so what a later
    // stage does not write keeps the earlier stage's value (the copy).
    CopyPlanesOnWorkers(doc, t, s);
    FilterPlanes(context, kInterior, SharpenWrapped);
    CopyPlanesOnWorkers(doc, t, s);
    FilterPlanes(context, kInterior, rows::Blur);
}

// The median pass without planes: stored rows, from row_of(q), are split
// into a band of plane rows just before they are first read, three rows
// being all a row of medians needs, and each row's results, pixels 0 to
// W - 3 of stored row r, go to emit(r, results) with the three channels
// one after the other. Rows are asked for in order, each once. Plane row
// r + 1 reads no more of stored row r than its last pixel, which no row's
// results cover, so emit may write the results back into the rows in place.
template <class RowOf, class Emit>
void MedianRows(EffectContext& context, RowOf&& row_of, Emit&& emit)
{
    const int64_t w = context.doc.plane_width;
    constexpr int64_t kBandRows = 64;
    std::vector<uint8_t> band(static_cast<size_t>(3 * (kBandRows * w + 2)));
    std::vector<uint8_t> out(static_cast<size_t>(3 * w));
    const auto channel = [&](int k) { return band.data() + k * (kBandRows * w + 2); };
    int64_t base = 0; // the plane row in the band's first row
    int64_t next = 0; // the next plane row to split
    uint8_t last[3] = {}; // the last pixel of the stored row split before
    // Plane row q: element 0 of the plane, or the last pixel of stored row
    // q - 1; then pixels 0 .. W - 2 of stored row q.
    const auto split = [&](int64_t q) {
        const uint8_t* row = row_of(q);
        const int64_t at = (q - base) * w;
        for (int k = 0; k < 3; ++k)
            channel(k)[at] = last[k];
        SplitRow(row, channel(0) + at + 1, channel(1) + at + 1, channel(2) + at + 1, w - 1);
        std::copy_n(row + 3 * (w - 1), 3, last);
    };
    ForEachRow(context, 1, context.doc.plane_height - 2, [&](int32_t r) {
        for (; next <= r + 1; ++next) {
            if (next - base == kBandRows) { // keep plane rows r - 1 and on
                for (int k = 0; k < 3; ++k)
                    std::memmove(channel(k), channel(k) + (r - 1 - base) * w, static_cast<size_t>((next - r + 1) * w));
                base = r - 1;
            }
            split(next);
        }
        // Elements r x W + 1 .. r x W + W - 2 are pixels 0 .. W - 3 of stored row r.
        for (int k = 0; k < 3; ++k)
            rows::MedianInto(channel(k), out.data() + k * w, (r - base) * w + 1, w - 2, w);
        emit(r, out.data(), w);
    });
}

// Without an undo copy the picture is its own result buffer: each row's
// medians go straight into the stored pixels. Every pixel the pass does not
// reach (the border, rows left by a Cancel) already holds its source value.
void MedianInPlace(EffectContext& context)
{
    Document& doc = context.doc;
    context.BeginEffect(PlaneUse::None);
    const int64_t stride = RowStride(doc.plane_width);
    uint8_t* pixels = doc.file_bytes.data() + PixelOffset(doc.file_bytes.data());
    MedianRows(
        context, [&](int64_t q) { return pixels + q * stride; },
        [&](int32_t r, const uint8_t* out, int64_t w) { MergeRow(pixels + r * stride, out, out + w, out + 2 * w, w - 2); });
}

} // namespace

void MedianPass(EffectContext& context, UndoCopy undo)
{
    if (!context.doc.keep_undo) {
        MedianInPlace(context);
        return;
    }
    if (WorkerThreads() == 1 || undo != UndoCopy::Swap) {
        StartRun(context, undo);
        FilterPlanes(context, kInterior, rows::Median);
        MergeFrom(context.doc, Targets(context.doc));
        return;
    }
    StartPictureRun(context);
    FilterPictureOnWorkers(context, kInterior, rows::Median);
}

const RowForm kMedianRows{nullptr, rows::Median, kInterior};

void Median(EffectContext& context)
{
    MedianPass(context, UndoCopy::Swap);
    context.EndEffect();
}

void GeometricCut(EffectContext& context) { Median(context); }

void StreamMedian(EffectContext& context, ByteSink& sink)
{
    Document& doc = context.doc;
    PictureSource& file = doc.Source();
    context.BeginEffect(PlaneUse::None);
    const int64_t stride = RowStride(doc.plane_width);
    uint8_t header[kHeaderBytes];
    file.Read(0, header, sizeof header);
    const int64_t pixels = PixelOffset(header);
    RowWindow rows(file, pixels, stride, doc.plane_height);
    // The headers and stored row 0, which no median reaches.
    CopyToSink(file, 0, pixels + stride, sink);
    int64_t next_row = 1;
    MedianRows(
        context, [&](int64_t q) { return rows.Row(q); },
        [&](int32_t r, const uint8_t* out, int64_t w) {
            // Pixels 0 to W - 3 from the results, the rest of the row as it is.
            const int64_t merged = 3 * std::max<int64_t>(w - 2, 0);
            uint8_t* row = sink.Room(static_cast<size_t>(stride));
            MergeRow(row, out, out + w, out + 2 * w, w - 2);
            std::memcpy(row + merged, rows.Row(r) + merged, static_cast<size_t>(stride - merged));
            sink.Filled(static_cast<size_t>(stride));
            next_row = r + 1;
        });
    // Rows a Cancel left, the last row and whatever follows the pixels, as they are.
    CopyToSink(file, pixels + next_row * stride, file.Length(), sink);
    context.EndEffect();
}

// The restoring median compares the whole quotient median / (value + 1)
// with 0.7 and 1.3 (hard) or 0.8 and 1.2 (natural): either way only a
// quotient of 1 restores, so both variants share one stage.
const RowForm kMedianHardRows{nullptr, rows::RestoringMedian, kInterior};
void MedianHard(EffectContext& context) { RunFilterEffect(context, kInterior, rows::RestoringMedian); }

void MedianNatural(EffectContext& context)
{
    Document& doc = context.doc;
    if (!doc.keep_undo) {
        // Each stage from the planes into the picture, which the next stage
        // then splits into the planes again.
        StartRun(context, UndoCopy::None, PlaneUse::Sources);
        FilterPassIntoPicture(context, kInterior, rows::RestoringMedian);
        for (const auto stage : {SharpenWrapped, rows::Blur}) {
            SplitPicture(doc, doc.file_bytes, Sources(doc));
            FilterPassIntoPicture(context, kInterior, stage);
        }
        context.EndEffect();
        return;
    }
    if (WorkerThreads() == 1) {
        StartRun(context, UndoCopy::Swap);
        FilterPlanes(context, kInterior, rows::RestoringMedian);
        SharpenThenBlurStages(context);
        MergeFrom(context.doc, Targets(context.doc));
        context.EndEffect();
        return;
    }
    // On the worker threads the split runs alongside the first stage and
    // the merge alongside the last, and a stage takes the last one's result
    // planes as its sources instead of a copy of them: it writes every
    // result element, so the planes end as the copies leave them.
    context.BeginEffect();
    context.SaveUndoBySwap();
    FilterPlanesAlongside(context, &context.PictureBeforeRun(), false, kInterior, rows::RestoringMedian);
    std::swap(doc.source_planes, doc.target_planes);
    FilterPlanes(context, kInterior, SharpenWrapped);
    std::swap(doc.source_planes, doc.target_planes);
    FilterPlanesAlongside(context, nullptr, true, kInterior, rows::Blur);
    context.EndEffect();
}

const RowForm kMovingAverageRows{nullptr, rows::MovingAverage, kInterior};
void MovingAverage(EffectContext& context) { RunFilterEffect(context, kInterior, rows::MovingAverage); }

} // namespace korvanti
