// Large saves and the page cache: a durable save keeps the head of its file
// cached and lets go of the pages behind it; a scratch save leaves them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "engine_bench.h"
#include "image/save_stream.h"

namespace korvanti::testing {
namespace {

// The share of the pages of bytes first..last - 1 of a file that are in the
// page cache.
double ShareInCache(const std::filesystem::path& path, int64_t first, int64_t last)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    void* map = ::mmap(nullptr, static_cast<size_t>(last), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    const int64_t page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> in((static_cast<size_t>(last) + page - 1) / page);
    ::mincore(map, static_cast<size_t>(last), in.data());
    ::munmap(map, static_cast<size_t>(last));
    int64_t resident = 0;
    for (int64_t p = first / page; p < last / page; ++p)
        resident += in[static_cast<size_t>(p)] & 1;
    return double(resident) / double(last / page - first / page);
}

// A large durable save takes the same few chunks of page cache again and
// again past the head of its file, instead of fresh memory for every page;
// a scratch save leaves its pages to the system.
TEST(LargeSave, DurableSavesLetGoOfThePagesBehindThemPastTheHead)
{
    TempDir dir;
    struct statfs where {};
    ASSERT_EQ(::statfs(dir.path().c_str(), &where), 0);
    if (where.f_type == 0x01021994) // tmpfs keeps every page whatever it is told
        GTEST_SKIP() << "the test folder is on tmpfs";
    constexpr int64_t kMiB = 1 << 20;
    const Bytes whole(size_t{96} * kMiB, 0x5a);
    for (Durability durability : {Durability::Synced, Durability::Unsynced}) {
        SCOPED_TRACE(int(durability));
        ASSERT_TRUE(SaveFile(dir / "large.bmp", whole, durability).ok());
        EXPECT_GT(ShareInCache(dir / "large.bmp", 0, 64 * kMiB), 0.9);
        const double behind = ShareInCache(dir / "large.bmp", 64 * kMiB, 80 * kMiB);
        if (durability == Durability::Synced)
            EXPECT_LT(behind, 0.1);
        else
            EXPECT_GT(behind, 0.9);
        EXPECT_EQ(std::filesystem::file_size(dir / "large.bmp"), whole.size());
    }
}

} // namespace
} // namespace korvanti::testing
