// JPEG decoding through libjpeg's scanline API: straight into the BMP rows
// (turned as the EXIF orientation says while they are placed) or a row at a
// time (the encoder is in jpeg_encode.cpp).
#include "codecs/jpeg.h"

#include <cstdio> // before jpeglib.h, which uses FILE

#include <jpeglib.h>
#include <jerror.h> // after jpeglib.h

#include <algorithm>
#include <array>
#include <csetjmp>
#include <memory>
#include <new>

#include "codecs/exif.h"
#include "codecs/jpeg_markers.h"
#include "codecs/row_codecs.h"

namespace korvanti::codecs {
namespace {

constexpr int kMaxScans = 500;         // more is a decoding-time bomb, not a photo
constexpr int64_t kBandRows = 16;      // rows decoded between two looks at the stop request
constexpr int64_t kWorkingSlack = 32 << 20;

// One decode's library state. libjpeg reports errors by longjmp, so the
// calls that may fail run inside Guarded and hold no C++ object needing
// destruction.
struct Session {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    const std::atomic<bool>* stop = nullptr;
    FileProblemKind failure = FileProblemKind::Damaged; // Interrupted on a stop request
    char message[JMSG_LENGTH_MAX + 40] = "";

    ~Session() { jpeg_destroy_decompress(&cinfo); }
};

Session& SessionOf(j_common_ptr cinfo) { return *static_cast<Session*>(cinfo->client_data); }

// The library's message, in words that name the cause.
void Fail(j_common_ptr cinfo)
{
    Session& s = SessionOf(cinfo);
    const int code = cinfo->err->msg_code;
    if (code == JERR_BAD_PRECISION) {
        std::snprintf(s.message, sizeof s.message, "%d-bit JPEG is not supported", cinfo->err->msg_parm.i[0]);
    } else if (code == JERR_NO_BACKING_STORE) { // over max_memory_to_use
        s.failure = FileProblemKind::TooLarge;
        std::snprintf(s.message, sizeof s.message, "decoding it needs more than %ld MB of memory",
                      cinfo->mem->max_memory_to_use / 1000000);
    } else {
        s.failure = code == JERR_OUT_OF_MEMORY ? FileProblemKind::OutOfMemory : FileProblemKind::Damaged;
        cinfo->err->format_message(cinfo, s.message);
    }
    std::longjmp(s.jump, 1);
}

// Warnings that leave the picture whole (an unknown JFIF version, stray
// bytes between segments) are let pass; those that mean missing or
// garbled pixels refuse the file.
void OnMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
        Fail(cinfo);
    default:
        break;
    }
}

// Called while a multi-scan file is read in: the scan limit and the stop request.
void OnProgress(j_common_ptr cinfo)
{
    Session& s = SessionOf(cinfo);
    if (s.cinfo.input_scan_number > kMaxScans) {
        std::snprintf(s.message, sizeof s.message, "more than %d scans", kMaxScans);
        std::longjmp(s.jump, 1);
    }
    if (s.stop != nullptr && s.stop->load(std::memory_order_relaxed)) {
        s.failure = FileProblemKind::Interrupted;
        std::longjmp(s.jump, 1);
    }
}

// Runs library calls; false when they failed (the reason in s.message).
template <typename State, typename Calls>
bool Guarded(State& s, Calls calls)
{
    if (setjmp(s.jump))
        return false;
    calls();
    return true;
}

// Up to the first scan, the file's bytes coming from set_source.
template <class SetSource>
bool ReadHeaderFrom(Session& s, SetSource set_source)
{
    s.cinfo.err = jpeg_std_error(&s.errors);
    s.errors.error_exit = Fail;
    s.errors.emit_message = OnMessage;
    s.cinfo.client_data = &s;
    s.progress.progress_monitor = OnProgress;
    return Guarded(s, [&] {
        jpeg_create_decompress(&s.cinfo);
        s.cinfo.progress = &s.progress;
        set_source();
        jpeg_read_header(&s.cinfo, TRUE);
    });
}

