// JPEG and PNG in and out of the batch tool's documents.
#include "batch/picture_files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "codecs/jpeg.h"
#include "codecs/png.h"
#include "image/planes.h"

namespace korvanti::batch {
namespace {

// A read-only view of a whole file, mapped; empty when it cannot be read.
class MappedFile {
public:
    explicit MappedFile(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat info {};
        if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
            void* data = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (data != MAP_FAILED) {
                data_ = static_cast<const uint8_t*>(data);
                size_ = static_cast<size_t>(info.st_size);
            }
        }
        if (fd >= 0)
            ::close(fd);
    }
    ~MappedFile()
    {
        if (data_)
            ::munmap(const_cast<uint8_t*>(data_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::span<const uint8_t> bytes() const { return {data_, size_}; }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

codecs::Format SniffHead(const std::string& path)
{
    // Not blocking on a FIFO or device: anything but a regular file is left
    // to the core's load, which refuses it with its cause.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return codecs::Format::Unknown;
    struct stat info {};
    uint8_t head[8];
    const ssize_t got = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? ::read(fd, head, sizeof head) : 0;
    ::close(fd);
    return got > 0 ? codecs::SniffFormat({head, static_cast<size_t>(got)}) : codecs::Format::Unknown;
}

} // namespace

codecs::Format SniffPicture(const std::string& path)
{
    const codecs::Format format = SniffHead(path);
    return format == codecs::Format::Png || format == codecs::Format::Jpeg ? format : codecs::Format::Bmp;
}

int LoadPicture(Document& document, const std::string& path, codecs::Format format, PictureInput& picture,
                bool quiet)
{
    picture.format = format;
    if (picture.format == codecs::Format::Bmp)
        return document.LoadBitmap(path);
    const MappedFile file(path);
    if (file.bytes().empty()) {
        picture.refusal = "cannot be read";
        return kRefused;
    }
    codecs::Decoded decoded = picture.format == codecs::Format::Jpeg ? codecs::DecodeJpeg(file.bytes())
                                                                     : codecs::DecodePng(file.bytes());
    if (!decoded.ok()) {
        picture.refusal = "not a readable " + std::string(codecs::NameOf(picture.format)) + " (" + decoded.error + ")";
        picture.out_of_memory = decoded.out_of_memory;
        return kRefused;
    }
    // The document's own checks and out-of-memory refusal apply as for a BMP file.
    if (const int loaded = document.AdoptBitmap(std::move(decoded.bitmap), path); loaded != kLoaded)
        return loaded;
    picture.icc = std::move(decoded.icc);
    if (decoded.alpha_composited && !quiet)
        picture.note = "transparency flattened over white";
    return kLoaded;
}

codecs::Format OutputFormatFor(const std::string& output, const OutputSettings& settings, codecs::Format input)
{
    if (settings.format != codecs::Format::Unknown)
        return settings.format;
    const codecs::Format named = codecs::FormatOfName(output);
    return named != codecs::Format::Unknown ? named : input;
}

int SavePicture(Document& document, const std::string& path, codecs::Format format, int quality,
                const codecs::Bytes& icc, std::string& error, FileProblem& problem)
{
    if (format != codecs::Format::Png && format != codecs::Format::Jpeg) {
        const int written = document.SaveBitmap(path);
        problem = document.LastProblem();
        return written;
    }
    if (path.empty())
        return kEmptyPath;
    const int32_t width = document.bitmap.GetWidth();
    const int32_t height = document.bitmap.GetHeight();
    const codecs::BitmapRows rows{document.file_bytes.data() + PixelOffset(document.file_bytes.data()), width, height,
                                  RowStride(width)};
    // The encoded file goes out through the core's save: a document that
    // holds it as its bytes.
    Document encoded;
    encoded.file_ops = document.file_ops;
    try {
        const bool ok = format == codecs::Format::Jpeg
                            ? codecs::EncodeJpeg(rows, quality, icc, encoded.file_bytes, error)
                            : codecs::EncodePng(rows, icc, encoded.file_bytes, error);
        if (!ok)
            return kWriteFailed;
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        return kWriteFailed;
    }
    const int written = encoded.SaveBitmap(path);
    problem = encoded.LastProblem();
    return written;
}

} // namespace korvanti::batch
