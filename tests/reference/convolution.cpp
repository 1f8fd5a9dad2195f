// Sharpen, blur, emboss, the two Laplacian edge filters and the charcoal
// sketch: a 3x3 kernel over each channel plane, rows and columns ascending,
// channels 0 to 2.
#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {
namespace {

// Rows 1 to H - 1 - margin, columns 1 to W - 1 - margin, into result planes
// that start as the picture; value turns each sum into a byte.
template <class Value>
void KernelPass(EffectContext& context, uint32_t kernel, int32_t margin, Value&& value, bool grey = false)
{
    Document& doc = context.doc;
    StartRun(context, true, Prefill::FromSource);
    PlaneSet s = Sources(doc), t = Targets(doc);
    context.KernelBank(kernel);
    ForEachElement(context, 1, doc.plane_height - 1 - margin, 1, doc.plane_width - 1 - margin,
                   [&](int64_t p, int32_t c, int32_t r) {
                       for (int k = 0; k < 3; ++k)
                           t[k][p] = value(KernelSum(context, s[k], c, r));
                       if (grey)
                           GrayPixel(t[0], t[1], t[2], doc.plane_width, c, r);
                   });
    MergeFrom(doc, t);
    context.EndEffect();
}

// Rows 1 to H - 1, columns 1 to W - 1: the grey mean of the three stored
// sums goes straight into source channel 0 (so later channel-0
// neighbourhoods read results), which all three channels then show.
void GreyIntoChannelZero(EffectContext& context, uint32_t kernel, bool white_at_or_below_140)
{
    Document& doc = context.doc;
    StartRun(context);
    PlaneSet s = Sources(doc), t = Targets(doc);
    context.KernelBank(kernel);
    ForEachElement(context, 1, doc.plane_height - 1, 1, doc.plane_width - 1, [&](int64_t p, int32_t c, int32_t r) {
        for (int k = 0; k < 3; ++k)
            t[k][p] = StoreByte(KernelSum(context, s[k], c, r));
        s[0][p] = static_cast<uint8_t>((t[0][p] + t[1][p] + t[2][p]) / 3);
        if (white_at_or_below_140 && s[0][p] <= 140)
            s[0][p] = 255;
    });
    MergeFrom(doc, {s[0], s[0], s[0]});
    context.EndEffect();
}

} // namespace

void Sharpen(EffectContext& context)
{
    KernelPass(context, 1, 1,
               [](long double x) { return x >= 255 ? uint8_t(255) : x <= 0 ? uint8_t(0) : StoreByte(x); });
}

void Blur(EffectContext& context)
{
    KernelPass(context, 3, 0, [](long double x) { return StoreByte(x); });
}

void Emboss(EffectContext& context) { KernelPass(context, 4, 0, EmbossValue, true); }
void LaplacianStrong(EffectContext& context) { GreyIntoChannelZero(context, 2, false); }
void LaplacianWeak(EffectContext& context) { GreyIntoChannelZero(context, 6, false); }
void CharcoalSketch(EffectContext& context) { GreyIntoChannelZero(context, 4, true); }

} // namespace korvanti::reference
