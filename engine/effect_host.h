// What the effect engine asks of whoever runs it: the window, the batch
// tool or a test. Every call happens on the thread that runs the effect.
#pragma once

#include <cstdint>

namespace korvanti {

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
    // The run is over and its result is in the document's file_bytes.
    virtual void RunFinished(bool cancelled) { (void)cancelled; }
};

} // namespace korvanti
