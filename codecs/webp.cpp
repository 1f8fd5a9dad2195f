// WebP decoding and encoding. A still picture without alpha is decoded
// straight into the BMP rows (libwebp flips it to bottom-up); one with alpha
// is decoded as BGRA into the same buffer and flattened in place, so the
// peak stays near a third over the BMP form. Metadata comes and goes
// through the RIFF container (demux and mux).
#include "codecs/webp.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "codecs/exif.h"
#include "codecs/rows.h"

namespace korvanti::codecs {
namespace {

constexpr int kLargestSide = 16383;
constexpr size_t kPiece = size_t{1} << 20; // bytes handed to the decoder between stop checks

std::string StatusWords(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
        return "out of memory";
    case VP8_STATUS_INVALID_PARAM:
        return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR:
        return "damaged WebP data";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return "a WebP feature this decoder does not support";
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return "the file ends early";
    default:
        return "WebP decoding failed (status " + std::to_string(int(status)) + ")";
    }
}

FileProblem StatusProblem(VP8StatusCode status)
{
    return status == VP8_STATUS_OUT_OF_MEMORY ? OutOfMemoryProblem() : Refusal(StatusWords(status));
}

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
struct AnimDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};
struct IdecDeleter {
    void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};

// The container's chunks the decode needs besides the picture.
struct Container {
    std::span<const uint8_t> icc;
    std::span<const uint8_t> exif;
    uint32_t frames = 1;
};

Container ReadContainer(std::span<const uint8_t> file)
{
    Container container;
    const WebPData data{file.data(), file.size()};
    const std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&data));
    if (!demux)
        return container; // the decoder says what is wrong
    container.frames = WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT);
    const uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
    WebPChunkIterator chunk;
    // The chunks point into file, which outlives the container.
    if ((flags & ICCP_FLAG) && WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
        container.icc = {chunk.chunk.bytes, chunk.chunk.size};
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    if ((flags & EXIF_FLAG) && WebPDemuxGetChunk(demux.get(), "EXIF", 1, &chunk)) {
        container.exif = {chunk.chunk.bytes, chunk.chunk.size};
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    return container;
}

// Decodes a still picture into memory as config.output describes it, a
// piece of the file at a time so that a stop request is seen.
FileProblem DecodeStill(std::span<const uint8_t> file, WebPDecoderConfig& config, const DecodeOptions& options)
{
    const std::unique_ptr<WebPIDecoder, IdecDeleter> decoder(WebPIDecode(nullptr, 0, &config));
    if (!decoder)
        return OutOfMemoryProblem();
    size_t given = 0;
    for (;;) {
        if (StopAsked(options))
            return StoppedProblem();
        given = std::min(file.size(), given + kPiece);
        const VP8StatusCode status = WebPIUpdate(decoder.get(), file.data(), given);
        if (status == VP8_STATUS_OK)
            return {};
        if (status != VP8_STATUS_SUSPENDED)
            return StatusProblem(status);
        if (given == file.size())
            return StatusProblem(VP8_STATUS_NOT_ENOUGH_DATA);
    }
}

// The first frame of an animation as a top-down BGRA canvas, flattened
// into tight BGR rows in place.
FileProblem DecodeFirstFrame(std::span<const uint8_t> file, int width, int height, std::unique_ptr<uint8_t[]>& upright)
{
    WebPAnimDecoderOptions settings;
    if (!WebPAnimDecoderOptionsInit(&settings))
        return Refusal("libwebp version mismatch");
    settings.color_mode = MODE_BGRA;
    settings.use_threads = 0;
    const WebPData data{file.data(), file.size()};
    const std::unique_ptr<WebPAnimDecoder, AnimDeleter> decoder(WebPAnimDecoderNew(&data, &settings));
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!decoder || !WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp))
        return Refusal("damaged WebP animation");
    upright.reset(new uint8_t[size_t(width) * size_t(height) * 3]);
    for (int64_t y = 0; y < height; ++y)
        FlattenRow(canvas + y * width * 4, upright.get() + y * width * 3, width);
    return {};
}

