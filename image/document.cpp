#include "image/document.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>

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

// Reads exactly size bytes unless the file ends or fails first.
bool ReadFully(int fd, uint8_t* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// Header checks beyond IsValidBitmap: where the pixels start, what kind of
// info header and compression the file has, and whether the file really
// holds every pixel row it claims. Works on the first 54 bytes and the
// file's length, so nothing is allocated for a file that is refused.
bool HasUsableLayout(const uint8_t* header, int64_t length)
{
    const int64_t offset = static_cast<uint32_t>(ReadInt32(header, 10));
    const int64_t info_size = static_cast<uint32_t>(ReadInt32(header, 14));
    const int64_t compression = static_cast<uint32_t>(ReadInt32(header, 30));
    if (offset < kHeaderBytes || info_size < 40 || compression != 0)
        return false;
    const int32_t width = ReadInt32(header, 18);
    const int32_t height = ReadInt32(header, 22);
    const int64_t stride = RowStride(width); // width is positive and at most 2^31 - 1
    if (stride > kLargestFile || height > kLargestFile / stride)
        return false;
    const int64_t end = offset + stride * height;
    return end <= kLargestFile && length >= end;
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

private:
    int fd_;
};

std::string TemporaryNameFor(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + name + ".kv" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

} // namespace

bool IsValidBitmap(const uint8_t* bytes)
{
    return ReadInt32(bytes, 22) > 0 && ReadInt32(bytes, 18) > 0 && ReadUint16(bytes, 0) == kBitmapMagic &&
           ReadUint16(bytes, 28) == 24;
}

int Document::LoadBitmap(const std::string& path)
{
    if (path.empty()) {
        last_problem_ = LoadProblem::EmptyPath;
        return kNotOpened;
    }
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || S_ISDIR(info.st_mode)) {
        last_problem_ = LoadProblem::CannotOpen;
        return kNotOpened;
    }

    last_problem_ = LoadProblem::NotSupported;
    const int64_t length = info.st_size;
    uint8_t header[kHeaderBytes];
    if (length < kHeaderBytes || length > kLargestFile)
        return kRefused;
    if (!ReadFully(file.get(), header, sizeof header)) {
        last_problem_ = LoadProblem::CannotOpen;
        return kRefused;
    }
    if (!IsValidBitmap(header) || !HasUsableLayout(header, length))
        return kRefused;

    const int32_t width = ReadInt32(header, 18);
    const int32_t height = ReadInt32(header, 22);

    // Everything new is built aside first, so a failure changes nothing.
    Bytes new_bytes;
    Bytes new_undo;
    std::array<Plane, 3> source;
    std::array<Plane, 3> target;
    std::string name;
    try {
        ReserveLarge(new_bytes, static_cast<size_t>(length));
        new_bytes.resize(static_cast<size_t>(length));
        std::copy(header, header + kHeaderBytes, new_bytes.begin());
        if (!ReadFully(file.get(), new_bytes.data() + kHeaderBytes, new_bytes.size() - kHeaderBytes)) {
            last_problem_ = LoadProblem::CannotOpen;
            return kRefused;
        }
        if (keep_undo) {
            ReserveLarge(new_undo, new_bytes.size());
            new_undo.assign(new_bytes.begin(), new_bytes.end());
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
        name = path;
    } catch (const std::bad_alloc&) {
        last_problem_ = LoadProblem::OutOfMemory;
        return kRefused;
    }
    if (keep_undo)
        SplitPlanes(new_bytes, source[0].data(), source[1].data(), source[2].data(), width, height);

    bitmap.ResetHeader(height, width, 24);
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    bitmap.SetFileName(std::move(name));
    plane_width = loaded_width = width;
    plane_height = loaded_height = height;
    file_bytes.swap(new_bytes);
    undo_bytes.swap(new_undo);
    source_planes.swap(source);
    target_planes.swap(target);
    last_problem_ = LoadProblem::None;
    return kLoaded;
}

int Document::SaveBitmap(const std::string& path) const { return Save(path, true); }

int Document::SaveScratchCopy(const std::string& path) const { return Save(path, false); }

int Document::Save(const std::string& path, bool durable) const
{
    if (path.empty())
        return kEmptyPath;
    if (!HasPicture())
        return kWriteFailed;

    // Write through a symbolic link to the file it names, keeping the link.
    std::string target = path;
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && (!S_ISREG(existing.st_mode) || (existing.st_mode & S_IWUSR) == 0 ||
                   ::access(target.c_str(), W_OK) != 0))
        return kWriteFailed; // a read-only file is never replaced

    FileOps& ops = *file_ops;
    std::string temporary;
    int fd = -1;
    try {
        // A temporary left by a killed run (or another process that had the
        // same id, as in a container) is stepped over, never reused.
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            temporary = TemporaryNameFor(target);
            fd = ops.Open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
            if (fd < 0 && errno != EEXIST)
                break;
        }
    } catch (const std::bad_alloc&) {
        if (fd >= 0) {
            ops.Close(fd);
            ops.Unlink(temporary.c_str());
        }
        return kWriteFailed;
    }
    if (fd < 0)
        return kWriteFailed;

    bool ok = true;
    size_t done = 0;
    while (ok && done < file_bytes.size()) {
        const ssize_t wrote = ops.Write(fd, file_bytes.data() + done, file_bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            ok = false;
        else
            done += static_cast<size_t>(wrote);
    }
    if (ok && exists) {
        // Keep the replaced file's owner (where we may) and permission bits.
        [[maybe_unused]] const int owner = ::fchown(fd, existing.st_uid, existing.st_gid);
        ok = ::fchmod(fd, existing.st_mode & 07777) == 0;
    }
    ok = ok && ops.Flush(fd) == 0 && (!durable || ops.Sync(fd) == 0);
    ok = (ops.Close(fd) == 0) && ok;
    ok = ok && ops.Rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ops.Unlink(temporary.c_str());
        return kWriteFailed;
    }
    if (!durable)
        return static_cast<int>(file_bytes.size());
    // Make the rename itself durable; the new file is in place either way.
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const int folder_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_fd >= 0) {
        ops.Sync(folder_fd);
        ::close(folder_fd);
    }
    return static_cast<int>(file_bytes.size());
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
