// Sharpen, blur, emboss and the two Laplacian edge filters: a 3x3 kernel
// over each channel plane, in rows and columns ascending, channels 0 to 2.
#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {
namespace {

long double KernelValue(EffectContext& context, const uint8_t* plane, int32_t column, int32_t row)
{
    return ApplyKernel(context.kernel, context.GatherNeighbourhood(plane, context.doc.plane_width, column, row));
}

uint8_t EmbossValue(long double x)
{
    if (x <= -126)
        return 0;
    if (x >= 127)
        return 255;
    return StoreByte(x + 128);
}

// The Laplacian filters write each element's grey mean straight back into
// source channel 0, so later channel-0 neighbourhoods read results.
void Laplacian(EffectContext& context, uint32_t kernel_number)
{
    Document& doc = context.doc;
    StartRun(context);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    context.KernelBank(kernel_number);
    const int32_t w = doc.plane_width;
    ForEachRow(context, 1, doc.plane_height - 1, [&](int32_t r) {
        for (int32_t c = 1; c <= w - 1; ++c) {
            const int64_t p = int64_t{r} * w + c;
            for (int k = 0; k < 3; ++k)
                t[k][p] = StoreByte(KernelValue(context, s[k], c, r));
            s[0][p] = static_cast<uint8_t>((t[0][p] + t[1][p] + t[2][p]) / 3);
        }
    });
    MergeFrom(doc, s[0], s[0], s[0]);
    context.EndEffect();
}

} // namespace

void Sharpen(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, true, Prefill::FromSource);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    context.KernelBank(1);
    const int32_t w = doc.plane_width;
    ForEachRow(context, 1, doc.plane_height - 2, [&](int32_t r) {
        for (int32_t c = 1; c <= w - 2; ++c) {
            const int64_t p = int64_t{r} * w + c;
            for (int k = 0; k < 3; ++k) {
                const long double x = KernelValue(context, s[k], c, r);
                t[k][p] = x >= 255 ? 255 : x <= 0 ? 0 : StoreByte(x);
            }
        }
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

void Blur(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, true, Prefill::FromSource);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    context.KernelBank(3);
    const int32_t w = doc.plane_width;
    ForEachRow(context, 1, doc.plane_height - 1, [&](int32_t r) {
        for (int32_t c = 1; c <= w - 1; ++c) {
            const int64_t p = int64_t{r} * w + c;
            for (int k = 0; k < 3; ++k)
                t[k][p] = StoreByte(KernelValue(context, s[k], c, r));
        }
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

void Emboss(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context, true, Prefill::FromSource);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    context.KernelBank(4);
    const int32_t w = doc.plane_width;
    ForEachRow(context, 1, doc.plane_height - 1, [&](int32_t r) {
        for (int32_t c = 1; c <= w - 1; ++c) {
            const int64_t p = int64_t{r} * w + c;
            for (int k = 0; k < 3; ++k)
                t[k][p] = EmbossValue(KernelValue(context, s[k], c, r));
            GrayPixel(t[0], t[1], t[2], w, c, r);
        }
    });
    MergeFrom(doc, t);
    context.EndEffect();
}

void LaplacianStrong(EffectContext& context) { Laplacian(context, 2); }
void LaplacianWeak(EffectContext& context) { Laplacian(context, 6); }

} // namespace korvanti::reference
