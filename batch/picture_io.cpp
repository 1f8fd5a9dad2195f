// Photos in and out of the batch tool's documents.
#include "batch/picture_io.h"

#include <new>

#include "codecs/codecs.h"
#include "image/planes.h"
#include "image/save_stream.h"

namespace korvanti::batch {

FileProblem OpenPicture(const std::string& path, PictureInput& input)
{
    FileProblem problem = OpenInput(path, input.file);
    const codecs::Format format = codecs::SniffFormat({input.file.head, input.file.head_size});
    input.format = codecs::CanDecode(format) ? format : codecs::Format::Bmp;
    return problem;
}

FileProblem LoadPicture(Document& document, PictureInput& input, bool quiet)
{
    if (input.format == codecs::Format::Bmp)
        return document.LoadBitmap(std::move(input.file));
    codecs::Bytes file;
    if (FileProblem problem = ReadWhole(input.file, file); !problem.ok())
        return problem;
    codecs::Decoded decoded;
    FileProblem problem = codecs::Decode(input.format, file, decoded);
    codecs::Bytes().swap(file);
    if (!problem.ok())
        return problem;
    // The document's own checks and out-of-memory refusal apply as for a BMP file.
    if (problem = document.AdoptBitmap(std::move(decoded.bitmap), input.file.path); !problem.ok())
        return problem;
    input.icc = std::move(decoded.icc);
    input.exif = std::move(decoded.exif);
    input.lossless = decoded.lossless;
    if (!quiet) {
        input.note = decoded.alpha_composited ? "transparency flattened over white" : "";
        if (!decoded.note.empty())
            input.note += (input.note.empty() ? "" : "; ") + decoded.note;
    }
    return {};
}

std::string NotWritten(codecs::Format format)
{
    return std::string(codecs::NameOf(format)) + " is read but not written; use bmp, png, jpeg, webp or tiff";
}

codecs::Format OutputFormatFor(const std::string& output, const OutputSettings& settings, codecs::Format input)
{
    if (settings.format != codecs::Format::Unknown)
        return settings.format;
    const codecs::Format named = codecs::FormatOfName(output);
    return named != codecs::Format::Unknown ? named : input;
}

FileProblem SavePicture(const Document& document, const std::string& path, codecs::Format format,
                        const OutputSettings& settings, const PictureInput& input, int64_t& written)
{
    if (format != codecs::Format::Bmp && !codecs::CanEncode(format))
        return {FileProblemKind::EncodeFailed, 0, 0, NotWritten(format)};
    if (!codecs::CanEncode(format)) {
        FileProblem problem = document.SaveBitmap(path);
        written = static_cast<int64_t>(document.file_bytes.size());
        return problem;
    }
    if (path.empty())
        return {FileProblemKind::EmptyPath};
    const int32_t width = document.bitmap.GetWidth();
    const int32_t height = document.bitmap.GetHeight();
    const codecs::BitmapRows rows{document.file_bytes.data() + PixelOffset(document.file_bytes.data()), width, height,
                                  RowStride(width)};
    codecs::Bytes encoded;
    const codecs::EncodeSettings encoding{settings.quality != 0 ? settings.quality : kDefaultQuality,
                                          settings.quality == 0 && input.lossless && input.format == format};
    const codecs::Bytes none;
    FileProblem problem = codecs::Encode(format, rows, encoding, settings.strip ? none : input.icc,
                                         settings.strip ? none : input.exif, encoded);
    if (!problem.ok())
        return problem;
    written = static_cast<int64_t>(encoded.size());
    return SaveFile(path, encoded, Durability::Synced, *document.file_ops);
}

} // namespace korvanti::batch
