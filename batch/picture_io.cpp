// Photos in and out of the batch tool's documents.
#include "batch/picture_io.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "codecs/codecs.h"
#include "image/planes.h"
#include "image/save_stream.h"

namespace korvanti::batch {

namespace {

// Standard input to its end, refused once it passes what any picture the
// core takes can need.
FileProblem ReadStandardInput(PictureInput& input)
{
    input.file.path = kStandardStream;
    uint8_t buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {FileProblemKind::ReadFailed, errno};
        if (got == 0)
            break;
        if (static_cast<int64_t>(input.whole.size()) + got > kLargestBitmap)
            return {FileProblemKind::TooLarge};
        try {
            input.whole.insert(input.whole.end(), buffer, buffer + got);
        } catch (const std::bad_alloc&) {
            return {FileProblemKind::OutOfMemory};
        }
    }
    input.file.length = static_cast<int64_t>(input.whole.size());
    input.file.head_size = std::min<size_t>(input.whole.size(), sizeof input.file.head);
    std::copy_n(input.whole.begin(), input.file.head_size, input.file.head);
    return {};
}

FileProblem WriteStandardOutput(std::span<const uint8_t> bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t wrote = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return {FileProblemKind::WriteFailed, wrote < 0 ? errno : EIO};
        done += static_cast<size_t>(wrote);
    }
    return {};
}

} // namespace

FileProblem OpenPicture(const std::string& path, PictureInput& input)
{
    FileProblem problem = path == kStandardStream ? ReadStandardInput(input) : OpenInput(path, input.file);
    const codecs::Format format = codecs::SniffFormat({input.file.head, input.file.head_size});
    input.format = codecs::CanDecode(format) ? format : codecs::Format::Bmp;
    return problem;
}

FileProblem LoadPicture(Document& document, PictureInput& input, bool quiet, const std::atomic<bool>* stop,
                        std::function<bool(int64_t)> admit)
{
    if (input.format == codecs::Format::Bmp && admit && !admit(WorkingMemory(input.file.length)))
        return {FileProblemKind::Interrupted};
    const bool piped = input.file.path == kStandardStream;
    if (input.format == codecs::Format::Bmp)
        return piped ? document.AdoptBitmap(std::move(input.whole), input.file.path)
                     : document.LoadBitmap(std::move(input.file));
    codecs::Bytes file;
    if (piped || !input.whole.empty()) // read already
        file.swap(input.whole);
    else if (FileProblem problem = ReadWhole(input.file, file); !problem.ok())
        return problem;
    codecs::Decoded decoded;
    codecs::DecodeOptions options{kLargestBitmap, stop, {}};
    if (admit)
        options.admit = [&](int64_t size) { return admit(WorkingMemory(size) + static_cast<int64_t>(file.size())); };
    FileProblem problem = codecs::Decode(input.format, file, decoded, options);
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
    const bool piped = path == kStandardStream;
    if (!codecs::CanEncode(format)) {
        FileProblem problem = piped ? WriteStandardOutput(document.file_bytes) : document.SaveBitmap(path);
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
    return piped ? WriteStandardOutput(encoded) : SaveFile(path, encoded, Durability::Synced, *document.file_ops);
}

} // namespace korvanti::batch