bool ReadHeader(Session& s, std::span<const uint8_t> jpeg)
{
    return ReadHeaderFrom(s, [&] { jpeg_mem_src(&s.cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size())); });
}

// A file read a piece at a time for the library; the pieces read while
// header is set are kept there too.
struct PieceSource {
    jpeg_source_mgr manager{};
    ByteSource* file = nullptr;
    Bytes* header = nullptr;
    std::unique_ptr<JOCTET[]> buffer;
    static constexpr size_t kPiece = size_t{64} << 10;
};

PieceSource& PieceSourceOf(j_decompress_ptr cinfo) { return *reinterpret_cast<PieceSource*>(cinfo->src); }

void StartPieces(j_decompress_ptr) {}

// As the library's memory source does at the end of the data: a warning
// (which refuses the file) and an end marker.
boolean NextPiece(j_decompress_ptr cinfo)
{
    static const JOCTET kEnd[] = {0xFF, JPEG_EOI};
    PieceSource& source = PieceSourceOf(cinfo);
    const size_t got = source.file->Read(source.buffer.get(), PieceSource::kPiece);
    if (got == 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source.manager.next_input_byte = kEnd;
        source.manager.bytes_in_buffer = 2;
        return TRUE;
    }
    if (source.header != nullptr)
        source.header->insert(source.header->end(), source.buffer.get(), source.buffer.get() + got);
    source.manager.next_input_byte = source.buffer.get();
    source.manager.bytes_in_buffer = got;
    return TRUE;
}

void SkipPieces(j_decompress_ptr cinfo, long count)
{
    jpeg_source_mgr& manager = PieceSourceOf(cinfo).manager;
    for (; count > static_cast<long>(manager.bytes_in_buffer); NextPiece(cinfo))
        count -= static_cast<long>(manager.bytes_in_buffer);
    if (count > 0) {
        manager.next_input_byte += count;
        manager.bytes_in_buffer -= static_cast<size_t>(count);
    }
}

void EndPieces(j_decompress_ptr) {}

// Where decoded pixel (x, y) lands in the BMP form, turned as EXIF
// orientation says: origin + x * step_x + y * step_y.
struct Placement {
    int64_t origin = 0;
    int64_t step_x = 3;
    int64_t step_y = 0;
};

Placement PlacementFor(int orientation, int64_t w, int64_t h, int64_t out_h, int64_t stride)
{
    // The turned column dx = a + b x + c y and row dy = d + e x + f y.
    struct Map {
        int64_t a, b, c, d, e, f;
    };
    const Map maps[8] = {{0, 1, 0, 0, 0, 1},          {w - 1, -1, 0, 0, 0, 1},     {w - 1, -1, 0, h - 1, 0, -1},
                         {0, 1, 0, h - 1, 0, -1},     {0, 0, 1, 0, 1, 0},          {h - 1, 0, -1, 0, 1, 0},
                         {h - 1, 0, -1, w - 1, -1, 0}, {0, 0, 1, w - 1, -1, 0}};
    const Map& m = maps[orientation - 1];
    // BMP rows are stored bottom-up: row dy begins at (out_h - 1 - dy) * stride.
    return {kHeaderBytes + (out_h - 1 - m.d) * stride + 3 * m.a, 3 * m.b - m.e * stride, 3 * m.c - m.f * stride};
}

uint8_t Scaled(unsigned a, unsigned b) { return static_cast<uint8_t>((a * b + 127) / 255); }

