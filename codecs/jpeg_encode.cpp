// JPEG encoding a row at a time through libjpeg's scanline API, the
// encoded bytes handed to a sink as they are made.
#include "codecs/jpeg.h"

#include <cstdio> // before jpeglib.h, which uses FILE

#include <jpeglib.h>
#include <jerror.h> // after jpeglib.h

#include <csetjmp>
#include <memory>
#include <new>

#include "codecs/jpeg_markers.h"
#include "codecs/row_codecs.h"
#include "image/save_stream.h"

namespace korvanti::codecs {
namespace {

constexpr size_t kOutputBuffer = size_t{64} << 10;

// One encode's library state. libjpeg reports errors by longjmp, so the
// calls that may fail run inside Guarded and hold no C++ object needing
// destruction.
struct Compression {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    jpeg_destination_mgr destination{};
    std::jmp_buf jump{};
    ByteSink* out = nullptr;
    std::unique_ptr<uint8_t[]> buffer;
    bool out_of_memory = false;
    char message[JMSG_LENGTH_MAX] = "";

    ~Compression() { jpeg_destroy_compress(&cinfo); }
};

Compression& CompressionOf(j_compress_ptr cinfo) { return *static_cast<Compression*>(cinfo->client_data); }

void FailEncode(j_common_ptr cinfo)
{
    auto& c = *static_cast<Compression*>(cinfo->client_data);
    c.out_of_memory = cinfo->err->msg_code == JERR_OUT_OF_MEMORY;
    cinfo->err->format_message(cinfo, c.message);
    std::longjmp(c.jump, 1);
}

// The buffer's first size bytes to the sink, and the buffer empty again.
void HandOn(j_compress_ptr cinfo, size_t size)
{
    Compression& c = CompressionOf(cinfo);
    try {
        c.out->Put(c.buffer.get(), size);
    } catch (const std::bad_alloc&) {
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    }
    c.destination.next_output_byte = c.buffer.get();
    c.destination.free_in_buffer = kOutputBuffer;
}

void StartDestination(j_compress_ptr cinfo)
{
    Compression& c = CompressionOf(cinfo);
    c.destination.next_output_byte = c.buffer.get();
    c.destination.free_in_buffer = kOutputBuffer;
}

boolean EmptyDestination(j_compress_ptr cinfo)
{
    HandOn(cinfo, kOutputBuffer);
    return TRUE;
}

void EndDestination(j_compress_ptr cinfo) { HandOn(cinfo, kOutputBuffer - CompressionOf(cinfo).destination.free_in_buffer); }

// Runs library calls; false when they failed (the reason in c.message).
template <typename Calls>
bool Guarded(Compression& c, Calls calls)
{
    if (setjmp(c.jump))
        return false;
    calls();
    return true;
}

// 4:2:0 chroma; the fast DCT below quality 96, the accurate one from there on.
class JpegRowEncoder : public RowEncoder {
public:
    FileProblem Open(int32_t width, int32_t height, int quality, std::span<const uint8_t> icc,
                     std::span<const uint8_t> exif, ByteSink& out)
    {
        jpeg_compress_struct& cinfo = c_.cinfo;
        try {
            c_.buffer.reset(new uint8_t[kOutputBuffer]);
            segments_ = MetadataSegments(icc, exif);
        } catch (const std::bad_alloc&) {
            return OutOfMemoryProblem();
        }
        c_.out = &out;
        cinfo.err = jpeg_std_error(&c_.errors);
        c_.errors.error_exit = FailEncode;
        cinfo.client_data = &c_;
        c_.destination.init_destination = StartDestination;
        c_.destination.empty_output_buffer = EmptyDestination;
        c_.destination.term_destination = EndDestination;
        const bool started = Guarded(c_, [&] {
            jpeg_create_compress(&cinfo);
            cinfo.dest = &c_.destination;
            cinfo.image_width = static_cast<JDIMENSION>(width);
            cinfo.image_height = static_cast<JDIMENSION>(height);
            cinfo.in_color_space = JCS_EXT_BGR;
            cinfo.input_components = 3;
            jpeg_set_defaults(&cinfo);
            jpeg_set_quality(&cinfo, quality, TRUE);
            cinfo.dct_method = quality >= 96 ? JDCT_ISLOW : JDCT_FASTEST;
            jpeg_set_colorspace(&cinfo, JCS_YCbCr);
            cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 2;
            for (int k = 1; k < 3; ++k)
                cinfo.comp_info[k].h_samp_factor = cinfo.comp_info[k].v_samp_factor = 1;
            jpeg_start_compress(&cinfo, TRUE);
            // SOI and APP0 are written; the metadata follows them.
            HandOn(&cinfo, kOutputBuffer - c_.destination.free_in_buffer);
            out.Put(segments_.data(), segments_.size());
        });
        return started ? FileProblem{} : Failure();
    }

    FileProblem WriteRow(const uint8_t* row) override
    {
        auto* rows = const_cast<JSAMPROW>(row);
        return Guarded(c_, [&] { jpeg_write_scanlines(&c_.cinfo, &rows, 1); }) ? FileProblem{} : Failure();
    }

    FileProblem Finish() override
    {
        return Guarded(c_, [&] { jpeg_finish_compress(&c_.cinfo); }) ? FileProblem{} : Failure();
    }

private:
    FileProblem Failure() const
    {
        return c_.out_of_memory ? OutOfMemoryProblem() : FileProblem{FileProblemKind::EncodeFailed, 0, 0, c_.message};
    }

    Compression c_;
    Bytes segments_;
};

} // namespace

FileProblem OpenJpegRowEncoder(int32_t width, int32_t height, int quality, std::span<const uint8_t> icc,
                               std::span<const uint8_t> exif, ByteSink& out, std::unique_ptr<RowEncoder>& encoder)
{
    auto opened = std::make_unique<JpegRowEncoder>();
    if (FileProblem problem = opened->Open(width, height, quality, icc, exif, out); !problem.ok())
        return problem;
    encoder = std::move(opened);
    return {};
}

FileProblem EncodeJpeg(const BitmapRows& rows, int quality, std::span<const uint8_t> icc, Bytes& out,
                       std::span<const uint8_t> exif)
{
    out.clear();
    AppendingSink sink(out);
    std::unique_ptr<RowEncoder> encoder;
    if (FileProblem problem = OpenJpegRowEncoder(rows.width, rows.height, quality, icc, exif, sink, encoder);
        !problem.ok())
        return problem;
    return EncodeRows(*encoder, rows);
}

} // namespace korvanti::codecs
