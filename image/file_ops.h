// The few file-system calls that saving goes through. Production code uses
// the POSIX versions; tests substitute a subclass that fails chosen calls.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace korvanti {

class FileOps {
public:
    virtual ~FileOps() = default;

    virtual int Open(const char* path, int flags, mode_t mode);
    virtual ssize_t Write(int fd, const void* data, size_t size);
    virtual int Truncate(int fd, off_t size);
    virtual int Flush(int fd); // user-space buffers; a no-op for raw descriptors
    virtual int Sync(int fd);
    virtual int Close(int fd);
    virtual int Rename(const char* from, const char* to);
    virtual int Unlink(const char* path);
};

// The process-wide POSIX implementation.
FileOps& SystemFileOps();

} // namespace korvanti
