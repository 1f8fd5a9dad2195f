// Loading a BMP file into the document, checking its layout on the way,
// and the one-level undo and redo.
#include "image/document.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <new>
#include <utility>

namespace korvanti {
namespace {

constexpr int64_t kLargestFile = INT32_MAX;

int32_t ReadInt32(const uint8_t* bytes, size_t offset)
{
    return static_cast<int32_t>(uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 |
                                uint32_t{bytes[offset + 2]} << 16 | uint32_t{bytes[offset + 3]} << 24);
}

uint16_t ReadUint16(const uint8_t* bytes, size_t offset)
{
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

// Reads size bytes, from the descriptor's position or else from offset,
// unless the file ends or fails first; returns how many it read, with
// errno set (0 at the end of the file) when that is fewer.
size_t ReadFully(int fd, uint8_t* data, size_t size, int64_t offset = -1)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t got = offset < 0 ? ::read(fd, data + done, size - done)
                                       : ::pread(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = 0;
            break;
        }
        done += static_cast<size_t>(got);
    }
    return done;
}

// A short read: a failing read, or a file that shrank while it was read.
FileProblem ReadProblem(size_t done, size_t wanted)
{
    if (errno != 0)
        return {FileProblemKind::ReadFailed, errno};
    return {FileProblemKind::Truncated, 0, static_cast<int64_t>(wanted - done)};
}

// Reserves room for a large buffer and asks for huge pages before anything
// touches it: filling 36 MB in 4 KiB pages costs far more than the copy.
void ReserveLarge(std::vector<uint8_t>& buffer, size_t size)
{
    if (buffer.capacity() >= size)
        return;
    buffer.reserve(size);
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    if (size < kHuge)
        return;
    const auto start = (reinterpret_cast<uintptr_t>(buffer.data()) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<uintptr_t>(buffer.data()) + size) & ~(kHuge - 1);
    if (end > start)
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

// The result of a load that failed before its pixels were read.
int OpenedResult(const FileProblem& problem)
{
    using Kind = FileProblemKind;
    const bool opened = problem.kind != Kind::EmptyPath && problem.kind != Kind::CannotOpen &&
                        problem.kind != Kind::NotRegularFile;
    return opened ? kRefused : kNotOpened;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// A file opened for loading, with its length and the header read.
struct OpenedFile {
    Descriptor file{-1};
    int64_t length = 0;
    uint8_t header[kHeaderBytes] = {};
};

// Opens path for reading and reads its header: kind None, or why not.
// Whatever is not a regular file is refused before any read.
FileProblem OpenForLoad(const std::string& path, OpenedFile& opened)
{
    using Kind = FileProblemKind;
    if (path.empty())
        return {Kind::EmptyPath};
    // Not blocking, so that a FIFO without a writer cannot hold the open up.
    opened.file.reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const int fd = opened.file.get();
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0)
        return {Kind::CannotOpen, errno};
    if (!S_ISREG(info.st_mode))
        return {Kind::NotRegularFile, S_ISDIR(info.st_mode) ? EISDIR : 0};
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    opened.length = info.st_size;
    const size_t head = static_cast<size_t>(std::min<int64_t>(opened.length, kHeaderBytes));
    if (size_t done = ReadFully(fd, opened.header, head); done < head)
        return ReadProblem(done, head);
    return CheckLayout(opened.header, opened.length);
}

} // namespace

bool IsValidBitmap(const uint8_t* bytes)
{
    return ReadInt32(bytes, 22) > 0 && ReadInt32(bytes, 18) > 0 && ReadUint16(bytes, 0) == kBitmapMagic &&
           ReadUint16(bytes, 28) == 24;
}

FileProblem CheckLayout(const uint8_t* header, int64_t length)
{
    using Kind = FileProblemKind;
    if (length == 0)
        return {Kind::Empty};
    if (length < 2 || ReadUint16(header, 0) != kBitmapMagic)
        return {Kind::NotBitmap};
    if (length < kHeaderBytes)
        return {Kind::Truncated, 0, kHeaderBytes - length};
    const int64_t info_size = static_cast<uint32_t>(ReadInt32(header, 14));
    if (info_size == 12 || info_size == 16)
        return {Kind::OldHeader};
    // The pixels come after both headers: an effect must never write over
    // a header byte.
    const int64_t offset = static_cast<uint32_t>(ReadInt32(header, 10));
    if (info_size < 40 || 14 + info_size > length || offset < 14 + info_size)
        return {Kind::HeaderDamaged};
    const int32_t width = ReadInt32(header, 18);
    const int32_t height = ReadInt32(header, 22);
    if (width <= 0 || height == 0)
        return {Kind::HeaderDamaged};
    if (height < 0)
        return {Kind::TopDown};
    const int bits = ReadUint16(header, 28);
    const uint32_t compression = static_cast<uint32_t>(ReadInt32(header, 30));
    const bool bit_fields = compression == 3 || compression == 6;
    if (compression != 0 && !bit_fields)
        return {Kind::Compressed};
    if (bits != 24) {
        for (const int known : {1, 2, 4, 8, 16, 32, 64}) {
            if (bits == known)
                return {Kind::BitDepth, 0, bits};
        }
        return {Kind::HeaderDamaged};
    }
    if (bit_fields)
        return {Kind::HeaderDamaged}; // masks mean nothing for 24 bits
    const int64_t stride = RowStride(width); // width is positive and at most 2^31 - 1
    if (length > kLargestFile || stride > kLargestFile || height > kLargestFile / stride ||
        offset + stride * height > kLargestFile)
        return {Kind::TooLarge};
    const int64_t end = offset + stride * height;
    if (length < end)
        return {Kind::Truncated, 0, end - length};
    return {};
}

int Document::Fail(int result, FileProblem problem)
{
    last_problem_ = problem;
    return result;
}

int Document::LoadBitmap(const std::string& path)
{
    using Kind = FileProblemKind;
    OpenedFile opened;
    if (const FileProblem problem = OpenForLoad(path, opened); problem.kind != Kind::None)
        return Fail(OpenedResult(problem), problem);
    const int64_t length = opened.length;
    const uint8_t* header = opened.header;

    Bytes new_bytes;
    try {
        ReserveLarge(new_bytes, static_cast<size_t>(length));
        new_bytes.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        return Fail(kRefused, {Kind::OutOfMemory});
    }
    std::copy(header, header + kHeaderBytes, new_bytes.begin());
    const size_t rest = new_bytes.size() - kHeaderBytes;
    if (size_t done = ReadFully(opened.file.get(), new_bytes.data() + kHeaderBytes, rest); done < rest)
        return Fail(kRefused, ReadProblem(done, rest));
    return Install(std::move(new_bytes), path);
}

int Document::OpenForStreaming(const std::string& path)
{
    using Kind = FileProblemKind;
    OpenedFile opened;
    if (const FileProblem problem = OpenForLoad(path, opened); problem.kind != Kind::None)
        return Fail(OpenedResult(problem), problem);
    std::string new_name;
    try {
        new_name = path;
    } catch (const std::bad_alloc&) {
        return Fail(kRefused, {Kind::OutOfMemory});
    }
    SetPicture(ReadInt32(opened.header, 18), ReadInt32(opened.header, 22), std::move(new_name));
    Bytes().swap(file_bytes);
    Bytes().swap(undo_bytes);
    source_planes = {};
    target_planes = {};
    // Read once, front to back: the system may read ahead and drop behind.
    ::posix_fadvise(opened.file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    source_ = PictureSource(opened.file.release(), opened.length);
    return Fail(kLoaded, {});
}

int Document::AdoptBitmap(Bytes&& bytes, const std::string& name)
{
    uint8_t header[kHeaderBytes] = {};
    std::copy_n(bytes.begin(), std::min<int64_t>(static_cast<int64_t>(bytes.size()), kHeaderBytes), header);
    if (const FileProblem problem = CheckLayout(header, static_cast<int64_t>(bytes.size()));
        problem.kind != FileProblemKind::None)
        return Fail(kRefused, problem);
    return Install(std::move(bytes), name);
}

int Document::Install(Bytes&& bytes, const std::string& name)
{
    const int32_t width = ReadInt32(bytes.data(), 18);
    const int32_t height = ReadInt32(bytes.data(), 22);
    // Everything new is built aside first, so a failure changes nothing.
    Bytes new_undo;
    std::array<Plane, 3> source;
    std::array<Plane, 3> target;
    std::string new_name;
    try {
        if (keep_undo) {
            ReserveLarge(new_undo, bytes.size());
            new_undo.assign(bytes.begin(), bytes.end());
        }
        const size_t elements = PlaneElements(width, height);
        // Without undo, each run allocates the planes it needs.
        for (auto* planes : {&source, &target}) {
            if (!keep_undo)
                break;
            for (Plane& plane : *planes) {
                ReserveLarge(plane, elements);
                plane.assign(elements, 0);
            }
        }
        new_name = name;
    } catch (const std::bad_alloc&) {
        return Fail(kRefused, {FileProblemKind::OutOfMemory});
    }
    if (keep_undo)
        SplitPlanes(bytes, source[0].data(), source[1].data(), source[2].data(), width, height);

    SetPicture(width, height, std::move(new_name));
    source_ = PictureSource();
    file_bytes.swap(bytes);
    undo_bytes.swap(new_undo);
    source_planes.swap(source);
    target_planes.swap(target);
    return Fail(kLoaded, {});
}

PictureSource::~PictureSource()
{
    if (fd_ >= 0)
        ::close(fd_);
}

PictureSource::PictureSource(PictureSource&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), length_(other.length_), problem_(other.problem_)
{
}

PictureSource& PictureSource::operator=(PictureSource&& other) noexcept
{
    if (this != &other) {
        PictureSource gone(std::move(*this));
        fd_ = std::exchange(other.fd_, -1);
        length_ = other.length_;
        problem_ = other.problem_;
    }
    return *this;
}

void PictureSource::Read(int64_t offset, uint8_t* into, size_t size)
{
    const size_t done = ReadFully(fd_, into, size, offset);
    if (done == size)
        return;
    if (problem_.kind == FileProblemKind::None)
        problem_ = errno != 0 ? FileProblem{FileProblemKind::ReadFailed, errno}
                              : FileProblem{FileProblemKind::Truncated, 0, length_ - offset - static_cast<int64_t>(done)};
    std::fill(into + done, into + size, 0);
}

void Document::SetPicture(int32_t width, int32_t height, std::string&& name)
{
    bitmap.ResetHeader(height, width, 24);
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    bitmap.SetFileName(std::move(name));
    plane_width = loaded_width = width;
    plane_height = loaded_height = height;
}

void Document::Undo()
{
    if (!undo_enabled || !HasPicture())
        return;
    file_bytes.swap(undo_bytes);
    undo_enabled = false;
    redo_enabled = true;
}

void Document::Redo()
{
    if (!redo_enabled || !HasPicture())
        return;
    file_bytes.swap(undo_bytes);
    redo_enabled = false;
    undo_enabled = true;
}

void Document::PreparePlanes(PlaneUse use)
{
    const size_t elements = PlaneElements(plane_width, plane_height);
    const size_t pixels = static_cast<size_t>(int64_t{plane_width} * plane_height);
    for (auto* planes : {&source_planes, &target_planes}) {
        if (use == PlaneUse::None || (planes == &target_planes && use == PlaneUse::Sources))
            break;
        for (Plane& plane : *planes) {
            if (plane.size() != elements) {
                ReserveLarge(plane, elements);
                plane.assign(elements, 0);
            }
            plane[0] = 0;
            std::fill(plane.begin() + static_cast<std::ptrdiff_t>(pixels) + 1, plane.end(), 0);
        }
    }
}

} // namespace korvanti
