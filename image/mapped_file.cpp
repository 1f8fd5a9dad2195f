// Mapping a file read-only, and letting it go.
#include "image/mapped_file.h"

#include <sys/mman.h>

#include <utility>

namespace korvanti {

MappedFile::MappedFile(int fd, size_t size)
{
    if (size == 0)
        return;
    // Pages are mapped as they are first read (many at a time), so that
    // work on the first rows begins at once; read ahead from the disk.
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED)
        return;
    ::madvise(data, size, MADV_SEQUENTIAL);
    data_ = static_cast<const uint8_t*>(data);
    size_ = size;
}

MappedFile::~MappedFile()
{
    if (data_ != nullptr)
        ::munmap(const_cast<uint8_t*>(data_), size_);
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0))
{
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this != &other) {
        MappedFile gone(std::move(*this));
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

} // namespace korvanti
