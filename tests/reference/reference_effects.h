// The plain forms of the effects, one per catalogue entry: straight loops
// over the shared toolkit, written the way each effect is described. The
// fast effects must give exactly their bytes.
#pragma once

#include "engine/effect_context.h"

namespace korvanti::reference {

void Sharpen(EffectContext& context);
void Blur(EffectContext& context);
void Emboss(EffectContext& context);
void LaplacianStrong(EffectContext& context);
void LaplacianWeak(EffectContext& context);
void CharcoalSketch(EffectContext& context);
void RoughSketch(EffectContext& context);
void Mosaic(EffectContext& context);
void Median(EffectContext& context);
void GeometricCut(EffectContext& context);
void MedianHard(EffectContext& context);
void MedianNatural(EffectContext& context);
void MovingAverage(EffectContext& context);
void Invert(EffectContext& context);
void InvertMeanSquare(EffectContext& context);
void ChromaKeyNegative(EffectContext& context);
void HistogramStretch(EffectContext& context);
void TimeInversion(EffectContext& context);
void Sunset(EffectContext& context);
void Nostalgia(EffectContext& context);
void ProWatercolour(EffectContext& context);
void WatercolourStyle(EffectContext& context);

} // namespace korvanti::reference
