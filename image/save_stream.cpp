// Saving: a temporary beside the target renamed over it or, where the
// folder takes no new file, the target rewritten in place, and the writer
// thread of a streamed save.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <system_error>

#include "image/save_stream.h"
#include "image/save_temporaries.h"

namespace korvanti {
namespace {

using Kind = FileProblemKind;

constexpr int kMostLinks = 40; // as many as the kernel follows

// The folder part of a path with its slash, "" for the current folder.
std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links in the last part of path to the file they name,
// which need not exist yet: a save through a dangling link creates it.
// Empty, with errno ELOOP, for a loop.
std::string FollowLinks(std::string path)
{
    for (int hop = 0; hop < kMostLinks; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        std::error_code error;
        const std::string to = std::filesystem::read_symlink(path, error).string();
        if (error || to.empty())
            return path;
        path = to.front() == '/' ? to : FolderOf(path) + to;
    }
    errno = ELOOP;
    return {};
}

// The permission bits a new file gets: 0666 less the process's umask, read
// without changing it (umask() would, for every thread at once).
mode_t NewFileMode()
{
    mode_t mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &mask) == 1)
                break;
        std::fclose(status);
    }
    return 0666 & ~mask;
}

// Flushes, syncs when asked and closes fd, whatever fails first; the
// problem of the first failure.
FileProblem Finish(FileOps& ops, int fd, bool written, bool durable)
{
    const bool ok = written && ops.Flush(fd) == 0 && (!durable || ops.Sync(fd) == 0);
    const int error = errno;
    if (ops.Close(fd) != 0 && ok)
        return {Kind::WriteFailed, errno};
    return ok ? FileProblem{} : FileProblem{Kind::WriteFailed, error};
}

constexpr size_t kChunkBytes = size_t{8} << 20; // what the writer takes at a time
constexpr size_t kChunksInFlight = 3;
// A durable save keeps this much of the start of its file in the page
// cache, and beyond it only the last two chunks: see DropWrittenBehind.
constexpr int64_t kCachedHead = int64_t{64} << 20;

} // namespace

FileProblem SaveStream::Begin(const std::string& path, Durability durability)
{
    Abandon();
    offset_ = 0;
    dropped_ = kCachedHead;
    error_ = 0;
    failed_ = in_place_ = false;
    durable_ = durability == Durability::Synced;
    if (path.empty())
        return {Kind::EmptyPath};
    if (FileProblem problem = FindTarget(path); !problem.ok())
        return problem;
    if (FileProblem problem = CheckExisting(); !problem.ok())
        return problem;
    return OpenWhereBytesGo();
}

FileProblem SaveStream::FindTarget(const std::string& path)
{
    target_ = FollowLinks(path);
    if (target_.empty())
        return {Kind::WriteFailed, errno};
    folder_ = FolderOf(target_);
    name_ = target_.substr(folder_.size());
    name_max_ = NameMax(folder_);
    if (name_.size() > name_max_)
        return {Kind::WriteFailed, ENAMETOOLONG};
    return {};
}

FileProblem SaveStream::CheckExisting()
{
    struct stat existing {};
    exists_ = ::stat(target_.c_str(), &existing) == 0;
    if (!exists_)
        return {};
    if (!S_ISREG(existing.st_mode))
        return {Kind::NotRegularFile, S_ISDIR(existing.st_mode) ? EISDIR : 0};
    // A read-only file is never replaced.
    const int denied = (existing.st_mode & S_IWUSR) == 0        ? EACCES
                       : ::access(target_.c_str(), W_OK) != 0 ? errno
                                                               : 0;
    if (denied == EROFS)
        return {Kind::WriteFailed, EROFS};
    if (denied != 0)
        return {Kind::ReadOnlyFile};
    existing_mode_ = existing.st_mode & 07777;
    existing_size_ = existing.st_size;
    existing_uid_ = existing.st_uid;
    existing_gid_ = existing.st_gid;
    return {};
}

