// The frame every effect runs in: its run state (row and column cursors,
// the cancel flag), the progress and Cancel protocol with the host, the
// undo copy and the random sequence.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/c_rand.h"
#include "engine/effect_host.h"
#include "image/document.h"

namespace korvanti {

// Effects carry fractional sums with a 64-bit mantissa; the results depend on it.
static_assert(std::numeric_limits<long double>::digits == 64,
              "effect arithmetic needs an 80-bit extended long double");

// Truncates toward zero and keeps the low eight bits: -3 -> 253, 260 -> 4.
inline uint8_t StoreByte(long double value) { return static_cast<uint8_t>(static_cast<int64_t>(value)); }

class EffectContext {
public:
    EffectContext(Document& document, EffectHost& host, CRand& random)
        : doc(document), host_(host), random_(random)
    {
    }

    Document& doc;

    int32_t row_cursor = 0;
    int32_t column_cursor = 0;
    uint8_t cancel_flag = 0;

    // Starts a run (or one pass of a multi-pass run): fresh planes sized
    // from the document, progress reset, Cancel enabled. A run that needs
    // fewer planes may leave the others out (they are then not allocated).
    void BeginEffect(PlaneUse planes = PlaneUse::All);
    // Ends the run: counts the edit unless cancelled, arms undo, keeps the
    // result in the target planes for redo and tells the host.
    void EndEffect();
    // The Cancel button: moves the cursors past their ends. Ignored when no
    // run is in progress.
    void Cancel();
    bool Running() const { return running_; }
    // Puts the frame back to idle after an effect failed part way (an
    // exception): the picture goes back to what it was before the run.
    void Abandon();

    // Keeps the picture as it is now for undo. By swap: the current picture
    // moves to undo_bytes and file_bytes keeps stale pixels (header, padding
    // and trailing bytes are the same in both), so the run must split from
    // PictureBeforeRun() and merge every pixel back. By copy: file_bytes
    // stays valid. A document that keeps no undo (doc.keep_undo off) makes
    // neither: the run then reads and writes file_bytes in place.
    void SaveUndoBySwap();
    void SaveUndoByCopy();
    // The picture as it was when the run began: the undo copy after a swap,
    // otherwise file_bytes itself.
    const Bytes& PictureBeforeRun() const { return swapped_ ? doc.undo_bytes : doc.file_bytes; }

    // Per-row epilogue at a pump point: when a pump is due, progress to
    // position, then pending messages; otherwise nothing. Returns true when
    // a Cancel during the pump ended the pass (the row cursor was moved past
    // the last row).
    bool EndOfRow(int64_t position);
    // The usual epilogue: progress at picture width x current row.
    bool EndOfRow() { return EndOfRow(int64_t{doc.bitmap.GetWidth()} * row_cursor); }
    // Whether a pump point reached now should pump: always with the host's
    // interval zero, else once the interval has passed since the last pump.
    bool PumpDue() const { return pump_interval_ns_ == 0 || MonotonicNanoseconds() >= next_pump_ns_; }
    void SetProgress(int64_t position) { host_.SetProgress(position); }
    // Pumps unconditionally; a loop that pumps itself asks PumpDue() first.
    void ProcessMessages();

    CRand& Random() { return random_; }

    // Per-channel work buffers an effect may keep from run to run (the
    // rough sketch's block slots).
    std::array<std::vector<uint8_t>, 3> scratch;

    // A cheap monotonic clock (a few milliseconds' resolution is enough).
    static int64_t MonotonicNanoseconds();

private:
    EffectHost& host_;
    CRand& random_;
    int64_t pump_interval_ns_ = 0;
    int64_t next_pump_ns_ = 0;
    bool running_ = false;
    bool undo_saved_ = false;
    bool swapped_ = false;
};

} // namespace korvanti
