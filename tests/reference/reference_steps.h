// Plain forms of every effect, written as straight loops over the shared
// toolkit exactly as the effects are defined. The fast effects must give
// the same bytes; the tests compare the two.
//
// Steps most effects share at the start and the end of a run.
#pragma once

#include <algorithm>

#include "engine/effect_context.h"

namespace korvanti::reference {

struct PlaneSet {
    uint8_t* p[3];
    uint8_t*& operator[](int k) { return p[k]; }
};

inline PlaneSet Sources(Document& doc)
{
    return {{doc.source_planes[0].data(), doc.source_planes[1].data(), doc.source_planes[2].data()}};
}

inline PlaneSet Targets(Document& doc)
{
    return {{doc.target_planes[0].data(), doc.target_planes[1].data(), doc.target_planes[2].data()}};
}

// Whether the result planes start as a copy of the source planes, so that
// elements an effect never writes (borders, rows after a Cancel) keep the
// picture as it was.
enum class Prefill { None, FromSource };

// BeginEffect, the undo copy and the split into the source planes.
inline void StartRun(EffectContext& context, bool with_undo = true, Prefill prefill = Prefill::None)
{
    Document& doc = context.doc;
    context.BeginEffect();
    // Fresh planes, zero-filled, as if allocated for this run.
    for (auto* planes : {&doc.source_planes, &doc.target_planes})
        for (Plane& plane : *planes)
            std::fill(plane.begin(), plane.end(), 0);
    if (with_undo)
        CopyFileBytes(doc.file_bytes, doc.undo_bytes, doc.plane_width, doc.plane_height);
    PlaneSet s = Sources(doc);
    SplitPlanes(doc.file_bytes, s[0], s[1], s[2], doc.plane_width, doc.plane_height);
    if (prefill == Prefill::FromSource) {
        PlaneSet t = Targets(doc);
        CopyPlanes(s[0], s[1], s[2], t[0], t[1], t[2], doc.plane_width, doc.plane_height);
    }
}

inline void MergeFrom(Document& doc, uint8_t* plane0, uint8_t* plane1, uint8_t* plane2)
{
    MergePlanes(doc.file_bytes, plane0, plane1, plane2, doc.plane_width, doc.plane_height);
}

inline void MergeFrom(Document& doc, PlaneSet planes) { MergeFrom(doc, planes[0], planes[1], planes[2]); }

// Rows first..last (inclusive) with the usual per-row epilogue; body(row)
// does one row. A Cancel during the epilogue ends the loop.
template <class RowBody>
void ForEachRow(EffectContext& context, int32_t first, int32_t last, RowBody&& body)
{
    for (context.row_cursor = first; context.row_cursor <= last; ++context.row_cursor) {
        body(context.row_cursor);
        if (context.EndOfRow())
            break;
    }
}

} // namespace korvanti::reference
