// Passes for a run with an undo copy on several worker threads that go
// from the undo copy straight into the picture, each piece of rows through
// plane rows of its worker's own instead of the document's planes: every
// byte is read and written once instead of three times. No later run can
// tell, since every run that reads the document's planes splits the
// picture into them first. The picture ends exactly as the passes through
// the planes leave it, whether the pass runs to its end or a Cancel ends
// it.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "effects/run_steps.h"

namespace korvanti {

// Begins a run of these passes: no planes, the undo copy by swap.
inline void StartPictureRun(EffectContext& context)
{
    context.BeginEffect(PlaneUse::None);
    context.SaveUndoBySwap();
}

// Plane elements of a picture (a file of the document's shape) and their
// pixels in the document's own file_bytes.
class PicturePixels {
public:
    PicturePixels(Document& doc, const Bytes& from)
        : doc_(doc), from_bytes_(from), stride_(RowStride(doc.plane_width)),
          from_(from.data() + PixelOffset(from.data())), to_(doc.file_bytes.data() + PixelOffset(doc.file_bytes.data()))
    {
    }

    // Elements begin..end - 1 of from, split into planes[k][e - begin]
    // (element 0 and those past the last pixel, which have none, as 0).
    void Split(int64_t begin, int64_t end, uint8_t* const planes[3]) const
    {
        if (begin == 0 && end > 0)
            planes[0][0] = planes[1][0] = planes[2][0] = 0;
        // Past the last pixel, the planes' spare tail: zeros.
        const int64_t tail = std::max(begin, int64_t{doc_.plane_width} * doc_.plane_height + 1);
        for (int k = 0; k < 3 && end > tail; ++k)
            std::memset(planes[k] + (tail - begin), 0, static_cast<size_t>(end - tail));
        SplitRange(doc_, from_bytes_, {{planes[0], planes[1], planes[2]}}, begin, end, begin);
    }

    // Elements begin..end - 1 from planes[k][e - base] into their pixels.
    void Merge(int64_t begin, int64_t end, const uint8_t* const planes[3], int64_t base) const
    {
        MergeRange(doc_, planes[0], planes[1], planes[2], begin, end, base);
    }

    // Calls run(pixels, count) for each run of the pixels of elements
    // begin..end - 1 of from that lies in one stored row.
    template <class Run>
    void ForEachRun(int64_t begin, int64_t end, Run&& run) const
    {
        ForEachPixelRun(doc_, begin, end, [&](int64_t, int64_t row, int64_t column, int64_t count) {
            run(from_ + row * stride_ + 3 * column, count);
        });
    }

    // The pixels of elements begin..end - 1 of from into file_bytes as they are.
    void Keep(int64_t begin, int64_t end) const
    {
        ForEachPixelRun(doc_, begin, end, [&](int64_t, int64_t row, int64_t column, int64_t count) {
            std::memcpy(to_ + row * stride_ + 3 * column, from_ + row * stride_ + 3 * column,
                        static_cast<size_t>(3 * count));
        });
    }

    // Keep on the worker threads.
    void KeepOnWorkers(int64_t begin, int64_t end) const
    {
        auto keep = [this](int64_t b, int64_t e) { Keep(b, e); };
        ParallelFor(begin, end, PieceElements(), keep);
    }

private:
    Document& doc_;
    const Bytes& from_bytes_;
    int64_t stride_;
    const uint8_t* from_;
    uint8_t* to_;
};

// Three plane rows of a worker's own, count elements each, valid until its
// next call on the same thread.
inline uint8_t* const* WorkerPlanes(int slot, int64_t count)
{
    thread_local std::vector<uint8_t> memory[2];
    thread_local uint8_t* planes[2][3];
    memory[slot].resize(static_cast<size_t>(3 * count));
    for (int k = 0; k < 3; ++k)
        planes[slot][k] = memory[slot].data() + k * count;
    return planes[slot];
}

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

// A per-pixel pass over plane rows 0 to H - 1 (elements 0 to W x H - 1)
// from the undo copy into the picture, with the usual epilogue; rows left
// by a Cancel and the last pixel (element W x H) keep the picture.
template <class Pixel>
void MapPictureOnWorkers(EffectContext& context, const Pixel& pixel)
{
    Document& doc = context.doc;
    const int64_t w = doc.plane_width;
    const PicturePixels pixels(doc, context.PictureBeforeRun());
    const int32_t rows_done = ForEachRowPieceInParallel(
        context, 0, doc.plane_height - 1,
        [&](int64_t first, int64_t end) {
            // A few thousand elements at a time, which stay in the nearest cache.
            constexpr int64_t kChunk = 4096;
            uint8_t* const* planes = WorkerPlanes(0, kChunk);
            for (int64_t begin = first * w; begin < end * w; begin += kChunk) {
                const int64_t count = std::min(kChunk, end * w - begin);
                pixels.Split(begin, begin + count, planes);
                MapPixels(planes[0], planes[1], planes[2], count, pixel);
                pixels.Merge(begin, begin + count, planes, begin);
            }
        },
        UsualPosition(context), [&](int32_t first, int32_t last) { pixels.Keep(first * w, (last + 1) * w); });
    pixels.KeepOnWorkers(rows_done * w, w * doc.plane_height + 1);
}

// A filter pass over every channel from the undo copy into the picture:
// filter(source plane, result plane, first element, count, plane width)
// does the run of one row reading only the 3x3 neighbourhoods of its
// elements (the row functions of engine/row_kernels.h), over the rows and
// columns inside border, at least one row and column before; the usual
// epilogue. Every element the pass does not write keeps the picture.
template <class RowFilter>
void FilterPictureOnWorkers(EffectContext& context, Border border, RowFilter&& filter)
{
    Document& doc = context.doc;
    const int64_t w = doc.plane_width;
    const int32_t first_row = border.before, last_row = doc.plane_height - 1 - border.after;
    const int64_t first_column = border.before, last_column = doc.plane_width - 1 - border.after;
    const PicturePixels pixels(doc, context.PictureBeforeRun());
    const int32_t rows_done = ForEachRowPieceInParallel(
        context, first_row, last_row,
        [&](int64_t first, int64_t end) {
            // Plane rows first - 1 to end (the last one read) and the
            // element after them (the lower-right neighbour of the last
            // element) at index (r - first + 1) W + c.
            const int64_t base = (first - 1) * w, count = (end - first + 2) * w + 1;
            uint8_t* const* sources = WorkerPlanes(0, count);
            uint8_t* const* results = WorkerPlanes(1, count);
            pixels.Split(base, base + count, sources);
            for (int64_t r = first; r < end; ++r) {
                const int64_t row = r * w;
                for (int k = 0; k < 3 && last_column >= first_column; ++k)
                    filter(sources[k], results[k], row - base + first_column, last_column - first_column + 1, w);
                pixels.Keep(row, row + std::min(first_column, w));
                pixels.Merge(row + first_column, row + last_column + 1, results, base);
                pixels.Keep(row + std::max(first_column, last_column + 1), row + w);
            }
        },
        UsualPosition(context), [&](int32_t first, int32_t last) { pixels.Keep(first * w, (last + 1) * w); });
    pixels.Keep(0, int64_t{first_row} * w);
    pixels.KeepOnWorkers((int64_t{first_row} + rows_done) * w, w * doc.plane_height + 1);
}

} // namespace korvanti