FileProblem SaveStream::OpenWhereBytesGo()
{
    // A temporary left by a killed run (or another process that had the
    // same id, as in a container) is stepped over, never reused.
    for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
        temporary_ = folder_ + TemporaryName(name_, name_max_);
        // Private until Commit gives it the target's permissions: what it
        // holds meanwhile may be a private file's new content.
        fd_ = ops_.Open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ >= 0) {
        // Held until the descriptor closes: the sign that this run is alive.
        ::flock(fd_, LOCK_EX | LOCK_NB);
        return {};
    }
    const int error = errno;
    temporary_.clear();
    // The folder takes no new file, but the file itself may be written.
    if (exists_ && (error == EACCES || error == EPERM)) {
        fd_ = ops_.Open(target_.c_str(), O_WRONLY, 0);
        if (fd_ < 0)
            return {Kind::WriteFailed, errno};
        in_place_ = true;
        return {};
    }
    return {Kind::CannotCreate, error};
}

void SaveStream::Put(const uint8_t* bytes, size_t size)
{
    while (size > 0) {
        const size_t take = std::min(size, kChunkBytes - current_.size);
        std::memcpy(Room(take), bytes, take);
        Filled(take);
        bytes += take;
        size -= take;
    }
}

uint8_t* SaveStream::Room(size_t size)
{
    if (size > kChunkBytes)
        return ByteSink::Room(size);
    if (current_.size + size > kChunkBytes)
        Submit();
    if (!current_.data)
        current_.data = std::make_unique_for_overwrite<uint8_t[]>(kChunkBytes);
    room_in_chunk_ = true;
    return current_.data.get() + current_.size;
}

void SaveStream::Filled(size_t size)
{
    if (!room_in_chunk_) {
        ByteSink::Filled(size);
        return;
    }
    room_in_chunk_ = false;
    current_.size += size;
    if (current_.size == kChunkBytes)
        Submit();
}

void SaveStream::Write(std::span<const uint8_t> bytes)
{
    if (in_place_ && (offset_ != 0 || current_.size != 0 || !held_.empty())) {
        Put(bytes.data(), bytes.size()); // after other bytes: held with them
        return;
    }
    if (in_place_ && !ReserveInPlace(static_cast<int64_t>(bytes.size())))
        return;
    Submit();
    WaitUntilWritten();
    for (size_t done = 0; done < bytes.size(); done += kChunkBytes)
        WriteOut(bytes.data() + done, std::min(kChunkBytes, bytes.size() - done));
}

void SaveStream::Submit()
{
    if (current_.size == 0)
        return;
    if (in_place_) {
        // Nothing goes into the file itself before the whole of it is here.
        held_.push_back(std::move(current_));
        current_ = Chunk();
        return;
    }
    if (!writer_.joinable()) {
        try {
            writer_ = std::thread(&SaveStream::WriterLoop, this);
        } catch (const std::system_error&) {
            // No thread to be had: the chunk is written here and now.
            WriteOut(current_.data.get(), current_.size);
            current_.size = 0;
            return;
        }
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kChunksInFlight; });
    queue_.push_back(std::move(current_));
    current_ = Chunk();
    if (!spare_.empty()) {
        current_ = std::move(spare_.back());
        spare_.pop_back();
    }
    changed_.notify_all();
}

void SaveStream::WaitUntilWritten()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !writing_; });
}

void SaveStream::WriterLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
        if (queue_.empty())
            return;
        Chunk chunk = std::move(queue_.front());
        queue_.erase(queue_.begin());
        writing_ = true;
        lock.unlock();
        WriteOut(chunk.data.get(), chunk.size);
        lock.lock();
        writing_ = false;
        chunk.size = 0;
        spare_.push_back(std::move(chunk));
        changed_.notify_all();
    }
}

