// Streaming reads of a picture file (row_window.h).
#include "image/row_window.h"

#include <algorithm>
#include <cstring>

namespace korvanti {

RowWindow::RowWindow(PictureSource& file, int64_t pixel_offset, int64_t stride, int64_t height)
    : file_(file), offset_(pixel_offset), stride_(stride), height_(height),
      capacity_(std::max<int64_t>(2, std::min(height, kBytes / stride))), rows_(static_cast<size_t>(capacity_ * stride))
{
}

const uint8_t* RowWindow::Row(int64_t q)
{
    if (q < first_ || q >= first_ + count_) {
        // Keep row q - 1, then read on from row q.
        const bool keep = q - 1 >= first_ && q - 1 < first_ + count_;
        if (keep)
            std::memmove(rows_.data(), Row(q - 1), static_cast<size_t>(stride_));
        first_ = keep ? q - 1 : q;
        count_ = keep ? 1 : 0;
        const int64_t more = std::min(capacity_ - count_, height_ - first_ - count_);
        file_.Read(offset_ + (first_ + count_) * stride_, rows_.data() + count_ * stride_,
                   static_cast<size_t>(more * stride_));
        count_ += more;
    }
    return rows_.data() + (q - first_) * stride_;
}

void CopyToSink(PictureSource& file, int64_t from, int64_t to, ByteSink& sink)
{
    constexpr int64_t kPiece = int64_t{1} << 20;
    for (int64_t at = from; at < to; at += kPiece) {
        const size_t size = static_cast<size_t>(std::min(kPiece, to - at));
        file.Read(at, sink.Room(size), size);
        sink.Filled(size);
    }
}

} // namespace korvanti
