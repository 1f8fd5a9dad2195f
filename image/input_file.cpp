// Opening a picture file once and reading it by plain reads.
#include "image/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

namespace korvanti {

void Descriptor::reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

size_t ReadFully(int fd, uint8_t* data, size_t size, int64_t offset)
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

FileProblem ReadProblem(size_t done, size_t wanted)
{
    if (errno != 0)
        return {FileProblemKind::ReadFailed, errno};
    return {FileProblemKind::Truncated, 0, static_cast<int64_t>(wanted - done)};
}

FileProblem OpenInput(const std::string& path, InputFile& input)
{
    using Kind = FileProblemKind;
    if (path.empty())
        return {Kind::EmptyPath};
    // Not blocking, so that a FIFO without a writer cannot hold the open up.
    input.file.reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const int fd = input.file.get();
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0)
        return {Kind::CannotOpen, errno};
    if (!S_ISREG(info.st_mode))
        return {Kind::NotRegularFile, S_ISDIR(info.st_mode) ? EISDIR : 0};
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    try {
        input.path = path;
    } catch (const std::bad_alloc&) {
        return {Kind::OutOfMemory};
    }
    input.length = info.st_size;
    input.device = info.st_dev;
    input.inode = info.st_ino;
    input.modified = info.st_mtim;
    const size_t head = static_cast<size_t>(std::min<int64_t>(input.length, kHeaderBytes));
    input.head_size = ReadFully(fd, input.head, head);
    if (input.head_size < head)
        return ReadProblem(input.head_size, head);
    return {};
}

FileProblem CheckUnchanged(int fd, int64_t length, const timespec& modified)
{
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        return {FileProblemKind::ReadFailed, errno};
    if (now.st_size != length || now.st_mtim.tv_sec != modified.tv_sec || now.st_mtim.tv_nsec != modified.tv_nsec)
        return {FileProblemKind::Changed};
    return {};
}

FileProblem ReadWhole(InputFile& input, std::vector<uint8_t>& bytes)
{
    const auto size = static_cast<size_t>(input.length);
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        return {FileProblemKind::OutOfMemory};
    }
    std::copy_n(input.head, input.head_size, bytes.begin());
    const size_t rest = size - input.head_size;
    if (size_t done = ReadFully(input.file.get(), bytes.data() + input.head_size, rest); done < rest)
        return ReadProblem(done, rest);
    return CheckUnchanged(input.file.get(), input.length, input.modified);
}

} // namespace korvanti
