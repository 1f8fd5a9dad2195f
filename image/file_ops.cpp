// The POSIX calls behind the FileOps seam.
#include "image/file_ops.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace korvanti {

int FileOps::Open(const char* path, int flags, mode_t mode) { return ::open(path, flags | O_CLOEXEC, mode); }
ssize_t FileOps::Write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }
int FileOps::Truncate(int fd, off_t size) { return ::ftruncate(fd, size); }
int FileOps::Reserve(int fd, off_t size) { return ::posix_fallocate(fd, 0, size); }
int FileOps::Flush(int) { return 0; }
int FileOps::Sync(int fd) { return ::fsync(fd); }
int FileOps::Close(int fd) { return ::close(fd); }
int FileOps::Rename(const char* from, const char* to) { return ::rename(from, to); }
int FileOps::Unlink(const char* path) { return ::unlink(path); }

void EnsureStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1)
            continue;
        // open() takes the lowest free number: this one.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd)
            ::close(opened);
    }
}

FileOps& SystemFileOps()
{
    static FileOps ops;
    return ops;
}

bool WriteAll(FileOps& ops, int fd, const void* bytes, size_t size)
{
    const auto* data = static_cast<const uint8_t*>(bytes);
    size_t done = 0;
    while (done < size) {
        const ssize_t wrote = ops.Write(fd, data + done, size - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            if (wrote == 0)
                errno = EIO;
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return true;
}

} // namespace korvanti
