// Streaming reads of a picture file: its stored rows a few megabytes at a
// time, and byte ranges handed on to a sink as they are.
#pragma once

#include <cstdint>
#include <vector>

#include "image/document.h"
#include "image/save_stream.h"

namespace korvanti {

// The stored rows of a picture file, read a few megabytes at a time; the
// row asked for and the one before it stay in memory.
class RowWindow {
public:
    RowWindow(PictureSource& file, int64_t pixel_offset, int64_t stride, int64_t height);

    // Stored row q; when it is not in memory, it and the rows after it are
    // read (row q - 1 is kept when it is held).
    const uint8_t* Row(int64_t q);

private:
    static constexpr int64_t kBytes = int64_t{4} << 20;
    PictureSource& file_;
    const int64_t offset_, stride_, height_, capacity_;
    std::vector<uint8_t> rows_;
    int64_t first_ = 0, count_ = 0;
};

// Bytes from..to of the file into the sink, as they are.
void CopyToSink(PictureSource& file, int64_t from, int64_t to, ByteSink& sink);

} // namespace korvanti
