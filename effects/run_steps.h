// Steps most effects share: the start and the end of a run, the row loops
// with their per-row epilogue (in order, or a block of rows at a time on the
// worker threads), the per-pixel and the 3x3 filter effects around a value
// or row function, and the channel sums some effects begin with.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "engine/effect_context.h"
#include "engine/row_kernels.h"
#include "engine/worker_threads.h"
#include "image/simd.h"

namespace korvanti {

struct PlaneSet {
    uint8_t* p[3];
    uint8_t*& operator[](int k) { return p[k]; }
    uint8_t* const* data() const { return p; }
};

inline PlaneSet Sources(Document& doc)
{
    return {{doc.source_planes[0].data(), doc.source_planes[1].data(), doc.source_planes[2].data()}};
}

inline PlaneSet Targets(Document& doc)
{
    return {{doc.target_planes[0].data(), doc.target_planes[1].data(), doc.target_planes[2].data()}};
}


// Calls run(element, row, column, count) for each run of plane elements
// begin..end - 1 that lies in one stored row (element e is pixel e - 1;
// element 0 and the spare tail have none).
template <class Run>
void ForEachPixelRun(const Document& doc, int64_t begin, int64_t end, Run&& run)
{
    const int64_t w = doc.plane_width;
    end = std::min(end, w * doc.plane_height + 1);
    for (int64_t e = std::max<int64_t>(begin, 1); e < end;) {
        const int64_t row = (e - 1) / w, column = (e - 1) % w;
        const int64_t count = std::min(end - e, w - column);
        run(e, row, column, count);
        e += count;
    }
}

// Splits the pixels of plane elements begin..end - 1 of picture (a file
// of the document's shape) into planes, element e at planes[k][e - base].
inline void SplitRange(const Document& doc, const Bytes& picture, PlaneSet planes, int64_t begin, int64_t end,
                       int64_t base = 0)
{
    const int64_t stride = RowStride(doc.plane_width);
    const uint8_t* pixels = picture.data() + PixelOffset(picture.data());
    ForEachPixelRun(doc, begin, end, [&](int64_t e, int64_t row, int64_t column, int64_t count) {
        SplitRow(pixels + row * stride + 3 * column, planes[0] + (e - base), planes[1] + (e - base),
                 planes[2] + (e - base), count);
    });
}

// The whole picture into planes (elements 1 to W x H), and back, on the
// worker threads.
inline void SplitPicture(const Document& doc, const Bytes& picture, PlaneSet planes)
{
    if (WorkerThreads() == 1) {
        SplitPlanes(picture, planes[0], planes[1], planes[2], doc.plane_width, doc.plane_height);
        return;
    }
    auto split = [&](int64_t begin, int64_t end) { SplitRange(doc, picture, planes, begin, end); };
    ParallelFor(1, int64_t{doc.plane_width} * doc.plane_height + 1, PieceElements(), split);
}

// Elements 0 to W x H of each plane from into to (CopyPlanes), on the
// worker threads.
inline void CopyPlanesOnWorkers(const Document& doc, PlaneSet from, PlaneSet to)
{
    if (WorkerThreads() == 1) {
        CopyPlanes(from[0], from[1], from[2], to[0], to[1], to[2], doc.plane_width, doc.plane_height);
        return;
    }
    auto copy = [&](int64_t begin, int64_t end) {
        for (int k = 0; k < 3; ++k)
            std::memcpy(to[k] + begin, from[k] + begin, static_cast<size_t>(end - begin));
    };
    ParallelFor(0, int64_t{doc.plane_width} * doc.plane_height + 1, PieceElements(), copy);
}

// How the picture from before the run is kept for undo. Swap fits every run
// that merges all pixels before it reads file_bytes again; a run that reads
// file_bytes first calls SaveUndoByCopy itself.
enum class UndoCopy { None, Swap };

// BeginEffect, the undo copy and the split of the current picture into the
// source planes. A run that writes no result planes says so.
inline void StartRun(EffectContext& context, UndoCopy undo, PlaneUse planes = PlaneUse::All)
{
    Document& doc = context.doc;
    context.BeginEffect(planes);
    if (undo == UndoCopy::Swap)
        context.SaveUndoBySwap();
    SplitPicture(doc, context.PictureBeforeRun(), Sources(doc));
}

// Merges plane elements begin..end - 1 into their pixels of file_bytes,
// element e from planek[e - base].
inline void MergeRange(Document& doc, const uint8_t* plane0, const uint8_t* plane1, const uint8_t* plane2,
                       int64_t begin, int64_t end, int64_t base = 0)
{
    const int64_t stride = RowStride(doc.plane_width);
    uint8_t* pixels = doc.file_bytes.data() + PixelOffset(doc.file_bytes.data());
    ForEachPixelRun(doc, begin, end, [&](int64_t e, int64_t row, int64_t column, int64_t count) {
        MergeRow(pixels + row * stride + 3 * column, plane0 + (e - base), plane1 + (e - base), plane2 + (e - base),
                 count);
    });
}

inline void MergeFrom(Document& doc, const uint8_t* plane0, const uint8_t* plane1, const uint8_t* plane2)
{
    if (WorkerThreads() == 1) {
        MergePlanes(doc.file_bytes, plane0, plane1, plane2, doc.plane_width, doc.plane_height);
        return;
    }
    auto merge = [&](int64_t begin, int64_t end) { MergeRange(doc, plane0, plane1, plane2, begin, end); };
    ParallelFor(1, int64_t{doc.plane_width} * doc.plane_height + 1, PieceElements(), merge);
}

inline void MergeFrom(Document& doc, PlaneSet planes) { MergeFrom(doc, planes[0], planes[1], planes[2]); }

// The channel sums over elements 0 to W x H of the source planes, and the
// peak mean: the largest sum divided by the W x H + 1 elements.
struct ChannelPeak {
    std::array<int64_t, 3> sums;
    int64_t elements;
    int32_t peak;
};
ChannelPeak PeakChannelMean(const Document& doc);
// The same from the pixels of picture, a file of the document's shape, as
// if it were split into the planes: the same sums, element 0 counting as 0.
ChannelPeak PeakChannelMean(const Document& doc, const Bytes& picture);

// The median over the interior into the result planes, merged; begins a
// run (or the next pass of one) but does not end it.
void MedianPass(EffectContext& context, UndoCopy undo);

// Rows first..last (inclusive), body(row) doing one row, each followed by
// the per-row epilogue with the progress at position(row). A Cancel during
// the epilogue ends the loop. Returns the number of rows done.
template <class RowBody, class Position>
int32_t ForEachRow(EffectContext& context, int32_t first, int32_t last, RowBody&& body, Position&& position)
{
    int32_t done = 0;
    for (context.row_cursor = first; context.row_cursor <= last; ++context.row_cursor) {
        body(context.row_cursor);
        ++done;
        if (context.EndOfRow(position(context.row_cursor)))
            break;
    }
    return done;
}

// The usual epilogue: progress at picture width x row.
inline auto UsualPosition(const EffectContext& context)
{
    const int64_t width = context.doc.bitmap.GetWidth();
    return [width](int32_t row) { return width * row; };
}

template <class RowBody>
int32_t ForEachRow(EffectContext& context, int32_t first, int32_t last, RowBody&& body)
{
    return ForEachRow(context, first, last, body, UsualPosition(context));
}

// Rows of a block: one piece of rows per worker thread, each piece about
// PieceElements(), fewer on a small picture so that every thread gets some.
inline int32_t RowsPerPiece(int64_t width, int32_t rows, int threads)
{
    const int64_t even_share = (int64_t{rows} + threads - 1) / threads;
    return static_cast<int32_t>(std::clamp<int64_t>(PieceElements() / std::max<int64_t>(width, 1), 1, even_share));
}

// For a loop whose put_back has nothing to do: the caller puts back every
// row a Cancel leaves anyway.
inline constexpr auto kRowsPutBackByCaller = [](int32_t, int32_t) {};

// The per-row epilogues of rows first..last, all of them done, in order,
// each counted in done. A Cancel at one ends them there and the rows after
// it go to put_back(r + 1, last); then it returns true.
template <class Position, class PutBack>
bool EndBlock(EffectContext& context, int32_t first, int32_t last, Position&& position, PutBack&& put_back,
              int32_t& done)
{
    for (int32_t r = first; r <= last; ++r) {
        context.row_cursor = r;
        ++done;
        if (context.EndOfRow(position(r))) {
            if (r < last)
                put_back(r + 1, last);
            return true;
        }
    }
    return false;
}

// ForEachRow for rows that do not depend on each other: no row reads what
// another row of the loop writes, and no two rows write the same element.
// With one worker thread it is ForEachRow. Otherwise the rows go to the
// workers a block at a time, in pieces: pieces(b, e) does rows b..e - 1.
// Then this thread runs the per-row epilogues of the block in order,
// exactly as ForEachRow would have after each row; nothing runs the next
// block before those epilogues are through. A Cancel at an epilogue ends
// the loop there as in ForEachRow, and the rows of the block after it,
// done already, go to put_back(first, last), which must make them what
// they were before the loop.
template <class Pieces, class Position, class PutBack>
int32_t ForEachRowPieceInParallel(EffectContext& context, int32_t first, int32_t last, Pieces&& pieces,
                                  Position&& position, PutBack&& put_back)
{
    const int threads = WorkerThreads();
    if (threads == 1 || first >= last)
        return ForEachRow(context, first, last, [&](int32_t r) { pieces(r, int64_t{r} + 1); }, position);
    const int32_t piece = RowsPerPiece(context.doc.plane_width, last - first + 1, threads);
    const int64_t block = int64_t{piece} * threads;
    int32_t done = 0;
    for (int32_t block_first = first; block_first <= last;) {
        const auto block_last = static_cast<int32_t>(std::min<int64_t>(last, block_first + block - 1));
        ParallelFor(block_first, int64_t{block_last} + 1, piece, pieces);
        if (EndBlock(context, block_first, block_last, position, put_back, done))
            return done;
        block_first = block_last + 1;
    }
    context.row_cursor = last + 1;
    return done;
}

// The same with body(r) doing row r.
template <class RowBody, class Position, class PutBack>
int32_t ForEachRowInParallel(EffectContext& context, int32_t first, int32_t last, RowBody&& body,
                             Position&& position, PutBack&& put_back)
{
    auto pieces = [&](int64_t b, int64_t e) {
        for (int64_t r = b; r < e; ++r)
            body(static_cast<int32_t>(r));
    };
    return ForEachRowPieceInParallel(context, first, last, pieces, position, put_back);
}

// The same with the usual epilogue.
template <class RowBody, class PutBack>
int32_t ForEachRowInParallel(EffectContext& context, int32_t first, int32_t last, RowBody&& body, PutBack&& put_back)
{
    return ForEachRowInParallel(context, first, last, body, UsualPosition(context), put_back);
}

// The stored rows of a picture (the one from before a run), as the emboss
// neighbourhood of plane row r sees them. Plane
// element (r, c) is pixel c - 1 of stored row r, so its lower-left
// neighbour is pixel c - 2 of row r - 1 (for pixel 0 the last pixel of row
// r - 2, nothing in row 1) and its upper-right neighbour pixel c of row
// r + 1 (nothing below the last row); "nothing" reads as zeros.
class StoredRows {
public:
    StoredRows(const Document& doc, const Bytes& picture)
        : width_(doc.plane_width), height_(doc.plane_height), stride_(RowStride(doc.plane_width)),
          pixels_(picture.data() + PixelOffset(picture.data())),
          nothing_(static_cast<size_t>(3 * int64_t{doc.plane_width} + 6), 0)
    {
    }

