// JPEG decoding and encoding; the orientation turn happens on the decoded
// rows while they are copied into BMP form.
#include "codecs/jpeg.h"

#include <turbojpeg.h>

#include <memory>
#include <new>

#include "codecs/jpeg_markers.h"

namespace korvanti::codecs {
namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// Copies a top-down BGR picture (w x h, tight rows) into the bottom-up
// rows of bitmap, turned as EXIF orientation says.
void PlaceTurned(const uint8_t* source, int64_t w, int64_t h, int orientation, Bytes& bitmap, int64_t out_w,
                 int64_t out_h)
{
    const int64_t stride = RowStride(out_w);
    for (int64_t dy = 0; dy < out_h; ++dy) {
        uint8_t* row = bitmap.data() + kHeaderBytes + (out_h - 1 - dy) * stride;
        for (int64_t dx = 0; dx < out_w; ++dx) {
            int64_t sx = dx;
            int64_t sy = dy;
            switch (orientation) {
            case 2: sx = w - 1 - dx; break;
            case 3: sx = w - 1 - dx; sy = h - 1 - dy; break;
            case 4: sy = h - 1 - dy; break;
            case 5: sx = dy; sy = dx; break;
            case 6: sx = dy; sy = h - 1 - dx; break;
            case 7: sx = w - 1 - dy; sy = h - 1 - dx; break;
            case 8: sx = w - 1 - dy; sy = dx; break;
            default: break;
            }
            const uint8_t* pixel = source + (sy * w + sx) * 3;
            row[dx * 3] = pixel[0];
            row[dx * 3 + 1] = pixel[1];
            row[dx * 3 + 2] = pixel[2];
        }
    }
}

} // namespace

FileProblem DecodeJpeg(std::span<const uint8_t> jpeg, Decoded& decoded, const DecodeOptions& options)
{
    Handle handle(tjInitDecompress());
    if (!handle)
        return Refusal(tjGetErrorStr2(nullptr));
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(handle.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), &width, &height,
                            &subsampling, &colourspace) != 0)
        return Refusal(tjGetErrorStr2(handle.get()));
    const JpegMetadata metadata = ReadJpegMetadata(jpeg);
    const bool swapped = metadata.orientation >= 5;
    const int32_t out_w = swapped ? height : width;
    const int32_t out_h = swapped ? width : height;
    const std::optional<int64_t> size = BitmapSize(out_w, out_h, options.limit);
    if (!size)
        return TooLargeProblem(width, height);

    Decoded result;
    std::unique_ptr<uint8_t[]> upright;
    try {
        result.bitmap = NewBitmap(out_w, out_h, *size);
        if (metadata.orientation != 1)
            upright.reset(new uint8_t[static_cast<size_t>(width) * static_cast<size_t>(height) * 3]);
        result.icc = metadata.icc;
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    // Straight into the BMP rows when no turn is needed.
    uint8_t* target = upright ? upright.get() : result.bitmap.data() + kHeaderBytes;
    const int pitch = upright ? width * 3 : static_cast<int>(RowStride(width));
    const int flags = (upright ? 0 : TJFLAG_BOTTOMUP) | TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
    if (tjDecompress2(handle.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), target, width, pitch, height,
                      TJPF_BGR, flags) != 0)
        return Refusal(tjGetErrorStr2(handle.get()));
    if (upright)
        PlaceTurned(upright.get(), width, height, metadata.orientation, result.bitmap, out_w, out_h);
    result.width = out_w;
    result.height = out_h;
    decoded = std::move(result);
    return {};
}

FileProblem EncodeJpeg(const BitmapRows& rows, int quality, std::span<const uint8_t> icc, Bytes& out,
                       std::span<const uint8_t> exif)
{
    Handle handle(tjInitCompress());
    if (!handle)
        return {FileProblemKind::EncodeFailed, 0, 0, tjGetErrorStr2(nullptr)};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int result = tjCompress2(handle.get(), rows.first_row, rows.width, static_cast<int>(rows.stride), rows.height,
                                   TJPF_BGR, &buffer, &size, TJSAMP_420, quality, TJFLAG_BOTTOMUP);
    std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(buffer, tjFree);
    if (result != 0)
        return {FileProblemKind::EncodeFailed, 0, 0, tjGetErrorStr2(handle.get())};
    try {
        out.assign(buffer, buffer + size);
        InsertIccProfile(out, icc);
        InsertExif(out, exif);
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    return {};
}

} // namespace korvanti::codecs
