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

#include "image/save_stream.h"

namespace korvanti {
namespace {

int32_t ReadInt32(const uint8_t* bytes, size_t offset)
{
    return static_cast<int32_t>(uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 |
                                uint32_t{bytes[offset + 2]} << 16 | uint32_t{bytes[offset + 3]} << 24);
}

uint16_t ReadUint16(const uint8_t* bytes, size_t offset)
{
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
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
    if (length > kLargestBitmap || stride > kLargestBitmap || height > kLargestBitmap / stride ||
        offset + stride * height > kLargestBitmap)
        return {Kind::TooLarge};
    const int64_t end = offset + stride * height;
    if (length < end)
        return {Kind::Truncated, 0, end - length};
    return {};
}

FileProblem Document::LoadBitmap(const std::string& path)
{
    InputFile input;
    if (FileProblem problem = OpenInput(path, input); !problem.ok())
        return problem;
    return LoadBitmap(std::move(input));
}

FileProblem Document::LoadBitmap(InputFile&& input)
{
    if (FileProblem problem = CheckLayout(input.head, input.length); !problem.ok())
        return problem;
    Bytes new_bytes;
    try {
        ReserveLarge(new_bytes, static_cast<size_t>(input.length));
    } catch (const std::bad_alloc&) {
        return {FileProblemKind::OutOfMemory};
    }
    if (FileProblem problem = ReadWhole(input, new_bytes); !problem.ok())
        return problem;
    return Install(std::move(new_bytes), input.path);
}

FileProblem Document::OpenForStreaming(const std::string& path)
{
    InputFile input;
    if (FileProblem problem = OpenInput(path, input); !problem.ok())
        return problem;
    return OpenForStreaming(std::move(input));
}

FileProblem Document::OpenForStreaming(InputFile&& input)
{
    if (FileProblem problem = CheckLayout(input.head, input.length); !problem.ok())
        return problem;
    SetPicture(ReadInt32(input.head, 18), ReadInt32(input.head, 22), std::move(input.path));
    Bytes().swap(file_bytes);
    Bytes().swap(undo_bytes);
    source_planes = {};
    target_planes = {};
    // Read once, front to back: the system may read ahead and drop behind.
    ::posix_fadvise(input.file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    source_ = PictureSource(input.file.release(), input.length, input.modified);
    return {};
}

FileProblem Document::AdoptBitmap(Bytes&& bytes, const std::string& name)
{
    uint8_t header[kHeaderBytes] = {};
    std::copy_n(bytes.begin(), std::min<int64_t>(static_cast<int64_t>(bytes.size()), kHeaderBytes), header);
    if (FileProblem problem = CheckLayout(header, static_cast<int64_t>(bytes.size())); !problem.ok())
        return problem;
    return Install(std::move(bytes), name);
}

FileProblem Document::Install(Bytes&& bytes, const std::string& name)
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
        return {FileProblemKind::OutOfMemory};
    }
    if (keep_undo)
        SplitPlanes(bytes, source[0].data(), source[1].data(), source[2].data(), width, height);

    SetPicture(width, height, std::move(new_name));
    source_ = PictureSource();
    file_bytes.swap(bytes);
    undo_bytes.swap(new_undo);
    source_planes.swap(source);
    target_planes.swap(target);
    return {};
}

PictureSource::~PictureSource()
{
    if (fd_ >= 0)
        ::close(fd_);
}

PictureSource::PictureSource(PictureSource&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), length_(other.length_), modified_(other.modified_), problem_(other.problem_)
{
}

PictureSource& PictureSource::operator=(PictureSource&& other) noexcept
{
    if (this != &other) {
        PictureSource gone(std::move(*this));
        fd_ = std::exchange(other.fd_, -1);
        length_ = other.length_;
        modified_ = other.modified_;
        problem_ = other.problem_;
    }
    return *this;
}

FileProblem PictureSource::Verdict() const
{
    if (!problem_.ok() || fd_ < 0)
        return problem_;
    return CheckUnchanged(fd_, length_, modified_);
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

FileProblem Document::SaveBitmap(const std::string& path) const
{
    return HasPicture() || path.empty() ? SaveFile(path, file_bytes, Durability::Synced, *file_ops)
                                        : FileProblem{FileProblemKind::WriteFailed};
}

FileProblem Document::SaveScratchCopy(const std::string& path) const
{
    return HasPicture() || path.empty() ? SaveFile(path, file_bytes, Durability::Unsynced, *file_ops)
                                        : FileProblem{FileProblemKind::WriteFailed};
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
