// The temporaries saves write into: their names, and clearing away those
// that runs killed while they wrote left beside a target.
#include "image/save_temporaries.h"

#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cerrno>
#include <ctime>
#include <string_view>

namespace korvanti {
namespace {

// How long a temporary may go unlocked after it is made before a run that
// finds it may take it for a killed run's.
constexpr time_t kSettleSeconds = 2;
constexpr std::string_view kMark = ".kv";
constexpr std::string_view kEnd = ".tmp";

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

// Whether the run that made the temporary at path is gone. Its writer
// holds a lock on it for as long as it lives, whatever process-id
// namespace it runs in; a temporary only just made (its lock not taken
// yet) counts as live too.
bool Abandoned(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    const bool settled = ::fstat(fd, &info) == 0 && ::time(nullptr) - info.st_mtime >= kSettleSeconds;
    const bool unlocked = settled && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return unlocked;
}

} // namespace

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
    std::string temporary = ".";
    temporary.append(name, 0, keep);
    return temporary.append(suffix);
}

// Removes the temporaries for name in folder that no live run holds: a run
// killed while it wrote. Never one of ours.
void RemoveDeadTemporaries(FileOps& ops, const std::string& folder, const std::string& name, size_t name_max)
{
    DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
    if (listing == nullptr)
        return;
    const pid_t self = ::getpid();
    try {
        while (const dirent* entry = ::readdir(listing)) {
            const pid_t owner = TemporaryOwner(entry->d_name, name, name_max);
            const std::string path = folder + entry->d_name;
            if (owner != 0 && owner != self && Abandoned(path))
                ops.Unlink(path.c_str());
        }
    } catch (const std::bad_alloc&) {
        // They stay for the next save.
    }
    ::closedir(listing);
}

} // namespace korvanti
