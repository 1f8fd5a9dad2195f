// Steps most effects share at the start and the end of a run.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/effect_context.h"
#include "engine/row_kernels.h"
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
    PlaneSet s = Sources(doc);
    SplitPlanes(context.PictureBeforeRun(), s[0], s[1], s[2], doc.plane_width, doc.plane_height);
}

inline void MergeFrom(Document& doc, const uint8_t* plane0, const uint8_t* plane1, const uint8_t* plane2)
{
    MergePlanes(doc.file_bytes, plane0, plane1, plane2, doc.plane_width, doc.plane_height);
}

inline void MergeFrom(Document& doc, PlaneSet planes) { MergeFrom(doc, planes[0], planes[1], planes[2]); }

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
template <class RowBody>
int32_t ForEachRow(EffectContext& context, int32_t first, int32_t last, RowBody&& body)
{
    const int64_t width = context.doc.bitmap.GetWidth();
    return ForEachRow(context, first, last, body, [width](int32_t row) { return width * row; });
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

// Gives every result element that a pass did not write the source value,
// as if the result planes had started as a copy of the source planes.
inline void FillUnwritten(Document& doc, int32_t first_row, int32_t rows_done, int32_t first_column,
                          int32_t last_column)
{
    ForEachUnwrittenRun(doc, first_row, rows_done, first_column, last_column, [&](int64_t begin, int64_t end) {
        for (int k = 0; k < 3; ++k)
            std::memcpy(doc.target_planes[k].data() + begin, doc.source_planes[k].data() + begin,
                        static_cast<size_t>(end - begin));
    });
}

// Writes plane elements begin..end - 1 of one plane into all three bytes of
// their pixels (element e is pixel e - 1; element 0 and the spare tail have
// none), the stored rows' padding untouched.
inline void MergeGreyRange(Document& doc, const uint8_t* plane, int64_t begin, int64_t end)
{
    const int64_t w = doc.plane_width;
    const int64_t stride = RowStride(doc.plane_width);
    uint8_t* pixels = doc.file_bytes.data() + PixelOffset(doc.file_bytes.data());
    end = std::min(end, w * doc.plane_height + 1);
    for (int64_t e = std::max<int64_t>(begin, 1); e < end;) {
        const int64_t row = (e - 1) / w, column = (e - 1) % w;
        const int64_t count = std::min(end - e, w - column);
        rows::WriteGrey(plane + e, pixels + row * stride + 3 * column, count);
        e += count;
    }
}

// One pass over plane rows first_row..last_row, columns first_column..
// last_column: body(first element, element count) does the run of one row,
// with the usual per-row epilogue. Every result element the pass does not
// write (outside the rectangle, or in rows left by a Cancel) ends up with
// its source value.
template <class RowBody>
void FilterPass(EffectContext& context, int32_t first_row, int32_t last_row, int32_t first_column,
                int32_t last_column, RowBody&& body)
{
    const int64_t w = context.doc.plane_width;
    const int32_t rows_done = ForEachRow(context, first_row, last_row, [&](int32_t r) {
        body(r * w + first_column, int64_t{last_column} - first_column + 1);
    });
    FillUnwritten(context.doc, first_row, rows_done, first_column, last_column);
}

// The same over plane rows 0 to H - 1 (elements 0 to W x H - 1). Returns
// the number of rows done, so that a cancelled run can complete the rest.
template <class RowBody>
int32_t ForEachRowOfFullGrid(EffectContext& context, RowBody&& body)
{
    return ForEachRow(context, 0, context.doc.plane_height - 1, [&](int32_t r) {
        body(int64_t{r} * context.doc.plane_width, int64_t{context.doc.plane_width});
    });
}

} // namespace korvanti
