// Noise-cut filters: the median, the extended (restoring) medians, the
// moving average and the geometric cut. Every pass visits the interior,
// rows 1 to H - 2 and columns 1 to W - 2, reading only the source planes.
#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {
namespace {

template <class ElementBody>
void ForEachInterior(EffectContext& context, ElementBody&& body)
{
    const int32_t w = context.doc.plane_width;
    ForEachRow(context, 1, context.doc.plane_height - 2, [&](int32_t r) {
        for (int32_t c = 1; c <= w - 2; ++c)
            body(int64_t{r} * w + c, c, r);
    });
}

void MediansInto(EffectContext& context, PlaneSet s, PlaneSet t, int64_t i, int32_t c, int32_t r)
{
    for (int k = 0; k < 3; ++k)
        t[k][i] = MedianOfNine(context.GatherNeighbourhood(s[k], context.doc.plane_width, c, r));
}

void KernelStage(EffectContext& context, uint32_t kernel_number, bool copy_result_to_source)
{
    Document& doc = context.doc;
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    context.KernelBank(kernel_number);
    if (copy_result_to_source)
        CopyPlanes(t[0], t[1], t[2], s[0], s[1], s[2], doc.plane_width, doc.plane_height);
    ForEachInterior(context, [&](int64_t i, int32_t c, int32_t r) {
        for (int k = 0; k < 3; ++k)
            t[k][i] = StoreByte(ApplyKernel(context.kernel, context.GatherNeighbourhood(s[k], doc.plane_width, c, r)));
    });
}

// The median, then the unfiltered value put back where the median lies in
// the band lower..upper of it. The quotient is whole, so both bands in use
// restore exactly when v + 1 <= median <= 2v + 1.
void RestoringMedianStage(EffectContext& context, double lower, double upper)
{
    Document& doc = context.doc;
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    ForEachInterior(context, [&](int64_t i, int32_t c, int32_t r) {
        MediansInto(context, s, t, i, c, r);
        for (int k = 0; k < 3; ++k) {
            const int32_t m = t[k][i];
            const int32_t v = s[k][i];
            const auto q = static_cast<long double>(m / (v + 1));
            if (q >= lower && q <= upper)
                t[k][i] = static_cast<uint8_t>(v);
        }
    });
}

} // namespace

void MedianPass(EffectContext& context, int32_t with_undo)
{
    Document& doc = context.doc;
    StartRun(context, with_undo == 1, Prefill::FromSource);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    ForEachInterior(context, [&](int64_t i, int32_t c, int32_t r) { MediansInto(context, s, t, i, c, r); });
    MergeFrom(doc, t);
}

void Median(EffectContext& context)
{
    MedianPass(context, 1);
    context.EndEffect();
}

void GeometricCut(EffectContext& context) { Median(context); }

void MedianHard(EffectContext& context)
{
    StartRun(context, true, Prefill::FromSource);
    RestoringMedianStage(context, 0.7, 1.3);
    MergeFrom(context.doc, Targets(context.doc));
    context.EndEffect();
}

void MedianNatural(EffectContext& context)
{
    StartRun(context, true, Prefill::FromSource);
    RestoringMedianStage(context, 0.8, 1.2);
    KernelStage(context, 1, true);
    KernelStage(context, 3, true);
    MergeFrom(context.doc, Targets(context.doc));
    context.EndEffect();
}

void MovingAverage(EffectContext& context)
{
    StartRun(context, true, Prefill::FromSource);
    KernelStage(context, 8, false);
    MergeFrom(context.doc, Targets(context.doc));
    context.EndEffect();
}

} // namespace korvanti::reference
