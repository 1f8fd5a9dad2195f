// Sharpen, blur, emboss, the two Laplacian edge filters and the charcoal
// sketch: a 3x3 kernel over each channel plane, rows and columns ascending,
// channels 0 to 2.
#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {
namespace {

// How far a kernel pass reaches: rows and columns up to H - 1 and W - 1,
// or one short of them.
enum class Reach { ToLast, OneShort };
// Whether each pass result keeps its three channels or turns grey.
enum class Output { Colour, Grey };

// Rows and columns from 1 as far as reach says, into result planes that
// start as the picture; value turns each sum into a byte.
template <class Value>
void KernelPass(EffectContext& context, const Kernel& kernel, Reach reach, Value&& value, Output output = Output::Colour)
{
    Document& doc = context.doc;
    StartRun(context, Prefill::FromSource);
    PlaneSet s = Sources(doc), t = Targets(doc);
    const int32_t margin = reach == Reach::OneShort ? 1 : 0;
    ForEachElement(context, 1, doc.plane_height - 1 - margin, 1, doc.plane_width - 1 - margin,
                   [&](int64_t p, int32_t c, int32_t r) {
                       for (int k = 0; k < 3; ++k)
                           t[k][p] = value(KernelSum(kernel, s[k], doc.plane_width, c, r));
                       if (output == Output::Grey)
                           GreyPixel(t[0], t[1], t[2], p);
                   });
    MergeFrom(doc, t);
    context.EndEffect();
}

// What the charcoal does past the Laplacians' loop.
enum class Threshold { None, WhiteAtOrBelow140 };

// Rows 1 to H - 1, columns 1 to W - 1: the grey mean of the three stored
// sums goes straight into source channel 0 (so later channel-0
// neighbourhoods read results), which all three channels then show.
void GreyIntoChannelZero(EffectContext& context, const Kernel& kernel, Threshold threshold)
{
    Document& doc = context.doc;
    StartRun(context);
    PlaneSet s = Sources(doc), t = Targets(doc);
    ForEachElement(context, 1, doc.plane_height - 1, 1, doc.plane_width - 1, [&](int64_t p, int32_t c, int32_t r) {
        for (int k = 0; k < 3; ++k)
            t[k][p] = StoreByte(KernelSum(kernel, s[k], doc.plane_width, c, r));
        s[0][p] = static_cast<uint8_t>((t[0][p] + t[1][p] + t[2][p]) / 3);
        if (threshold == Threshold::WhiteAtOrBelow140 && s[0][p] <= 140)
            s[0][p] = 255;
    });
    MergeFrom(doc, {s[0], s[0], s[0]});
    context.EndEffect();
}

} // namespace

void Sharpen(EffectContext& context)
{
    KernelPass(context, kSharpenKernel, Reach::OneShort,
               [](long double x) { return x >= 255 ? uint8_t(255) : x <= 0 ? uint8_t(0) : StoreByte(x); });
}

void Blur(EffectContext& context)
{
    KernelPass(context, kBlurKernel, Reach::ToLast, [](long double x) { return StoreByte(x); });
}

void Emboss(EffectContext& context) { KernelPass(context, kEmbossKernel, Reach::ToLast, EmbossValue, Output::Grey); }
void LaplacianStrong(EffectContext& context) { GreyIntoChannelZero(context, kEdgeLaplacianKernel, Threshold::None); }
void LaplacianWeak(EffectContext& context) { GreyIntoChannelZero(context, kAllLaplacianKernel, Threshold::None); }
void CharcoalSketch(EffectContext& context)
{
    GreyIntoChannelZero(context, kEmbossKernel, Threshold::WhiteAtOrBelow140);
}

} // namespace korvanti::reference