// Copies rows of BGR (channels 3) or CMYK (channels 4, inverted as Adobe
// writes it when inverted) into the bitmap.
void PlaceBand(const uint8_t* band, int64_t width, int64_t first_y, int64_t rows, int channels, bool inverted,
               const Placement& place, uint8_t* bitmap)
{
    auto put = [&](int64_t x, int64_t y) {
        const uint8_t* in = band + ((y - first_y) * width + x) * channels;
        uint8_t* out = bitmap + place.origin + x * place.step_x + y * place.step_y;
        if (channels == 3) {
            out[0] = in[0], out[1] = in[1], out[2] = in[2];
            return;
        }
        const unsigned flip = inverted ? 0 : 255;
        const unsigned k = in[3] ^ flip;
        out[0] = Scaled(in[2] ^ flip, k), out[1] = Scaled(in[1] ^ flip, k), out[2] = Scaled(in[0] ^ flip, k);
    };
    if (place.step_x == 3 || place.step_x == -3) { // rows stay rows
        for (int64_t y = first_y; y < first_y + rows; ++y)
            for (int64_t x = 0; x < width; ++x)
                put(x, y);
        return;
    }
    for (int64_t x = 0; x < width; ++x) // rows become columns: a band at a time
        for (int64_t y = first_y; y < first_y + rows; ++y)
            put(x, y);
}

bool Stopped(const DecodeOptions& options) { return options.stop != nullptr && options.stop->load(std::memory_order_relaxed); }

FileProblem FailureOf(const Session& s)
{
    return {s.failure, 0, 0, s.failure == FileProblemKind::Interrupted ? "" : s.message};
}

} // namespace

