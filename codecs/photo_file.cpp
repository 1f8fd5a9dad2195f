// Picture files of every type into a document and out of it.
#include "codecs/photo_file.h"

#include "image/save_stream.h"

namespace korvanti::codecs {

Format ReadFormatOf(std::span<const uint8_t> head)
{
    const Format format = SniffFormat(head);
    return CanDecode(format) ? format : Format::Bmp;
}

FileProblem AdoptPhoto(Document& document, Bytes&& file, Format format, const std::string& name, PhotoTraits& traits,
                       const DecodeOptions& options)
{
    Decoded decoded;
    FileProblem problem = Decode(format, file, decoded, options);
    Bytes().swap(file);
    if (!problem.ok())
        return problem;
    // The document's own checks and out-of-memory refusal apply as for a BMP file.
    if (problem = document.AdoptBitmap(std::move(decoded.bitmap), name); !problem.ok())
        return problem;
    traits = {format,
              std::move(decoded.icc),
              std::move(decoded.exif),
              decoded.lossless,
              decoded.alpha_composited,
              std::move(decoded.note)};
    return {};
}

FileProblem LoadPictureFile(Document& document, const std::string& path, PhotoTraits& traits,
                            const DecodeOptions& options)
{
    InputFile input;
    if (FileProblem problem = OpenInput(path, input); !problem.ok())
        return problem;
    const Format format = ReadFormatOf({input.head, input.head_size});
    if (format == Format::Bmp) {
        if (FileProblem problem = document.LoadBitmap(std::move(input)); !problem.ok())
            return problem;
        traits = {};
        return {};
    }
    Bytes file;
    if (FileProblem problem = ReadWhole(input, file); !problem.ok())
        return problem;
    return AdoptPhoto(document, std::move(file), format, input.path, traits, options);
}

FileProblem EncodeDocument(const Document& document, Format format, const EncodeSettings& settings,
                           std::span<const uint8_t> icc, std::span<const uint8_t> exif, Bytes& out)
{
    const int32_t width = document.bitmap.GetWidth();
    const int32_t height = document.bitmap.GetHeight();
    const BitmapRows rows{document.file_bytes.data() + PixelOffset(document.file_bytes.data()), width, height,
                          RowStride(width)};
    return Encode(format, rows, settings, icc, exif, out);
}

FileProblem SavePictureFile(const Document& document, const std::string& path, Format format,
                            const EncodeSettings& settings, std::span<const uint8_t> icc,
                            std::span<const uint8_t> exif, int64_t* written)
{
    if (format == Format::Bmp) {
        if (written != nullptr)
            *written = static_cast<int64_t>(document.file_bytes.size());
        return document.SaveBitmap(path);
    }
    if (!CanEncode(format))
        return {FileProblemKind::EncodeFailed, 0, 0, "no encoder for this format"};
    if (path.empty())
        return {FileProblemKind::EmptyPath};
    Bytes encoded;
    if (FileProblem problem = EncodeDocument(document, format, settings, icc, exif, encoded); !problem.ok())
        return problem;
    if (written != nullptr)
        *written = static_cast<int64_t>(encoded.size());
    return SaveFile(path, encoded, Durability::Synced, *document.file_ops);
}

} // namespace korvanti::codecs