    const uint8_t* Row(int64_t y) const { return y < 0 || y >= height_ ? nothing_.data() : pixels_ + y * stride_; }

    // Calls kernel(lower_left, upper_right, first pixel, count) for pixels
    // 0 to W - 2 of stored row r, the triples of pixel first + i at
    // lower_left[3i] and upper_right[3i].
    template <class Kernel>
    void ForEmbossNeighbours(int32_t r, Kernel&& kernel) const
    {
        if (width_ < 2)
            return;
        const uint8_t* down = Row(r + 1);
        const uint8_t* wrapped = r >= 2 ? Row(r - 2) + 3 * (width_ - 1) : nothing_.data();
        kernel(wrapped, down + 3, 0, 1);
        kernel(Row(r - 1), down + 6, 1, width_ - 2);
    }

private:
    int64_t width_, height_, stride_;
    const uint8_t* pixels_;
    std::vector<uint8_t> nothing_;
};

// Calls fill(begin, end) for every run of result elements (0 to W x H) that
// a pass over columns first_column..last_column of the rows_done rows from
// first_row on did not write.
template <class Fill>
void ForEachUnwrittenRun(const Document& doc, int32_t first_row, int32_t rows_done, int32_t first_column,
                         int32_t last_column, Fill&& fill)
{
    const int64_t w = doc.plane_width;
    int64_t begin = 0;
    if (first_column <= last_column) {
        for (int64_t r = first_row; r < int64_t{first_row} + rows_done; ++r) {
            fill(begin, r * w + first_column);
            begin = r * w + last_column + 1;
        }
    }
    fill(begin, w * doc.plane_height + 1);
}

// Copies source elements begin..end - 1 (those of them up to W x H) into
// the result planes.
inline void KeepSourceValues(Document& doc, int64_t begin, int64_t end)
{
    end = std::min(end, int64_t{doc.plane_width} * doc.plane_height + 1);
    for (int k = 0; end > begin && k < 3; ++k)
        std::memcpy(doc.target_planes[k].data() + begin, doc.source_planes[k].data() + begin,
                    static_cast<size_t>(end - begin));
}

// Gives every result element that a pass did not write the source value,
// as if the result planes had started as a copy of the source planes.
inline void FillUnwritten(Document& doc, int32_t first_row, int32_t rows_done, int32_t first_column,
                          int32_t last_column)
{
    ForEachUnwrittenRun(doc, first_row, rows_done, first_column, last_column,
                        [&](int64_t begin, int64_t end) { KeepSourceValues(doc, begin, end); });
}

// Writes plane elements begin..end - 1 of one plane into all three bytes of
// their pixels (element e is pixel e - 1; element 0 and the spare tail have
// none), the stored rows' padding untouched.
inline void MergeGreyRange(Document& doc, const uint8_t* plane, int64_t begin, int64_t end)
{
    const int64_t stride = RowStride(doc.plane_width);
    uint8_t* pixels = doc.file_bytes.data() + PixelOffset(doc.file_bytes.data());
    ForEachPixelRun(doc, begin, end, [&](int64_t e, int64_t row, int64_t column, int64_t count) {
        rows::WriteGrey(plane + e, pixels + row * stride + 3 * column, count);
    });
}

// One pass over plane rows first_row..last_row, columns first_column..
// last_column: body(first element, element count) does the run of one row,
// with the usual per-row epilogue; rows on the worker threads, so body
// must read only what no row writes. Every result element the pass does
// not write (outside the rectangle, or in rows left by a Cancel) ends up
// with its source value.
template <class RowBody>
void FilterPass(EffectContext& context, int32_t first_row, int32_t last_row, int32_t first_column,
                int32_t last_column, RowBody&& body)
{
    const int64_t w = context.doc.plane_width;
    const int32_t rows_done = ForEachRowInParallel(
        context, first_row, last_row,
        [&](int32_t r) { body(r * w + first_column, int64_t{last_column} - first_column + 1); },
        kRowsPutBackByCaller);
    FillUnwritten(context.doc, first_row, rows_done, first_column, last_column);
}


// The plane elements a filter pass leaves out at the start and at the end
// of each row and of each column.
struct Border {
    int32_t before, after;
};
inline constexpr Border kInterior{1, 1}; // rows 1 to H - 2, columns 1 to W - 2

// A filter pass over every channel: filter(source plane, result plane,
// first element, count, plane width) does the run of one row (the row
// functions of engine/row_kernels.h have that shape), source into result
// planes, over the rows and columns inside border.
template <class RowFilter>
void FilterPlanes(EffectContext& context, Border border, RowFilter&& filter)
{
    Document& doc = context.doc;
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    const int64_t w = doc.plane_width;
    FilterPass(context, border.before, doc.plane_height - 1 - border.after, border.before,
               doc.plane_width - 1 - border.after, [&](int64_t first, int64_t count) {
                   for (int k = 0; k < 3; ++k)
                       filter(s[k], t[k], first, count, w);
               });
}

// Without an undo copy the picture itself takes a pass's results: each
// plane row's results, from the source planes, go into a row of their own
// and straight into the stored pixels, so no result planes are needed.
// Rows first_row..last_row with the epilogue at position(row), columns
// first_column..last_column; row(r, sources, results) leaves plane column
// c of row r at results[k][W + c] (each 2W + 1 long). Every pixel the pass
// does not write keeps its value, which the source planes hold too; rows a
// Cancel leaves after it within a block get theirs back from the planes.
// Returns the number of rows done.
template <class Row, class Position>
int32_t PassIntoPicture(EffectContext& context, int32_t first_row, int32_t last_row, int32_t first_column,
                        int32_t last_column, Row&& row, Position&& position)
{
    Document& doc = context.doc;
    PlaneSet s = Sources(doc);
    const int64_t w = doc.plane_width;
    const int64_t stride = RowStride(doc.plane_width);
    uint8_t* pixels = doc.file_bytes.data() + PixelOffset(doc.file_bytes.data());
    // Elements begin..end - 1 from planes[k][e - base] into their pixels.
    const auto merge = [&](int64_t begin, int64_t end, const uint8_t* const planes[3], int64_t base) {
        ForEachPixelRun(doc, begin, end, [&](int64_t e, int64_t pixel_row, int64_t column, int64_t n) {
            MergeRow(pixels + pixel_row * stride + 3 * column, planes[0] + (e - base), planes[1] + (e - base),
                     planes[2] + (e - base), n);
        });
    };
    return ForEachRowInParallel(
        context, first_row, last_row,
        [&](int32_t r) {
            thread_local std::vector<uint8_t> results;
            results.resize(static_cast<size_t>(3 * (2 * w + 1)));
            uint8_t* result[3] = {results.data(), results.data() + 2 * w + 1, results.data() + 2 * (2 * w + 1)};
            row(r, s, result);
            merge(r * w + first_column, r * w + last_column + 1, result, r * w - w);
        },
        position, [&](int32_t first, int32_t last) { merge(first * w, (last + 1) * w, s.data(), 0); });
}

// A 3x3 row filter's pass that way, with the usual epilogue: its element
// (r - 1)W + i read at index i.
template <class RowFilter>
void FilterPassIntoPicture(EffectContext& context, Border border, RowFilter&& filter)
{
    const int64_t w = context.doc.plane_width;
    const int32_t last_column = context.doc.plane_width - 1 - border.after;
    PassIntoPicture(
        context, border.before, context.doc.plane_height - 1 - border.after, border.before, last_column,
        [&](int32_t r, PlaneSet s, uint8_t* const results[3]) {
            for (int k = 0; k < 3 && last_column >= border.before; ++k)
                filter(s[k] + (r - 1) * w, results[k], w + border.before, last_column - border.before + 1, w);
        },
        UsualPosition(context));
}

} // namespace korvanti