FileProblem DecodeJpeg(std::span<const uint8_t> jpeg, Decoded& decoded, const DecodeOptions& options)
{
    Session s;
    s.stop = options.stop;
    if (!ReadHeader(s, jpeg))
        return FailureOf(s);
    jpeg_decompress_struct& cinfo = s.cinfo;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    const int channels = cmyk ? 4 : 3;
    const int64_t width = cinfo.image_width;
    const int64_t height = cinfo.image_height;
    const JpegMetadata metadata = ReadJpegMetadata(jpeg);
    const bool swapped = metadata.orientation >= 5;
    const int64_t out_w = swapped ? height : width;
    const int64_t out_h = swapped ? width : height;
    int64_t size = 0;
    if (FileProblem admitted = AdmitPicture(out_w, out_h, options, size); !admitted.ok())
        return admitted;
    // The library's own buffers (a multi-scan file's coefficients: one to
    // two times the BMP form) stay within twice the BMP form and the limit.
    cinfo.mem->max_memory_to_use = static_cast<long>(std::min(options.limit, 2 * size + kWorkingSlack));
    if (Stopped(options))
        return {FileProblemKind::Interrupted};
    // A multi-scan file is read whole into the library's coefficients here.
    if (!Guarded(s, [&] { jpeg_start_decompress(&cinfo); }))
        return FailureOf(s);

    Decoded result;
    std::unique_ptr<uint8_t[]> band;
    std::array<JSAMPROW, kBandRows> rows{};
    // Straight into the BMP rows when nothing is turned or converted.
    const bool direct = metadata.orientation == 1 && !cmyk;
    try {
        result.bitmap = NewBitmap(static_cast<int32_t>(out_w), static_cast<int32_t>(out_h), size);
        if (!direct)
            band.reset(new uint8_t[static_cast<size_t>(kBandRows * width * channels)]);
        result.icc = metadata.icc;
        result.exif = UprightExif(metadata.exif);
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    const int64_t stride = RowStride(out_w);
    const Placement place = PlacementFor(metadata.orientation, width, height, out_h, stride);
    for (int64_t y = 0; y < height; y += kBandRows) {
        if (Stopped(options))
            return {FileProblemKind::Interrupted};
        const int64_t count = std::min(kBandRows, height - y);
        for (int64_t i = 0; i < count; ++i)
            rows[i] = direct ? result.bitmap.data() + place.origin + (y + i) * place.step_y
                             : band.get() + i * width * channels;
        const auto read = [&] {
            for (int64_t done = 0; done < count;)
                done += jpeg_read_scanlines(&cinfo, rows.data() + done, static_cast<JDIMENSION>(count - done));
        };
        if (!Guarded(s, read))
            return FailureOf(s);
        if (!direct)
            PlaceBand(band.get(), width, y, count, channels, cinfo.saw_Adobe_marker, place, result.bitmap.data());
    }
    if (!Guarded(s, [&] { jpeg_finish_decompress(&cinfo); }))
        return FailureOf(s);
    result.width = static_cast<int32_t>(out_w);
    result.height = static_cast<int32_t>(out_h);
    decoded = std::move(result);
    return {};
}

namespace {

// A decode a row at a time, from the top: the whole decode's steps, the
// rows handed out as they come.
class JpegRowDecoder : public RowDecoder {
public:
    FileProblem Open(ByteSource& file, const DecodeOptions& options, bool& by_rows)
    {
        s_.stop = options.stop;
        Bytes header; // the pieces up to the first scan, for the metadata
        source_.file = &file;
        source_.header = &header;
        source_.buffer.reset(new JOCTET[PieceSource::kPiece]);
        source_.manager = {nullptr, 0, StartPieces, NextPiece, SkipPieces, jpeg_resync_to_restart, EndPieces};
        if (!ReadHeaderFrom(s_, [&] { s_.cinfo.src = &source_.manager; }))
            return FailureOf(s_);
        source_.header = nullptr;
        jpeg_decompress_struct& cinfo = s_.cinfo;
        cmyk_ = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
        cinfo.out_color_space = cmyk_ ? JCS_CMYK : JCS_EXT_BGR;
        JpegMetadata metadata = ReadJpegMetadata(header);
        by_rows = metadata.orientation == 1;
        if (!by_rows)
            return {};
        width = static_cast<int32_t>(cinfo.image_width);
        height = static_cast<int32_t>(cinfo.image_height);
        const std::optional<int64_t> size = BitmapSize(width, height, options.limit);
        if (!size)
            return TooLargeProblem(width, height);
        cinfo.mem->max_memory_to_use = static_cast<long>(std::min(options.limit, 2 * *size + kWorkingSlack));
        if (Stopped(options))
            return {FileProblemKind::Interrupted};
        library_memory = jpeg_has_multiple_scans(&cinfo) ? 2 * *size : 0;
        try {
            if (cmyk_)
                band_.reset(new uint8_t[static_cast<size_t>(4 * int64_t{width})]);
            icc = std::move(metadata.icc);
            exif = UprightExif(metadata.exif);
        } catch (const std::bad_alloc&) {
            return OutOfMemoryProblem();
        }
        return {};
    }

    FileProblem ReadRow(uint8_t* row) override
    {
        // With the first row: a multi-scan file is read whole into the
        // library's coefficients here, once its memory has been admitted.
        if (!started_ && !Guarded(s_, [&] { jpeg_start_decompress(&s_.cinfo); }))
            return FailureOf(s_);
        started_ = true;
        JSAMPROW target = cmyk_ ? band_.get() : row;
        if (!Guarded(s_, [&] {
                while (jpeg_read_scanlines(&s_.cinfo, &target, 1) != 1) {
                }
            }))
            return FailureOf(s_);
        if (cmyk_)
            PlaceBand(band_.get(), width, 0, 1, 4, s_.cinfo.saw_Adobe_marker, Placement{0, 3, 0}, row);
        return {};
    }

    FileProblem Finish() override
    {
        return Guarded(s_, [&] { jpeg_finish_decompress(&s_.cinfo); }) ? FileProblem{} : FailureOf(s_);
    }

private:
    PieceSource source_; // before s_: the library's state goes first
    Session s_;
    bool started_ = false;
    bool cmyk_ = false;
    std::unique_ptr<uint8_t[]> band_;
};

} // namespace

FileProblem OpenJpegRowDecoder(ByteSource& jpeg, const DecodeOptions& options, std::unique_ptr<RowDecoder>& decoder)
{
    return OpenDecoderByRows<JpegRowDecoder>(jpeg, options, decoder);
}

} // namespace korvanti::codecs
