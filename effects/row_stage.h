// An effect that needs no more than the neighbouring rows, worked on a
// picture's stored rows as they arrive, in either order, with a band of a
// few rows in memory: the bytes the whole-picture run gives, row by row.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "effects/run_steps.h"

namespace korvanti {

// What such an effect does: a per-pixel function on a row of BGR triples
// (the whole-picture run changes every pixel but the last of the file),
// or a 3x3 row function of engine/row_kernels.h's shape over the plane
// rows and columns inside border.
struct RowForm {
    void (*pixels)(uint8_t* bgr, int64_t count) = nullptr;
    void (*filter)(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t width) = nullptr;
    Border border = kInterior;
};

// A per-pixel function of run_steps.h (a lambda without captures) over a row.
template <class Pixel>
void PixelRow(uint8_t* bgr, int64_t count)
{
    Pixel pixel;
    for (int64_t i = 0; i < count; ++i, bgr += 3)
        pixel(bgr[0], bgr[1], bgr[2]);
}

// One run of form over a width x height picture, its stored rows taken
// bottom row first (as a BMP file holds them) or top row first (as photos
// do) and handed back finished in the same order, a row or two behind.
// The padding of a finished row is zero.
class RowStage {
public:
    using Finished = std::function<void(const uint8_t* row)>;

    RowStage(const RowForm& form, int32_t width, int32_t height, bool top_first);

    // The next stored row; finished(row) for every row it completes.
    void Take(const uint8_t* row, const Finished& finished);

private:
    void Place(int64_t q, const uint8_t* row);
    void MakeRoom(int64_t q);
    void Finish(int64_t s, const Finished& finished);
    uint8_t* Element(int k, int64_t e) { return band_[k].data() + (e - low_); }

    const RowForm form_;
    const int64_t width_, height_, stride_;
    const bool top_first_;
    const int64_t capacity_; // elements of each channel in the band
    std::array<std::vector<uint8_t>, 3> band_;
    std::array<std::vector<uint8_t>, 3> result_;
    std::vector<uint8_t> out_;
    int64_t low_ = 0;       // the plane element at the band's start
    int64_t next_ = 0;      // the next stored row to take
    int64_t next_done_ = 0; // the next stored row to finish
};

} // namespace korvanti