// Flattens the bottom-up BGRA rows at the start of the pixel area into
// padded BGR rows, then cuts the buffer to the BMP form's size.
void FlattenBitmapInPlace(Bytes& bitmap, int64_t width, int64_t height, int64_t size)
{
    const int64_t stride = RowStride(width);
    uint8_t* pixels = bitmap.data() + kHeaderBytes;
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* row = pixels + y * stride;
        FlattenRow(pixels + y * width * 4, row, width);
        std::fill(row + width * 3, row + stride, uint8_t{0});
    }
    bitmap.resize(static_cast<size_t>(size));
    // The header's file size (offset 2) and pixel data size (offset 34).
    for (const auto& [at, value] : {std::pair{2, size}, std::pair{34, size - kHeaderBytes}}) {
        for (int i = 0; i < 4; ++i)
            bitmap[size_t(at + i)] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// Where a picture's pixels go while it is decoded: straight into the BMP
// form, rows flipped, or, when it is turned or animated, into a top-down
// buffer placed into the BMP form afterwards.
struct Target {
    const WebPBitstreamFeatures& features;
    int orientation;
    int32_t out_w, out_h;
    int64_t size; // of the BMP form
    std::unique_ptr<uint8_t[]> upright; // top-down tight BGR(A)
};

// Allocates the target's buffers and points config's output at them (a
// still picture) or decodes the first frame (an animation).
FileProblem SetUpTarget(std::span<const uint8_t> file, Target& t, WebPDecoderConfig& config, Decoded& result)
{
    const int width = t.features.width;
    const int height = t.features.height;
    const bool alpha = t.features.has_alpha != 0;
    const int channels = alpha ? 4 : 3;
    if (t.features.has_animation) {
        if (FileProblem problem = DecodeFirstFrame(file, width, height, t.upright); !problem.ok())
            return problem;
        result.note = "animated: first frame only";
        result.bitmap = NewBitmap(t.out_w, t.out_h, t.size);
        return {};
    }
    config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
    if (t.orientation != 1) {
        const size_t bytes = size_t(width) * size_t(height) * size_t(channels);
        t.upright.reset(new uint8_t[bytes]);
        config.output.u.RGBA = {t.upright.get(), width * channels, bytes};
        result.bitmap = NewBitmap(t.out_w, t.out_h, t.size);
        return {};
    }
    // Room for BGRA rows when there is alpha; cut to size after.
    const int64_t room = alpha ? std::max(t.size, kHeaderBytes + int64_t{width} * height * 4) : t.size;
    result.bitmap = NewBitmap(width, height, room);
    config.options.flip = 1;
    config.output.u.RGBA = {result.bitmap.data() + kHeaderBytes, alpha ? width * 4 : static_cast<int>(RowStride(width)),
                            static_cast<size_t>(room - kHeaderBytes)};
    return {};
}

// Decodes a still picture into the target set up, then lays alpha over white.
FileProblem DecodeIntoTarget(std::span<const uint8_t> file, Target& t, WebPDecoderConfig& config, Decoded& result,
                             const DecodeOptions& options)
{
    const int width = t.features.width;
    const int height = t.features.height;
    config.output.width = width;
    config.output.height = height;
    config.output.is_external_memory = 1;
    if (FileProblem problem = DecodeStill(file, config, options); !problem.ok())
        return problem;
    if (t.features.has_alpha == 0)
        return {};
    if (t.upright) {
        for (int64_t y = 0; y < height; ++y)
            FlattenRow(t.upright.get() + y * width * 4, t.upright.get() + y * width * 3, width);
    } else {
        FlattenBitmapInPlace(result.bitmap, width, height, t.size);
    }
    return {};
}

} // namespace

