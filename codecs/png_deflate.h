// The picture data of a PNG file, the zlib stream its IDAT chunks hold,
// made from BGR rows: each row SUB-filtered, and the rows deflated (fastest
// level, run-length matches only) a segment of rows at a time, a couple of
// segments at once on threads of their own. Run-length matches reach back
// one pixel only, so segments deflated apart, joined by sync flushes, give
// the size one stream would.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <future>

#include "codecs/format.h"

namespace korvanti::codecs {

class IdatStream {
public:
    // write_chunk(data) writes one IDAT chunk; it is called in order, on
    // the caller's thread, and gives false when it failed.
    IdatStream(int32_t width, int32_t height, std::function<bool(const Bytes&)> write_chunk);
    ~IdatStream();
    IdatStream(const IdatStream&) = delete;
    IdatStream& operator=(const IdatStream&) = delete;

    // The next row; false when the stream failed (see problem()).
    bool AddRow(const uint8_t* bgr);
    // After the last row: every chunk written.
    bool Finish();
    const FileProblem& problem() const { return problem_; }

private:
    struct Segment {
        Bytes filtered;
        bool last = false;
    };
    struct Compressed {
        Bytes bytes;
        uint32_t adler = 1;
        int64_t raw = 0;
        bool last = false;
        bool ok = false;
    };
    static Compressed Compress(Segment segment);
    void Send(bool last);
    bool WriteOldest();

    const int64_t row_bytes_; // the filter byte and three bytes a pixel
    const int64_t segment_rows_;
    int64_t rows_left_;
    Segment current_;
    std::deque<std::future<Compressed>> compressing_;
    std::function<bool(const Bytes&)> write_chunk_;
    uint32_t adler_ = 1;
    bool first_ = true;
    FileProblem problem_;
};

} // namespace korvanti::codecs
