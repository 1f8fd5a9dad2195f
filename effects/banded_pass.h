// With several worker threads, a pass over plane rows whose split of the
// picture into the source planes and merge of finished rows into the
// picture run alongside it, a block of rows at a time: the split just ahead
// of the rows being worked on, the merge just behind them, so that a row's
// bytes are used again while they are still in the cache instead of three
// trips through memory. Planes and picture end exactly as a split, the
// pass and a merge one after the other leave them, whether the pass runs to
// its end or a Cancel ends it.
#pragma once

#include <algorithm>

#include "effects/run_steps.h"

namespace korvanti {

class BandedPass {
public:
    // split_from: the picture split into the source planes ahead of the
    // rows, or null where they hold it whole already. merge: whether the
    // result planes are merged into file_bytes behind the rows.
    BandedPass(Document& doc, const Bytes* split_from, bool merge)
        : doc_(doc), picture_(split_from), merge_(merge), width_(doc.plane_width),
          elements_(int64_t{doc.plane_width} * doc.plane_height + 1), split_(split_from != nullptr ? 0 : elements_)
    {
    }

    // Elements 0..end - 1 of the sources split, on the worker threads.
    void SplitUpTo(int64_t end)
    {
        end = std::min(end, elements_);
        if (split_ >= end)
            return;
        auto split = [this](int64_t b, int64_t e) { Split(b, e); };
        ParallelFor(split_, end, PieceElements(), split);
        split_ = end;
    }

    // ForEachRowInParallel over rows first..last, whose rows put nothing
    // back after a Cancel, the split and the merge alongside: before a
    // block's rows run, the sources hold every row they read (their own and
    // the next); while they run, the next block's rows are split and the
    // rows before the block, which must then be final in the result planes
    // (rows before first as well), are merged. With one row or none,
    // ForEachRow.
    template <class RowBody, class Position>
    int32_t ForEachRow(EffectContext& context, int32_t first, int32_t last, RowBody&& body, Position&& position)
    {
        if (first >= last) {
            SplitUpTo(RowsEnd(int64_t{last} + 1));
            return korvanti::ForEachRow(context, first, last, body, position);
        }
        const int threads = WorkerThreads();
        const int32_t piece = RowsPerPiece(width_, last - first + 1, threads);
        const int64_t block = int64_t{piece} * threads;
        const auto block_last = [&](int64_t block_first) {
            return static_cast<int32_t>(std::min<int64_t>(last, block_first + block - 1));
        };
        SplitUpTo(RowsEnd(int64_t{block_last(first)} + 1));
        int32_t done = 0;
        for (int32_t block_first = first; block_first <= last;) {
            const int32_t this_last = block_last(block_first);
            const int32_t next_last = this_last < last ? block_last(int64_t{this_last} + 1) : this_last;
            const int64_t split_end = std::max(split_, RowsEnd(int64_t{next_last} + 1));
            const int64_t merge_end = merge_ ? std::max(merged_, int64_t{block_first} * width_) : merged_;
            const int64_t rows_pieces = (int64_t{this_last} - block_first + piece) / piece;
            const int64_t size = PieceElements();
            const int64_t split_pieces = Pieces(split_, split_end, size), merge_pieces = Pieces(merged_, merge_end, size);
            ParallelForEach(0, rows_pieces + split_pieces + merge_pieces, 1, [&](int64_t task) {
                if (task < rows_pieces) {
                    const int64_t from = block_first + task * piece;
                    for (int64_t r = from; r <= std::min<int64_t>(this_last, from + piece - 1); ++r)
                        body(static_cast<int32_t>(r));
                } else if (task < rows_pieces + split_pieces) {
                    const int64_t b = split_ + (task - rows_pieces) * size;
                    Split(b, std::min(split_end, b + size));
                } else {
                    const int64_t b = merged_ + (task - rows_pieces - split_pieces) * size;
                    Merge(b, std::min(merge_end, b + size));
                }
            });
            split_ = split_end;
            merged_ = merge_end;
            if (EndBlock(context, block_first, this_last, position, kRowsPutBackByCaller, done))
                return done;
            block_first = this_last + 1;
        }
        context.row_cursor = last + 1;
        return done;
    }

    // After the pass: the rest of the split, then fill() (which may read
    // every source element), then the rest of the merge.
    template <class Fill>
    void Finish(Fill&& fill)
    {
        SplitUpTo(elements_);
        fill();
        auto merge = [this](int64_t b, int64_t e) { Merge(b, e); };
        if (merge_ && merged_ < elements_)
            ParallelFor(merged_, elements_, PieceElements(), merge);
        merged_ = elements_;
    }

private:
    int64_t RowsEnd(int64_t last_row) const { return std::min(elements_, (last_row + 1) * width_); }
    static int64_t Pieces(int64_t begin, int64_t end, int64_t size) { return (end - begin + size - 1) / size; }
    void Split(int64_t begin, int64_t end) const { SplitRange(doc_, *picture_, Sources(doc_), begin, end); }
    void Merge(int64_t begin, int64_t end)
    {
        const PlaneSet t = Targets(doc_);
        MergeRange(doc_, t.p[0], t.p[1], t.p[2], begin, end);
    }

    Document& doc_;
    const Bytes* picture_;
    bool merge_;
    int64_t width_, elements_;
    int64_t split_, merged_ = 0; // the elements before these are split, merged
};

// FilterPlanes with the split of split_from (null: the sources are split
// already) before it and, where merge is set, the merge of the result
// planes after it, done alongside as a BandedPass. Each row keeps the
// source values outside the pass's columns as soon as it is done, and the
// rows before the pass before it starts, so that finished rows can be
// merged; FillUnwritten afterwards as in FilterPass. The epilogue of row r
// shows position(r).
template <class RowFilter, class Position>
void FilterPlanesAlongside(EffectContext& context, const Bytes* split_from, bool merge, Border border,
                           RowFilter&& filter, Position&& position)
{
    Document& doc = context.doc;
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    const int64_t w = doc.plane_width;
    const int32_t first_row = border.before, last_row = doc.plane_height - 1 - border.after;
    const int32_t first_column = border.before, last_column = doc.plane_width - 1 - border.after;
    BandedPass pass(doc, split_from, merge);
    pass.SplitUpTo(int64_t{first_row} * w);
    KeepSourceValues(doc, 0, int64_t{first_row} * w);
    const int32_t rows_done = pass.ForEachRow(
        context, first_row, last_row,
        [&](int32_t r) {
            const int64_t row = int64_t{r} * w;
            for (int k = 0; k < 3; ++k)
                filter(s[k], t[k], row + first_column, int64_t{last_column} - first_column + 1, w);
            KeepSourceValues(doc, row, std::min(row + w, row + first_column));
            KeepSourceValues(doc, std::max(row, row + last_column + 1), row + w);
        },
        position);
    pass.Finish([&] { FillUnwritten(doc, first_row, rows_done, first_column, last_column); });
}

// The same with the usual epilogue.
template <class RowFilter>
void FilterPlanesAlongside(EffectContext& context, const Bytes* split_from, bool merge, Border border,
                           RowFilter&& filter)
{
    FilterPlanesAlongside(context, split_from, merge, border, filter, UsualPosition(context));
}

} // namespace korvanti
