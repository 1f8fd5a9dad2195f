// The frame every effect runs in: its run state (row and column cursors,
// the cancel flag), the progress and Cancel protocol with the host, and the
// shared 3x3 toolkit (kernel bank, neighbourhood, kernel sum, median).
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/c_rand.h"
#include "engine/effect_host.h"
#include "image/document.h"

namespace korvanti {

// Kernel sums are carried with a 64-bit mantissa; the results depend on it.
static_assert(std::numeric_limits<long double>::digits == 64,
              "kernel arithmetic needs an 80-bit extended long double");

using EffectKernel = std::array<double, 9>;
using Neighbourhood = std::array<uint8_t, 9>;

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


    // Fills EffectKernel with kernel 1 to 8; other numbers leave it as it is.
    EffectKernel& KernelBank(uint32_t number);
    // Copies the nine plane values around (row, column) into Neighbourhood.
    Neighbourhood& GatherNeighbourhood(const uint8_t* plane, int32_t width, int32_t column, int32_t row);
    // Largest channel sum divided by row_cursor.
    int32_t PeakChannelMean(int64_t sum0, int64_t sum1, int64_t sum2) const;

    CRand& Random() { return random_; }

    EffectKernel kernel{};
    Neighbourhood neighbourhood{};
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

// Weighted sum of the neighbourhood, in extended precision, in entry order.
long double ApplyKernel(const EffectKernel& kernel, const Neighbourhood& neighbourhood);
// Eight exchange passes; leaves the buffer sorted and returns element 4.
uint8_t MedianOfNine(Neighbourhood& neighbourhood);
// Replaces the three values at (row, column) by their truncated mean.
void GrayPixel(uint8_t* plane0, uint8_t* plane1, uint8_t* plane2, int32_t width, int32_t column,
               int32_t row);

} // namespace korvanti
