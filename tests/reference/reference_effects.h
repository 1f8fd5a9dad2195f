// The effect commands. Each runs one whole command inside the run frame:
// BeginEffect first, EndEffect last.
#pragma once

#include <cstdint>

#include "engine/effect_context.h"

namespace korvanti::reference {

// Convolution filters.
void Sharpen(EffectContext& context);
void Blur(EffectContext& context);
void Emboss(EffectContext& context);
void LaplacianStrong(EffectContext& context);
void LaplacianWeak(EffectContext& context);

// Sketches.
void CharcoalSketch(EffectContext& context);
void RoughSketch(EffectContext& context);

// Mosaic shrink.
void Mosaic(EffectContext& context);

// Noise-cut filters.
void MedianPass(EffectContext& context, int32_t with_undo); // begins a run, never ends it
void Median(EffectContext& context);
void GeometricCut(EffectContext& context);
void MedianHard(EffectContext& context);
void MedianNatural(EffectContext& context);
void MovingAverage(EffectContext& context);

// Colour effects.
void Invert(EffectContext& context);
void InvertMeanSquare(EffectContext& context);
void ChromaKeyNegative(EffectContext& context);
void StretchHistogram(EffectContext& context, int32_t with_undo); // begins a run, never ends it
void HistogramStretch(EffectContext& context);
void TimeInversion(EffectContext& context);

// Picture effects.
void Sunset(EffectContext& context);
void Nostalgia(EffectContext& context);
void ProWatercolour(EffectContext& context);
void WatercolourStyle(EffectContext& context);

} // namespace korvanti::reference
