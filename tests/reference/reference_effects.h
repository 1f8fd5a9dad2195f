// The plain forms of the effects, one per catalogue entry: straight loops
// over the shared toolkit, written the way each effect is described. The
// fast effects must give exactly their bytes.
#pragma once

#include "engine/effect_context.h"

namespace korvanti::reference {

using PlainForm = void(EffectContext& context);
PlainForm Sharpen, Blur, Emboss, LaplacianStrong, LaplacianWeak, CharcoalSketch, RoughSketch, Mosaic, Median,
    GeometricCut, MedianHard, MedianNatural, MovingAverage, Invert, InvertMeanSquare, ChromaKeyNegative,
    HistogramStretch, TimeInversion, Sunset, Nostalgia, ProWatercolour, WatercolourStyle;

} // namespace korvanti::reference
