// Saving the document: a temporary beside the target renamed over it or,
// where the folder takes no new file, the target rewritten in place; and
// clearing away the temporaries that killed runs left for the same target.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>

#include "image/document.h"

namespace korvanti {
namespace {

using Kind = FileProblemKind;

constexpr int kMostLinks = 40; // as many as the kernel follows
constexpr std::string_view kMark = ".kv";
constexpr std::string_view kEnd = ".tmp";

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

// The longest file name the folder takes.
size_t NameMax(const std::string& folder)
{
    const long most = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return most > 0 ? static_cast<size_t>(most) : 255;
}

// ".NAME.kvPID-N.tmp", with NAME cut short (at a character boundary) where
// the whole would not fit in name_max bytes.
std::string TemporaryName(const std::string& name, size_t name_max)
{
    static std::atomic<unsigned> counter{0};
    const std::string suffix =
        std::string(kMark) + std::to_string(::getpid()) + "-" + std::to_string(counter++) + std::string(kEnd);
    size_t keep = name.size();
    if (1 + keep + suffix.size() > name_max) {
        keep = name_max > suffix.size() + 1 ? name_max - suffix.size() - 1 : 0;
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
            --keep;
    }
    return "." + name.substr(0, keep) + suffix;
}

// The process id in the name of a temporary made for name (perhaps cut
// short by TemporaryName); 0 when entry is no such temporary.
pid_t TemporaryOwner(std::string_view entry, std::string_view name, size_t name_max)
{
    if (entry.size() < 1 + kMark.size() + kEnd.size() || entry.front() != '.' || !entry.ends_with(kEnd))
        return 0;
    const size_t mark = entry.rfind(kMark);
    if (mark == std::string_view::npos || mark == 0)
        return 0;
    const std::string_view stem = entry.substr(1, mark - 1);
    // A name cut short fills the folder's limit, but for a partly kept character.
    if (stem != name && !(name.starts_with(stem) && entry.size() + 4 > name_max))
        return 0;
    const char* first = entry.data() + mark + kMark.size();
    const char* last = entry.data() + entry.size() - kEnd.size();
    pid_t pid = 0;
    unsigned number = 0;
    const auto [dash, pid_error] = std::from_chars(first, last, pid);
    if (pid_error != std::errc() || pid <= 0 || dash == last || *dash != '-')
        return 0;
    const auto [end, number_error] = std::from_chars(dash + 1, last, number);
    return number_error == std::errc() && end == last ? pid : 0;
}

// Removes the temporaries for name in folder whose process is gone: a run
// killed while it wrote. Never one of a live process, nor one of ours.
void RemoveDeadTemporaries(FileOps& ops, const std::string& folder, const std::string& name, size_t name_max)
{
    DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
    if (listing == nullptr)
        return;
    const pid_t self = ::getpid();
    try {
        while (const dirent* entry = ::readdir(listing)) {
            const pid_t owner = TemporaryOwner(entry->d_name, name, name_max);
            if (owner != 0 && owner != self && ::kill(owner, 0) == -1 && errno == ESRCH)
                ops.Unlink((folder + entry->d_name).c_str());
        }
    } catch (const std::bad_alloc&) {
        // They stay for the next save.
    }
    ::closedir(listing);
}

// Writes all of bytes from the descriptor's position; false with errno
// set when that fails.
bool WriteAll(FileOps& ops, int fd, const Bytes& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ops.Write(fd, bytes.data() + done, bytes.size() - done);
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

// The save of last resort: the file itself opened and overwritten. The
// old bytes are written over before the file is cut to its new length, so
// a disk short of room fails less often; a failure part way leaves the
// file damaged all the same.
FileProblem RewriteInPlace(FileOps& ops, const std::string& target, const Bytes& bytes, bool durable)
{
    const int fd = ops.Open(target.c_str(), O_WRONLY, 0);
    if (fd < 0)
        return {Kind::WriteFailed, errno};
    const bool written = WriteAll(ops, fd, bytes) && ops.Truncate(fd, static_cast<off_t>(bytes.size())) == 0;
    return Finish(ops, fd, written, durable);
}

} // namespace

int Document::SaveBitmap(const std::string& path) { return Save(path, true); }

int Document::SaveScratchCopy(const std::string& path) { return Save(path, false); }

int Document::Save(const std::string& path, bool durable)
{
    if (path.empty())
        return Fail(kEmptyPath, {Kind::EmptyPath});
    if (!HasPicture())
        return Fail(kWriteFailed, {Kind::WriteFailed});
    try {
        const std::string target = FollowLinks(path);
        if (target.empty())
            return Fail(kWriteFailed, {Kind::WriteFailed, errno});
        const std::string folder = FolderOf(target);
        const std::string name = target.substr(folder.size());
        const size_t name_max = NameMax(folder);
        if (name.size() > name_max)
            return Fail(kWriteFailed, {Kind::WriteFailed, ENAMETOOLONG});

        struct stat existing {};
        const bool exists = ::stat(target.c_str(), &existing) == 0;
        if (exists && !S_ISREG(existing.st_mode))
            return Fail(kWriteFailed, {Kind::NotRegularFile, S_ISDIR(existing.st_mode) ? EISDIR : 0});
        if (exists) {
            // A read-only file is never replaced.
            const int denied = (existing.st_mode & S_IWUSR) == 0        ? EACCES
                               : ::access(target.c_str(), W_OK) != 0 ? errno
                                                                      : 0;
            if (denied == EROFS)
                return Fail(kWriteFailed, {Kind::WriteFailed, EROFS});
            if (denied != 0)
                return Fail(kWriteFailed, {Kind::ReadOnlyFile});
        }

        FileOps& ops = *file_ops;
        std::string temporary;
        int fd = -1;
        // A temporary left by a killed run (or another process that had the
        // same id, as in a container) is stepped over, never reused.
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            temporary = folder + TemporaryName(name, name_max);
            fd = ops.Open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd < 0) {
            const int error = errno;
            // The folder takes no new file, but the file itself may be written.
            if (exists && (error == EACCES || error == EPERM)) {
                const FileProblem problem = RewriteInPlace(ops, target, file_bytes, durable);
                return Fail(problem.kind == Kind::None ? static_cast<int>(file_bytes.size()) : kWriteFailed, problem);
            }
            return Fail(kWriteFailed, {Kind::CannotCreate, error});
        }

        bool written = WriteAll(ops, fd, file_bytes);
        if (written && exists) {
            // Keep the replaced file's owner (where we may) and permission bits.
            [[maybe_unused]] const int owner = ::fchown(fd, existing.st_uid, existing.st_gid);
            written = ::fchmod(fd, existing.st_mode & 07777) == 0;
        }
        FileProblem problem = Finish(ops, fd, written, durable);
        if (problem.kind == Kind::None && ops.Rename(temporary.c_str(), target.c_str()) != 0)
            problem = {Kind::WriteFailed, errno};
        if (problem.kind != Kind::None) {
            ops.Unlink(temporary.c_str());
            return Fail(kWriteFailed, problem);
        }
        if (durable) {
            // Make the rename itself durable; the new file is in place either way.
            const int folder_fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (folder_fd >= 0) {
                ops.Sync(folder_fd);
                ::close(folder_fd);
            }
        }
        RemoveDeadTemporaries(ops, folder, name, name_max);
        return Fail(static_cast<int>(file_bytes.size()), {});
    } catch (const std::bad_alloc&) {
        return Fail(kWriteFailed, {Kind::OutOfMemory});
    }
}

} // namespace korvanti
