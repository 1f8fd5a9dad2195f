// Noise-cut filters: the median, the extended (restoring) medians, the
// moving average and the geometric cut. Every pass visits the interior,
// rows 1 to H - 2 and columns 1 to W - 2, reading only the source planes,
// into result planes that start as the picture.
#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {
namespace {

template <class Body>
void ForEachInterior(EffectContext& context, Body&& body)
{
    ForEachElement(context, 1, context.doc.plane_height - 2, 1, context.doc.plane_width - 2, body);
}

// The median of each element; the unfiltered value v is put back where the
// whole quotient median / (v + 1) lies in lower..upper (by default never).
void MedianStage(EffectContext& context, double lower = 2, double upper = 0)
{
    PlaneSet s = Sources(context.doc), t = Targets(context.doc);
    ForEachInterior(context, [&](int64_t p, int32_t c, int32_t r) {
        for (int k = 0; k < 3; ++k) {
            const int32_t m = MedianOfNine(context.GatherNeighbourhood(s[k], context.doc.plane_width, c, r));
            const auto q = static_cast<long double>(m / (s[k][p] + 1));
            t[k][p] = q >= lower && q <= upper ? s[k][p] : static_cast<uint8_t>(m);
        }
    });
}

// A kernel over the previous stage's result (copied back into the source
// planes) or, for the first stage, over the picture.
void KernelStage(EffectContext& context, uint32_t kernel, bool on_previous_result)
{
    Document& doc = context.doc;
    PlaneSet s = Sources(doc), t = Targets(doc);
    context.KernelBank(kernel);
    if (on_previous_result)
        CopyPlanes(t[0], t[1], t[2], s[0], s[1], s[2], doc.plane_width, doc.plane_height);
    ForEachInterior(context, [&](int64_t p, int32_t c, int32_t r) {
        for (int k = 0; k < 3; ++k)
            t[k][p] = StoreByte(KernelSum(context, s[k], c, r));
    });
}

void EndWithTargets(EffectContext& context)
{
    MergeFrom(context.doc, Targets(context.doc));
    context.EndEffect();
}

} // namespace

void MedianPass(EffectContext& context, bool with_undo)
{
    StartRun(context, with_undo, Prefill::FromSource);
    MedianStage(context);
    MergeFrom(context.doc, Targets(context.doc));
}

void Median(EffectContext& context)
{
    MedianPass(context, true);
    context.EndEffect();
}

void GeometricCut(EffectContext& context) { Median(context); }

void MedianHard(EffectContext& context)
{
    StartRun(context, true, Prefill::FromSource);
    MedianStage(context, 0.7, 1.3);
    EndWithTargets(context);
}

void MedianNatural(EffectContext& context)
{
    StartRun(context, true, Prefill::FromSource);
    MedianStage(context, 0.8, 1.2);
    KernelStage(context, 1, true);
    KernelStage(context, 3, true);
    EndWithTargets(context);
}

void MovingAverage(EffectContext& context)
{
    StartRun(context, true, Prefill::FromSource);
    KernelStage(context, 8, false);
    EndWithTargets(context);
}

} // namespace korvanti::reference
