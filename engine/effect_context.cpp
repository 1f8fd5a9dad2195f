#include "engine/effect_context.h"

#include <time.h>

#include <algorithm>

namespace korvanti {
namespace {

// The eight kernels, previous plane row first; each value is the double
// nearest the decimal written.
constexpr std::array<EffectKernel, 8> kKernels{{
    {0, -1, 0, -1, 5, -1, 0, -1, 0},
    {0, -1, 0, -1, 4, -1, 0, -1, 0},
    {0.08, 0.12, 0.08, 0.12, 0.2, 0.12, 0.08, 0.12, 0.08},
    {1, 0, 0, 0, 0, 0, 0, 0, -1},
    {-1, 2, -3, 4, 5, -4, 3, -2, 1},
    {-1, -1, -1, -1, 8, -1, -1, -1, -1},
    {0.09, 0.09, 0.09, 0.09, 0.09, 0.09, 0.09, 0.09, 0.09},
    {0.09, 0.09, 0.09, 0.09, 0.19, 0.09, 0.09, 0.09, 0.09},
}};

} // namespace

void EffectContext::BeginEffect(PlaneUse planes)
{
    running_ = true;
    doc.plane_height = doc.bitmap.GetHeight();
    doc.plane_width = doc.bitmap.GetWidth();
    doc.PreparePlanes(planes);
    pump_interval_ns_ = std::chrono::duration_cast<std::chrono::nanoseconds>(host_.PumpInterval()).count();
    next_pump_ns_ = pump_interval_ns_ == 0 ? 0 : MonotonicNanoseconds() + pump_interval_ns_;
    host_.SetProgressMax(int64_t{doc.bitmap.GetHeight()} * doc.bitmap.GetWidth() + 1);
    host_.SetProgress(0);
    host_.SetCancelEnabled(true);
}

void EffectContext::EndEffect()
{
    host_.SetCancelEnabled(false);
    host_.SetProgress(0);
    const bool cancelled = cancel_flag == 1;
    if (!cancelled)
        ++doc.edit_count;
    cancel_flag = 0;
    doc.undo_enabled = doc.keep_undo;
    doc.redo_enabled = false;
    running_ = false;
    undo_saved_ = swapped_ = false;
    host_.RunFinished(cancelled);
}

void EffectContext::SaveUndoBySwap()
{
    if (!doc.keep_undo)
        return;
    doc.file_bytes.swap(doc.undo_bytes);
    undo_saved_ = swapped_ = true;
}

void EffectContext::SaveUndoByCopy()
{
    if (!doc.keep_undo)
        return;
    CopyFileBytes(doc.file_bytes, doc.undo_bytes, doc.plane_width, doc.plane_height);
    undo_saved_ = true;
}

void EffectContext::Abandon()
{
    // The picture from before the run is safe in the undo copy once the run
    // has taken it; whatever was half done is dropped.
    if (undo_saved_)
        CopyFileBytes(doc.undo_bytes, doc.file_bytes, doc.plane_width, doc.plane_height);
    undo_saved_ = swapped_ = false;
    cancel_flag = 0;
    running_ = false;
    host_.SetCancelEnabled(false);
    host_.SetProgress(0);
}

void EffectContext::Cancel()
{
    if (!running_)
        return;
    row_cursor = doc.bitmap.GetHeight();
    column_cursor = doc.bitmap.GetWidth();
    cancel_flag = 1;
}

int64_t EffectContext::MonotonicNanoseconds()
{
    timespec now{};
#ifdef CLOCK_MONOTONIC_COARSE
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now); // a memory read, no clock device
#else
    ::clock_gettime(CLOCK_MONOTONIC, &now);
#endif
    return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

void EffectContext::ProcessMessages()
{
    host_.ProcessMessages();
    if (pump_interval_ns_ != 0)
        next_pump_ns_ = MonotonicNanoseconds() + pump_interval_ns_;
}

bool EffectContext::EndOfRow(int64_t position)
{
    if (!PumpDue())
        return false;
    const int32_t row = row_cursor;
    host_.SetProgress(position);
    ProcessMessages();
    return row_cursor != row;
}

EffectKernel& EffectContext::KernelBank(uint32_t number)
{
    if (number >= 1 && number <= kKernels.size())
        kernel = kKernels[number - 1];
    return kernel;
}

Neighbourhood& EffectContext::GatherNeighbourhood(const uint8_t* plane, int32_t width, int32_t column, int32_t row)
{
    const int64_t p = int64_t{row} * width + column;
    const int64_t offsets[9] = {p - width - 1, p - width, p - width + 1, p - 1, p, p + 1,
                                p + width - 1, p + width, p + width + 1};
    for (size_t k = 0; k < 9; ++k)
        neighbourhood[k] = plane[offsets[k]];
    return neighbourhood;
}

int32_t EffectContext::PeakChannelMean(int64_t sum0, int64_t sum1, int64_t sum2) const
{
    return static_cast<int32_t>(std::max({sum0, sum1, sum2}) / row_cursor);
}

long double ApplyKernel(const EffectKernel& kernel, const Neighbourhood& neighbourhood)
{
    long double sum = static_cast<long double>(neighbourhood[0]) * static_cast<long double>(kernel[0]);
    for (size_t k = 1; k < 9; ++k)
        sum += static_cast<long double>(neighbourhood[k]) * static_cast<long double>(kernel[k]);
    return sum;
}

uint8_t MedianOfNine(Neighbourhood& values)
{
    for (int pass = 0; pass < 8; ++pass) {
        for (size_t j = 0; j < 8; ++j) {
            if (values[j + 1] < values[j])
                std::swap(values[j], values[j + 1]);
        }
    }
    return values[4];
}

void GrayPixel(uint8_t* plane0, uint8_t* plane1, uint8_t* plane2, int32_t width, int32_t column, int32_t row)
{
    const int64_t i = int64_t{row} * width + column;
    const auto mean = static_cast<uint8_t>((plane0[i] + plane1[i] + plane2[i]) / 3);
    plane0[i] = plane1[i] = plane2[i] = mean;
}

} // namespace korvanti
