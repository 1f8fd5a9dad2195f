// HEIF decoding: the primary image as interleaved 8-bit RGB(A), copied
// into the BMP rows a row at a time.
#include "codecs/heif.h"

#include <libheif/heif.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "codecs/exif.h"
#include "codecs/rows.h"

namespace korvanti::codecs {
namespace {

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};

FileProblem ErrorProblem(const heif_error& error)
{
    if (error.code == heif_error_Memory_allocation_error)
        return OutOfMemoryProblem();
    return Refusal(error.message != nullptr && *error.message != '\0' ? error.message : "HEIF decoding failed");
}

// The ICC profile, if the file has one as raw bytes.
Bytes IccOf(const heif_image_handle* handle)
{
    Bytes icc;
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC)
        return icc;
    icc.resize(heif_image_handle_get_raw_color_profile_size(handle));
    if (icc.empty() || heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
        icc.clear();
    return icc;
}

// The first Exif block: a 4-byte offset to the TIFF header, then the data.
Bytes ExifOf(const heif_image_handle* handle)
{
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) != 1)
        return {};
    Bytes block(heif_image_handle_get_metadata_size(handle, id));
    if (block.size() < 4 || heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok)
        return {};
    const size_t offset = size_t{block[0]} << 24 | size_t{block[1]} << 16 | size_t{block[2]} << 8 | block[3];
    if (offset > block.size() - 4)
        return {};
    return UprightExif(std::span<const uint8_t>(block).subspan(4 + offset));
}

enum class Alpha { None, Straight, Premultiplied };

// The decoded top-down RGB(A) rows into the BMP form, alpha over white.
void PlaceRows(const uint8_t* pixels, int pitch, int width, int height, Alpha alpha, Bytes& bitmap)
{
    const int step = alpha == Alpha::None ? 3 : 4;
    const int64_t stride = RowStride(width);
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* rgb = pixels + y * pitch;
        uint8_t* bgr = bitmap.data() + kHeaderBytes + (height - 1 - y) * stride;
        for (int64_t x = 0; x < width; ++x, rgb += step) {
            const unsigned a = alpha == Alpha::None ? 255 : rgb[3];
            for (int c = 0; c < 3; ++c)
                bgr[3 * x + c] = alpha == Alpha::Premultiplied
                                     ? static_cast<uint8_t>(std::min(255u, rgb[2 - c] + 255 - a))
                                     : OverWhite(rgb[2 - c], a);
        }
    }
}

} // namespace

FileProblem DecodeHeif(std::span<const uint8_t> file, Decoded& decoded, const DecodeOptions& options)
{
    const std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    if (!context)
        return OutOfMemoryProblem();
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), file.data(), file.size(), nullptr);
    if (error.code != heif_error_Ok)
        return ErrorProblem(error);
    heif_image_handle* primary = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &primary);
    const std::unique_ptr<heif_image_handle, HandleDeleter> handle(primary);
    if (error.code != heif_error_Ok)
        return ErrorProblem(error);
    // The size after rotation, as decoded.
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    int64_t size = 0;
    if (FileProblem admitted = AdmitPicture(width, height, options, size); !admitted.ok())
        return admitted;
    if (StopAsked(options))
        return StoppedProblem();

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const bool premultiplied = heif_image_handle_is_premultiplied_alpha(handle.get()) != 0;
    heif_image* decoded_image = nullptr;
    error = heif_decode_image(handle.get(), &decoded_image, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr);
    const std::unique_ptr<heif_image, ImageDeleter> image(decoded_image);
    if (error.code != heif_error_Ok)
        return ErrorProblem(error);
    if (StopAsked(options))
        return StoppedProblem();
    int pitch = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &pitch);
    if (pixels == nullptr || heif_image_get_width(image.get(), heif_channel_interleaved) != width ||
        heif_image_get_height(image.get(), heif_channel_interleaved) != height)
        return Refusal("the decoded HEIF picture has an unexpected layout");

    Decoded result;
    try {
        result.bitmap = NewBitmap(width, height, size);
        result.icc = IccOf(handle.get());
        result.exif = ExifOf(handle.get());
    } catch (const std::bad_alloc&) {
        return OutOfMemoryProblem();
    }
    PlaceRows(pixels, pitch, width, height, alpha ? premultiplied ? Alpha::Premultiplied : Alpha::Straight : Alpha::None,
              result.bitmap);
    result.width = width;
    result.height = height;
    result.alpha_composited = alpha;
    decoded = std::move(result);
    return {};
}

} // namespace korvanti::codecs
