// Steps the plain forms share: the start of a run, the row and element
// loops with their per-row epilogue, and the merge.
#pragma once

#include <algorithm>
#include <array>

#include "engine/effect_context.h"
#include "toolkit.h"

namespace korvanti::reference {

using PlaneSet = std::array<uint8_t*, 3>;

inline PlaneSet Planes(std::array<Plane, 3>& planes) { return {planes[0].data(), planes[1].data(), planes[2].data()}; }
inline PlaneSet Sources(Document& doc) { return Planes(doc.source_planes); }
inline PlaneSet Targets(Document& doc) { return Planes(doc.target_planes); }

// Whether the result planes start as a copy of the source planes, so that
// elements an effect never writes (borders, rows after a Cancel) keep the
// picture as it was.
enum class Prefill { None, FromSource };

// Whether the run copies the picture for undo (a later pass of a run that
// made its copy does not).
enum class UndoCopy { Copy, None };

// BeginEffect with fresh zero-filled planes, the undo copy and the split.
inline void StartRun(EffectContext& context, Prefill prefill = Prefill::None, UndoCopy undo = UndoCopy::Copy)
{
    Document& doc = context.doc;
    context.BeginEffect();
    for (auto* planes : {&doc.source_planes, &doc.target_planes})
        for (Plane& plane : *planes)
            std::fill(plane.begin(), plane.end(), 0);
    if (undo == UndoCopy::Copy)
        CopyFileBytes(doc.file_bytes, doc.undo_bytes, doc.plane_width, doc.plane_height);
    PlaneSet s = Sources(doc), t = Targets(doc);
    SplitPlanes(doc.file_bytes, s[0], s[1], s[2], doc.plane_width, doc.plane_height);
    if (prefill == Prefill::FromSource)
        CopyPlanes(s[0], s[1], s[2], t[0], t[1], t[2], doc.plane_width, doc.plane_height);
}

inline void MergeFrom(Document& doc, PlaneSet planes)
{
    MergePlanes(doc.file_bytes, planes[0], planes[1], planes[2], doc.plane_width, doc.plane_height);
}

// Rows first..last with the per-row epilogue (progress at picture width x
// row, then the message pump, where a Cancel ends the loop).
template <class RowBody>
void ForEachRow(EffectContext& context, int32_t first, int32_t last, RowBody&& body)
{
    for (context.row_cursor = first; context.row_cursor <= last; ++context.row_cursor) {
        body(context.row_cursor);
        if (context.EndOfRow())
            break;
    }
}

// Elements (r, c) for rows first_row..last_row and columns first_column..
// last_column: body(r x W + c, c, r).
template <class Body>
void ForEachElement(EffectContext& context, int32_t first_row, int32_t last_row, int32_t first_column,
                    int32_t last_column, Body&& body)
{
    const int32_t w = context.doc.plane_width;
    ForEachRow(context, first_row, last_row, [&](int32_t r) {
        for (int32_t c = first_column; c <= last_column; ++c)
            body(int64_t{r} * w + c, c, r);
    });
}

inline long double KernelSum(const Kernel& kernel, const uint8_t* plane, int32_t width, int32_t c, int32_t r)
{
    return ApplyKernel(kernel, GatherNeighbourhood(plane, width, c, r));
}

inline uint8_t EmbossValue(long double x) { return x <= -126 ? 0 : x >= 127 ? 255 : StoreByte(x + 128); }

// The channel sums over elements 0 to W x H, and the largest of them
// divided by the W x H + 1 elements.
std::array<int64_t, 3> SumChannels(Document& doc);
inline int32_t PeakChannelMean(const Document& doc, const std::array<int64_t, 3>& sums)
{
    return static_cast<int32_t>(std::max({sums[0], sums[1], sums[2]}) / (int64_t{doc.plane_width} * doc.plane_height + 1));
}
// The median over the interior into the result planes, merged; begins a
// run but does not end it.
void MedianPass(EffectContext& context, UndoCopy undo);

} // namespace korvanti::reference
