// A picture file opened once for reading: the descriptor, its length and
// identity, and its first bytes, which tell its type and hold a BMP
// header. Whoever opens it decides how to read the rest.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "image/bmp_layout.h"
#include "image/problem.h"

namespace korvanti {

// An open descriptor, closed with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    int get() const { return fd_; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_;
};

struct InputFile {
    Descriptor file;
    std::string path;
    int64_t length = 0;
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    uint8_t head[kHeaderBytes] = {}; // the first bytes; zeros past the length
    size_t head_size = 0;
};

// Opens path for reading and reads its first bytes. Whatever is not a
// regular file is refused before any read (and a FIFO without a writer
// cannot hold the open up).
FileProblem OpenInput(const std::string& path, InputFile& input);

// Reads the whole file into bytes, the head included: by reads, never a
// mapping, so a file that shrinks meanwhile is Truncated, not a crash.
FileProblem ReadWhole(InputFile& input, std::vector<uint8_t>& bytes);

// Changed when the file's size or modification time is no longer what it
// was when it was opened: someone wrote it while it was read.
FileProblem CheckUnchanged(int fd, int64_t length, const timespec& modified);

// Reads size bytes from fd at offset (or its position when offset < 0)
// unless the file ends or fails first; returns how many it read, with
// errno set (0 at the end of the file) when that is fewer.
size_t ReadFully(int fd, uint8_t* data, size_t size, int64_t offset = -1);

// A short read: a failing read, or a file that shrank while it was read.
FileProblem ReadProblem(size_t done, size_t wanted);

} // namespace korvanti
