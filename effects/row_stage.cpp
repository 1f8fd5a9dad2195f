// An effect worked on rows as they arrive (row_stage.h). The band holds
// channel planes laid out as the whole-picture run's planes are: element e
// is pixel e - 1 of the file, so stored row q fills elements qW + 1 to
// qW + W, and a row of results, elements sW + 1 to sW + W, reads elements
// (s - 1)W to (s + 2)W: the last pixel of row s - 2, rows s - 1 to s + 1.
// Rows beyond the picture read as zeros, as the planes' element 0 and spare
// tail do.
#include "effects/row_stage.h"

#include <algorithm>
#include <cstring>

#include "image/planes.h"

namespace korvanti {
namespace {

constexpr int64_t kBandRows = 64;

} // namespace

RowStage::RowStage(const RowForm& form, int32_t width, int32_t height, bool top_first)
    : form_(form), width_(width), height_(height), stride_(RowStride(width)), top_first_(top_first),
      capacity_(form.filter != nullptr ? (kBandRows + 4) * int64_t{width} : 0),
      out_(static_cast<size_t>(stride_), 0)
{
    next_ = top_first ? height_ - 1 : 0;
    next_done_ = next_;
    if (form_.filter == nullptr)
        return;
    for (int k = 0; k < 3; ++k) {
        band_[k].resize(static_cast<size_t>(capacity_));
        result_[k].resize(static_cast<size_t>(2 * width_ + 1));
    }
    // A row of zeros before the first.
    low_ = top_first ? (height_ + 1) * width_ + 1 - capacity_ : -width_;
    Place(top_first ? height_ : -1, nullptr);
}

void RowStage::Take(const uint8_t* row, const Finished& finished)
{
    const int64_t q = next_;
    next_ += top_first_ ? -1 : 1;
    if (form_.filter == nullptr) {
        std::memcpy(out_.data(), row, static_cast<size_t>(3 * width_));
        // The whole-picture run leaves the file's last pixel as it is.
        form_.pixels(out_.data(), q == height_ - 1 ? width_ - 1 : width_);
        finished(out_.data());
        return;
    }
    Place(q, row);
    const bool last = top_first_ ? q == 0 : q == height_ - 1;
    if (last) // and a row of zeros after it
        Place(top_first_ ? -1 : height_, nullptr);
    const int64_t placed = last ? (top_first_ ? -1 : height_) : q;
    if (top_first_) {
        // Row s needs rows down to s - 2 (none below row -1).
        for (; next_done_ >= 0 && std::max<int64_t>(next_done_ - 2, -1) >= placed; --next_done_)
            Finish(next_done_, finished);
    } else {
        // Row s needs rows up to s + 1 (none above row H).
        for (; next_done_ < height_ && std::min(next_done_ + 1, height_) <= placed; ++next_done_)
            Finish(next_done_, finished);
    }
}

// Elements qW + 1 to qW + W: pixels 0 to W - 1 of row q, or zeros.
void RowStage::Place(int64_t q, const uint8_t* row)
{
    MakeRoom(q);
    const int64_t first = q * width_ + 1;
    if (row == nullptr) {
        for (int k = 0; k < 3; ++k)
            std::memset(Element(k, first), 0, static_cast<size_t>(width_));
        return;
    }
    SplitRow(row, Element(0, first), Element(1, first), Element(2, first), width_);
}

// Moves what later rows still read to the far end of the band when row q
// does not fit.
void RowStage::MakeRoom(int64_t q)
{
    const int64_t first = q * width_ + 1;
    const int64_t last = first + width_ - 1;
    if (!top_first_ && last - low_ >= capacity_) {
        const int64_t keep_from = (next_done_ - 1) * width_;
        for (int k = 0; k < 3; ++k)
            std::memmove(band_[k].data(), Element(k, keep_from), static_cast<size_t>(first - keep_from));
        low_ = keep_from;
    } else if (top_first_ && first < low_) {
        const int64_t keep_to = (next_done_ + 2) * width_; // inclusive
        const int64_t new_low = keep_to + 1 - capacity_;
        for (int k = 0; k < 3; ++k)
            std::memmove(band_[k].data() + (last + 1 - new_low), Element(k, last + 1),
                         static_cast<size_t>(keep_to - last));
        low_ = new_low;
    }
}

void RowStage::Finish(int64_t s, const Finished& finished)
{
    const int64_t w = width_;
    const Border border = form_.border;
    const int64_t count = w - border.after - border.before;
    const bool filtered = s >= border.before && s <= height_ - 1 - border.after && count > 0;
    // result_[k][i] is element (s - 1)W + i for i from W to 2W.
    for (int k = 0; k < 3; ++k) {
        uint8_t* result = result_[k].data();
        std::memcpy(result + w + 1, Element(k, s * w + 1), static_cast<size_t>(w));
        if (filtered)
            form_.filter(Element(k, (s - 1) * w), result, w + border.before, count, w);
    }
    MergeRow(out_.data(), result_[0].data() + w + 1, result_[1].data() + w + 1, result_[2].data() + w + 1, w);
    finished(out_.data());
}

} // namespace korvanti
