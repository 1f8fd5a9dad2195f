// What the effect engine asks of whoever runs it: the window, the batch
// tool or a test. Every call happens on the thread that runs the effect.
#pragma once

#include <chrono>
#include <cstdint>

namespace korvanti {

// A pump interval for a host with a person in front of it: the window stays
// responsive and Cancel lands well within a tenth of a second, while the
// pump itself costs next to nothing of the run.
inline constexpr std::chrono::microseconds kInteractivePumpInterval{4000};

class EffectHost {
public:
    virtual ~EffectHost() = default;

    virtual void SetProgressMax(int64_t maximum) { (void)maximum; }
    // Positions past the maximum show a full bar.
    virtual void SetProgress(int64_t position) { (void)position; }
    // Handles pending user input. This is where Cancel can be pressed: the
    // host then calls EffectContext::Cancel().
    virtual void ProcessMessages() {}
    virtual void SetCancelEnabled(bool enabled) { (void)enabled; }
    // How much work may pass between two pumps. Zero (the default) pumps at
    // every pump point a run passes: after each row, or each block step.
    // Longer, the run pumps at a pump point only once the interval has
    // passed since the last pump, and moves the progress only there; the
    // points and positions taken are a subset of the same ones. Read when a
    // run (or a pass of one) begins.
    virtual std::chrono::microseconds PumpInterval() const { return std::chrono::microseconds{0}; }
    // The run is over and its result is in the document's file_bytes.
    virtual void RunFinished(bool cancelled) { (void)cancelled; }
};

} // namespace korvanti
