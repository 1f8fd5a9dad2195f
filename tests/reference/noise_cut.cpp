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
            const int32_t m = MedianOfNine(GatherNeighbourhood(s[k], context.doc.plane_width, c, r));
            const auto q = static_cast<long double>(m / (s[k][p] + 1));
            t[k][p] = q >= lower && q <= upper ? s[k][p] : static_cast<uint8_t>(m);
        }
    });
}

// What a kernel stage reads: the picture (the first stage) or the
// previous stage's result, copied back into the source planes.
enum class StageInput { Picture, PreviousResult };

void KernelStage(EffectContext& context, const Kernel& kernel, StageInput input)
{
    Document& doc = context.doc;
    PlaneSet s = Sources(doc), t = Targets(doc);
    if (input == StageInput::PreviousResult)
        CopyPlanes(t[0], t[1], t[2], s[0], s[1], s[2], doc.plane_width, doc.plane_height);
    ForEachInterior(context, [&](int64_t p, int32_t c, int32_t r) {
        for (int k = 0; k < 3; ++k)
            t[k][p] = StoreByte(KernelSum(kernel, s[k], doc.plane_width, c, r));
    });
}

void EndWithTargets(EffectContext& context)
{
    MergeFrom(context.doc, Targets(context.doc));
    context.EndEffect();
}

} // namespace

void MedianPass(EffectContext& context, UndoCopy undo)
{
    StartRun(context, Prefill::FromSource, undo);
    MedianStage(context);
    MergeFrom(context.doc, Targets(context.doc));
}

void Median(EffectContext& context)
{
    MedianPass(context, UndoCopy::Copy);
    context.EndEffect();
}

void GeometricCut(EffectContext& context) { Median(context); }

void MedianHard(EffectContext& context)
{
    StartRun(context, Prefill::FromSource);
    MedianStage(context, 0.7, 1.3);
    EndWithTargets(context);
}

void MedianNatural(EffectContext& context)
{
    StartRun(context, Prefill::FromSource);
    MedianStage(context, 0.8, 1.2);
    KernelStage(context, kSharpenKernel, StageInput::PreviousResult);
    KernelStage(context, kBlurKernel, StageInput::PreviousResult);
    EndWithTargets(context);
}

void MovingAverage(EffectContext& context)
{
    StartRun(context, Prefill::FromSource);
    KernelStage(context, kMovingAverageKernel, StageInput::Picture);
    EndWithTargets(context);
}

} // namespace korvanti::reference