void SaveStream::WriteOut(const uint8_t* data, size_t size)
{
    if (failed_ || fd_ < 0)
        return;
    if (!WriteAll(ops_, fd_, data, size)) {
        failed_ = true;
        error_ = errno;
        return;
    }
    // Only a start: the pages go to the disk while the caller goes on.
    if (durable_)
        ::sync_file_range(fd_, offset_, static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
    offset_ += static_cast<int64_t>(size);
    if (durable_)
        DropWrittenBehind();
}

void SaveStream::DropWrittenBehind()
{
    // Past the head of a large file, the pages two chunks behind are waited
    // for on the disk and let go, so the next chunks take the same memory
    // again. Taking fresh memory for every page of a large file costs far
    // more system time than the copy itself where the machine's memory is
    // handed back to a host while free and comes back on first touch (seen
    // on virtual machines: 1.5 s more for a 900 MB save), and it would push
    // other files out of the cache for bytes nobody reads back soon. Errors
    // are left to the sync at Commit, which reports them.
    const int64_t behind = offset_ - 2 * static_cast<int64_t>(kChunkBytes);
    if (behind <= dropped_)
        return;
    const auto length = static_cast<off_t>(behind - dropped_);
    ::sync_file_range(fd_, dropped_, length,
                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    ::posix_fadvise(fd_, dropped_, length, POSIX_FADV_DONTNEED);
    dropped_ = behind;
}

void SaveStream::StopWriter()
{
    if (!writer_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    writer_.join();
    stopping_ = false;
}

bool SaveStream::ReserveInPlace(int64_t size)
{
    if (failed_)
        return false;
    if (const int error = ops_.Reserve(fd_, static_cast<off_t>(std::max(size, existing_size_))); error != 0) {
        // Whatever the attempt added goes; no byte of the file has changed.
        [[maybe_unused]] const int restored = ops_.Truncate(fd_, static_cast<off_t>(existing_size_));
        failed_ = true;
        error_ = error;
        return false;
    }
    return true;
}

void SaveStream::WriteHeld()
{
    Submit();
    int64_t size = 0;
    for (const Chunk& chunk : held_)
        size += static_cast<int64_t>(chunk.size);
    if (!held_.empty() && ReserveInPlace(size)) {
        for (const Chunk& chunk : held_)
            WriteOut(chunk.data.get(), chunk.size);
    }
    held_.clear();
}

FileProblem SaveStream::Commit()
{
    if (fd_ < 0)
        return {Kind::WriteFailed, EBADF};
    if (in_place_)
        WriteHeld();
    Submit();
    StopWriter();
    bool written = !failed_;
    errno = error_;
    if (written && in_place_)
        written = ops_.Truncate(fd_, static_cast<off_t>(offset_)) == 0;
    if (written && exists_ && !in_place_) {
        // Keep the replaced file's owner (where we may) and permission bits.
        [[maybe_unused]] const int owner = ::fchown(fd_, existing_uid_, existing_gid_);
        written = ::fchmod(fd_, existing_mode_) == 0;
    } else if (written && !in_place_) {
        written = ::fchmod(fd_, NewFileMode()) == 0;
    }
    FileProblem problem = Finish(ops_, fd_, written, durable_);
    fd_ = -1;
    if (in_place_)
        return problem;
    if (problem.kind == Kind::None && ops_.Rename(temporary_.c_str(), target_.c_str()) != 0)
        problem = {Kind::WriteFailed, errno};
    if (problem.kind != Kind::None) {
        Abandon();
        return problem;
    }
    temporary_.clear();
    if (durable_) {
        // Make the rename itself durable; the new file is in place either way.
        const int folder_fd = ::open(folder_.empty() ? "." : folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder_fd >= 0) {
            ops_.Sync(folder_fd);
            ::close(folder_fd);
        }
    }
    RemoveDeadTemporaries(ops_, folder_, name_, name_max_);
    return {};
}

void SaveStream::Abandon()
{
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
    }
    StopWriter();
    current_.size = 0;
    held_.clear();
    if (fd_ >= 0) {
        ops_.Close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ops_.Unlink(temporary_.c_str());
        temporary_.clear();
    }
}

FileProblem SaveFile(const std::string& path, std::span<const uint8_t> bytes, Durability durability,
                     FileOps& ops)
{
    try {
        SaveStream save(ops);
        FileProblem problem = save.Begin(path, durability);
        if (problem.ok()) {
            save.Write(bytes);
            problem = save.Commit();
        }
        return problem;
    } catch (const std::bad_alloc&) {
        return {Kind::OutOfMemory};
    }
}

} // namespace korvanti
