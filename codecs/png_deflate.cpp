// PNG picture data deflated a segment at a time on helper threads (png_deflate.h).
#include "codecs/png_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <new>

namespace korvanti::codecs {
namespace {

constexpr int64_t kSegmentBytes = int64_t{2} << 20; // filtered rows deflated as one piece
constexpr size_t kSegmentsAtOnce = 2;

// zlib's header for a deflate stream with a 32 KiB window at the fastest level.
constexpr uint8_t kZlibHeader[] = {0x78, 0x01};

} // namespace

IdatStream::IdatStream(int32_t width, int32_t height, std::function<bool(const Bytes&)> write_chunk)
    : row_bytes_(3 * int64_t{width} + 1), segment_rows_(std::max<int64_t>(1, kSegmentBytes / row_bytes_)),
      rows_left_(height), write_chunk_(std::move(write_chunk))
{
}

IdatStream::~IdatStream()
{
    for (auto& segment : compressing_)
        segment.wait();
}

bool IdatStream::AddRow(const uint8_t* bgr)
{
    if (!problem_.ok())
        return false;
    const size_t at = current_.filtered.size();
    current_.filtered.resize(at + static_cast<size_t>(row_bytes_));
    uint8_t* out = current_.filtered.data() + at;
    *out++ = 1; // SUB: each byte less the same channel of the pixel before
    uint8_t red = 0, green = 0, blue = 0;
    for (int64_t x = 0; x < row_bytes_ / 3; ++x, bgr += 3, out += 3) {
        out[0] = static_cast<uint8_t>(bgr[2] - red);
        out[1] = static_cast<uint8_t>(bgr[1] - green);
        out[2] = static_cast<uint8_t>(bgr[0] - blue);
        red = bgr[2], green = bgr[1], blue = bgr[0];
    }
    --rows_left_;
    if (rows_left_ == 0 || static_cast<int64_t>(current_.filtered.size()) >= segment_rows_ * row_bytes_)
        Send(rows_left_ == 0);
    return problem_.ok();
}

bool IdatStream::Finish()
{
    if (problem_.ok() && (rows_left_ != 0 || compressing_.empty()))
        problem_ = {FileProblemKind::EncodeFailed, 0, 0, "rows missing"};
    while (problem_.ok() && !compressing_.empty())
        WriteOldest();
    return problem_.ok();
}

void IdatStream::Send(bool last)
{
    current_.last = last;
    compressing_.push_back(std::async(std::launch::async, Compress, std::move(current_)));
    current_ = Segment{};
    if (!last)
        current_.filtered.reserve(static_cast<size_t>(segment_rows_ * row_bytes_));
    while (problem_.ok() && compressing_.size() > kSegmentsAtOnce)
        WriteOldest();
}

bool IdatStream::WriteOldest()
{
    Compressed segment;
    try {
        segment = compressing_.front().get();
    } catch (const std::bad_alloc&) {
        segment.ok = false;
    }
    compressing_.pop_front();
    if (!segment.ok) {
        problem_ = OutOfMemoryProblem();
        return false;
    }
    adler_ = static_cast<uint32_t>(adler32_combine(adler_, segment.adler, static_cast<z_off_t>(segment.raw)));
    if (first_)
        segment.bytes.insert(segment.bytes.begin(), std::begin(kZlibHeader), std::end(kZlibHeader));
    first_ = false;
    if (segment.last)
        for (int shift = 24; shift >= 0; shift -= 8)
            segment.bytes.push_back(static_cast<uint8_t>(adler_ >> shift));
    if (!write_chunk_(segment.bytes))
        problem_ = {FileProblemKind::EncodeFailed, 0, 0, "the picture data could not be written"};
    return problem_.ok();
}

// A raw deflate stream of the segment, ended by a sync flush (so that the
// next segment's stream follows on a byte boundary) or, for the last, as
// the end of the data.
IdatStream::Compressed IdatStream::Compress(Segment segment)
{
    Compressed result;
    result.raw = static_cast<int64_t>(segment.filtered.size());
    result.last = segment.last;
    result.adler = static_cast<uint32_t>(adler32(adler32(0, nullptr, 0), segment.filtered.data(),
                                                 static_cast<uInt>(segment.filtered.size())));
    z_stream stream{};
    if (deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK)
        return result;
    result.bytes.resize(deflateBound(&stream, static_cast<uLong>(segment.filtered.size())) + 16);
    stream.next_in = segment.filtered.data();
    stream.avail_in = static_cast<uInt>(segment.filtered.size());
    stream.next_out = result.bytes.data();
    stream.avail_out = static_cast<uInt>(result.bytes.size());
    const int flush = segment.last ? Z_FINISH : Z_SYNC_FLUSH;
    const int status = deflate(&stream, flush);
    result.ok = segment.last ? status == Z_STREAM_END : status == Z_OK && stream.avail_in == 0;
    result.bytes.resize(result.bytes.size() - stream.avail_out);
    deflateEnd(&stream);
    return result;
}

} // namespace korvanti::codecs
