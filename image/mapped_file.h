// A read-only view of a whole file through a memory mapping: the pages of
// the file the system already holds, with no copy of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace korvanti {

class MappedFile {
public:
    MappedFile() = default;
    // Maps size bytes of the open file fd (which may be closed afterwards).
    // Empty when size is 0 or the mapping fails; errno then says why.
    MappedFile(int fd, size_t size);
    ~MappedFile();
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::span<const uint8_t> bytes() const { return {data_, size_}; }
    bool empty() const { return size_ == 0; }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

} // namespace korvanti
