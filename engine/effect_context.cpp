// The run frame: progress, pump points, Cancel, and the undo copy.
#include "engine/effect_context.h"

#include <time.h>

#include <cstring>

#include "engine/worker_threads.h"
#include "image/planes.h"

namespace korvanti {

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
    // A plain copy, bound by memory: in one piece per worker thread.
    const auto size =
        static_cast<int64_t>(FileBytesToCopy(doc.file_bytes, doc.undo_bytes, doc.plane_width, doc.plane_height));
    auto copy = [this](int64_t begin, int64_t end) {
        std::memcpy(doc.undo_bytes.data() + begin, doc.file_bytes.data() + begin, static_cast<size_t>(end - begin));
    };
    ParallelFor(0, size, size / WorkerThreads() + 1, copy);
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

} // namespace korvanti
