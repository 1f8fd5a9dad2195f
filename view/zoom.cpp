// The zoom steps, the slider scale and the percentage text.
#include "view/zoom.h"

#include <algorithm>
#include <limits>

namespace korvanti {

int32_t ClampViewSize(int64_t size) { return static_cast<int32_t>(std::clamp<int64_t>(size, 0, kLargestViewSize)); }

int32_t StepUp(int32_t size) { return ClampViewSize(int64_t{size} * 5 / 4); }

int32_t StepDown(int32_t size) { return ClampViewSize(int64_t{size} * 4 / 5); }

int32_t ScaledSize(int32_t picture_size, int32_t position)
{
    return ClampViewSize(int64_t{picture_size} * position / 100);
}

int32_t ZoomPercent(int32_t shown_width, int32_t picture_width)
{
    const int64_t percent = int64_t{shown_width} * 100 / std::max<int32_t>(picture_width, 1);
    return static_cast<int32_t>(std::min<int64_t>(percent, std::numeric_limits<int32_t>::max()));
}

} // namespace korvanti