FileProblem DecodeWebp(std::span<const uint8_t> file, Decoded& decoded, const DecodeOptions& options)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return Refusal("libwebp version mismatch");
    if (const VP8StatusCode status = WebPGetFeatures(file.data(), file.size(), &config.input); status != VP8_STATUS_OK)
        return StatusProblem(status);
    const WebPBitstreamFeatures& features = config.input;
    const Container container = ReadContainer(file);
    const int orientation = ExifOrientation(ExifTiff(container.exif));
    const bool swaps = SwapsSides(orientation);
    Target target{features, orientation, swaps ? features.height : features.width,
                  swaps ? features.width : features.height, 0, nullptr};
    if (FileProblem admitted = AdmitPicture(target.out_w, target.out_h, options, target.size); !admitted.ok())
        return admitted;

    Decoded result;
    try {
        result.icc.assign(container.icc.begin(), container.icc.end());
        result.exif = UprightExif(container.exif);
        if (FileProblem problem = SetUpTarget(file, target, config, result); !problem.ok())
            return problem;
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    if (!features.has_animation) {
        if (FileProblem problem = DecodeIntoTarget(file, target, config, result, options); !problem.ok())
            return problem;
    }
    if (target.upright)
        PlaceTurned(target.upright.get(), features.width, features.height, int64_t{features.width} * 3, orientation,
                    result.bitmap);
    result.width = target.out_w;
    result.height = target.out_h;
    result.alpha_composited = features.has_alpha != 0;
    result.lossless = features.format == 2;
    decoded = std::move(result);
    return {};
}

FileProblem EncodeWebp(const BitmapRows& rows, const EncodeSettings& settings, std::span<const uint8_t> icc,
                       std::span<const uint8_t> exif, Bytes& out)
{
    if (rows.width > kLargestSide || rows.height > kLargestSide)
        return {FileProblemKind::EncodeFailed, 0, 0,
                "WebP holds at most " + std::to_string(kLargestSide) + " x " + std::to_string(kLargestSide) + " pixels"};
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigInit(&config) || !WebPPictureInit(&picture))
        return {FileProblemKind::EncodeFailed, 0, 0, "libwebp version mismatch"};
    if (settings.lossless)
        WebPConfigLosslessPreset(&config, 2);
    else
        config.quality = static_cast<float>(settings.quality);
    picture.use_argb = settings.lossless ? 1 : 0;
    picture.width = rows.width;
    picture.height = rows.height;
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    // The top row is the last one stored: hand the rows over upwards.
    const uint8_t* top = rows.first_row + (int64_t{rows.height} - 1) * rows.stride;
    const bool encoded = WebPPictureImportBGR(&picture, top, -static_cast<int>(rows.stride)) &&
                         WebPEncode(&config, &picture);
    const WebPEncodingError error = picture.error_code;
    WebPPictureFree(&picture);
    const std::unique_ptr<uint8_t, void (*)(uint8_t*)> bitstream(writer.mem, [](uint8_t* mem) { WebPFree(mem); });
    if (!encoded)
        return error == VP8_ENC_ERROR_OUT_OF_MEMORY
                   ? OutOfMemoryProblem()
                   : FileProblem{FileProblemKind::EncodeFailed, 0, 0, "WebP encoding failed (error " + std::to_string(int(error)) + ")"};
    try {
        if (icc.empty() && exif.empty()) {
            out.assign(writer.mem, writer.mem + writer.size);
            return {};
        }
        const WebPData image{writer.mem, writer.size};
        WebPMux* mux = WebPMuxCreate(&image, 0);
        const WebPData profile{icc.data(), icc.size()};
        const WebPData block{exif.data(), exif.size()};
        WebPData assembled{nullptr, 0};
        const bool ok = mux != nullptr && (icc.empty() || WebPMuxSetChunk(mux, "ICCP", &profile, 0) == WEBP_MUX_OK) &&
                        (exif.empty() || WebPMuxSetChunk(mux, "EXIF", &block, 0) == WEBP_MUX_OK) &&
                        WebPMuxAssemble(mux, &assembled) == WEBP_MUX_OK;
        WebPMuxDelete(mux);
        if (ok)
            out.assign(assembled.bytes, assembled.bytes + assembled.size);
        WebPDataClear(&assembled);
        if (!ok)
            return {FileProblemKind::EncodeFailed, 0, 0, "the WebP metadata could not be added"};
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    return {};
}

} // namespace korvanti::codecs
