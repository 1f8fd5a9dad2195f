// Photos in and out of the batch tool's documents.
#include "batch/picture_io.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "codecs/photo_file.h"
#include "image/file_ops.h"
#include "image/input_file.h"

namespace korvanti::batch {

namespace {

// Standard input to its end, refused once it passes what any picture the
// core takes can need.
FileProblem ReadStandardInput(PictureInput& input)
{
    input.file.path = kStandardStream;
    uint8_t buffer[1 << 16];
    for (size_t got = sizeof buffer; got == sizeof buffer;) {
        got = ReadFully(STDIN_FILENO, buffer, sizeof buffer);
        if (got < sizeof buffer && errno != 0)
            return {FileProblemKind::ReadFailed, errno};
        if (static_cast<int64_t>(input.whole.size() + got) > kLargestBitmap)
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
    if (!WriteAll(SystemFileOps(), STDOUT_FILENO, bytes.data(), bytes.size()))
        return {FileProblemKind::WriteFailed, errno};
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
    codecs::DecodeOptions options{kLargestBitmap, stop, {}};
    if (admit)
        options.admit = [&admit, file_size = static_cast<int64_t>(file.size())](int64_t size) {
            return admit(WorkingMemory(size) + file_size);
        };
    codecs::PhotoTraits traits;
    if (FileProblem problem = codecs::AdoptPhoto(document, std::move(file), input.format, input.file.path, traits, options);
        !problem.ok())
        return problem;
    input.icc = std::move(traits.icc);
    input.exif = std::move(traits.exif);
    input.lossless = traits.lossless;
    if (!quiet) {
        input.note = traits.alpha_composited ? "transparency flattened over white" : "";
        if (!traits.note.empty())
            input.note += (input.note.empty() ? "" : "; ") + traits.note;
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
    if (!codecs::CanWrite(format))
        return {FileProblemKind::EncodeFailed, 0, 0, NotWritten(format)};
    const codecs::EncodeSettings encoding{settings.quality != 0 ? settings.quality : codecs::kDefaultQuality,
                                          settings.quality == 0 && input.lossless && input.format == format};
    const codecs::Bytes none;
    const codecs::Bytes& icc = settings.strip ? none : input.icc;
    const codecs::Bytes& exif = settings.strip ? none : input.exif;
    if (path != kStandardStream)
        return codecs::SavePictureFile(document, path, format, encoding, icc, exif, &written);
    if (format == codecs::Format::Bmp) {
        written = static_cast<int64_t>(document.file_bytes.size());
        return WriteStandardOutput(document.file_bytes);
    }
    codecs::Bytes encoded;
    FileProblem problem = codecs::EncodeDocument(document, format, encoding, icc, exif, encoded);
    if (!problem.ok())
        return problem;
    written = static_cast<int64_t>(encoded.size());
    return WriteStandardOutput(encoded);
}

} // namespace korvanti::batch
