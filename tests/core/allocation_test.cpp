// A header claiming a huge picture in a small file is refused before any
// large buffer is allocated.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "engine_bench.h"

namespace {
std::atomic<size_t> largest_allocation{0};
}

void* operator new(size_t size)
{
    size_t seen = largest_allocation.load();
    while (size > seen && !largest_allocation.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace korvanti::testing {
namespace {

TEST(LoadBitmapAllocation, RefusesAHugeClaimWithoutAllocatingForIt)
{
    TempDir dir;
    auto bytes = MakeBmp(Picture(4, 4, 1));
    Put32(bytes, 18, 30000);
    Put32(bytes, 22, 20000);
    WriteFile(dir / "claims.bmp", bytes);
    Document doc;
    largest_allocation = 0;
    EXPECT_FALSE(doc.LoadBitmap(dir / "claims.bmp").ok());
    EXPECT_LT(largest_allocation.load(), size_t{1} << 16);

    // The counter itself works: a real load allocates the whole file.
    WriteFile(dir / "real.bmp", MakeBmp(Picture(300, 300, 1)));
    largest_allocation = 0;
    EXPECT_TRUE(doc.LoadBitmap(dir / "real.bmp").ok());
    EXPECT_GE(largest_allocation.load(), size_t{270000});
}

} // namespace
} // namespace korvanti::testing
