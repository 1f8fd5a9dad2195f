// The effect commands. Each runs one whole command inside the run frame:
// BeginEffect first, EndEffect last.
#pragma once

#include <cstdint>

namespace korvanti {

class ByteSink;
class EffectContext;
struct RowForm;

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
void Median(EffectContext& context);
void GeometricCut(EffectContext& context);
// The median of a document opened for streaming (OpenForStreaming): the
// result goes to sink as a whole file, in order, while the run goes on;
// the same bytes Median leaves in file_bytes, cancelled or not.
void StreamMedian(EffectContext& context, ByteSink& sink);
void MedianHard(EffectContext& context);
void MedianNatural(EffectContext& context);
void MovingAverage(EffectContext& context);

// Colour effects.
void Invert(EffectContext& context);
void InvertMeanSquare(EffectContext& context);
void ChromaKeyNegative(EffectContext& context);
void HistogramStretch(EffectContext& context);
void TimeInversion(EffectContext& context);

// Picture effects.
void Sunset(EffectContext& context);
void Nostalgia(EffectContext& context);
void ProWatercolour(EffectContext& context);
void WatercolourStyle(EffectContext& context);

// The effects above that need no more than the neighbouring rows, as a
// RowStage works them on rows as they arrive (row_stage.h).
extern const RowForm kSharpenRows;
extern const RowForm kBlurRows;
extern const RowForm kMedianRows;
extern const RowForm kMedianHardRows;
extern const RowForm kMovingAverageRows;
extern const RowForm kInvertRows;
extern const RowForm kInvertMeanSquareRows;

} // namespace korvanti
