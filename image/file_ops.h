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
    // Makes sure the file has room for size bytes: 0, or an errno value
    // (ENOSPC when the disk has not the room). Changes no byte of it.
    virtual int Reserve(int fd, off_t size);
    virtual int Flush(int fd); // user-space buffers; a no-op for raw descriptors
    virtual int Sync(int fd);
    virtual int Close(int fd);
    virtual int Rename(const char* from, const char* to);
    virtual int Unlink(const char* path);
};

// The process-wide POSIX implementation.
FileOps& SystemFileOps();

// Writes all of size bytes from the descriptor's position, through short
// writes and interruptions; false with errno set when that fails.
bool WriteAll(FileOps& ops, int fd, const void* bytes, size_t size);

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so
// that no file the program opens later becomes its standard input, output
// or error (and a message meant for the terminal lands in a picture).
void EnsureStandardDescriptors();

} // namespace korvanti
