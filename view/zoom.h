// Zoom arithmetic of the view: the +25 % and -25 % steps, the zoom slider
// scale and the percentage shown in the zoom label. Sizes are widget sizes,
// so every result stops at the toolkit's largest widget size instead of
// overflowing.
#pragma once

#include <cstdint>

namespace korvanti {

// The toolkit's largest widget size (QWIDGETSIZE_MAX), kept here so that the
// arithmetic needs no toolkit header.
inline constexpr int32_t kLargestViewSize = (1 << 24) - 1;

// Clamps a computed size into 0 .. kLargestViewSize.
int32_t ClampViewSize(int64_t size);

// One +25 % step: size x 1.25, truncated (size x 5 / 4).
int32_t StepUp(int32_t size);

// One -25 % step: size x 0.8, truncated (size x 4 / 5 for positive sizes),
// the inverse of StepUp whenever that step was exact.
int32_t StepDown(int32_t size);

// The zoom slider's scale: picture size x position / 100, truncated.
int32_t ScaledSize(int32_t picture_size, int32_t position);

// The percentage the zoom label shows: shown width x 100 / picture width,
// truncated. A picture width of 0 or below counts as 1.
int32_t ZoomPercent(int32_t shown_width, int32_t picture_width);

} // namespace korvanti
