// glibc's unseeded rand() sequence, word for word.
#include "engine/c_rand.h"

#include <cstring>

#include "image/simd.h"

namespace korvanti {

// State: 31 words. The seed fills them through the Park-Miller minimal
// standard generator (16807 * x mod 2^31 - 1, in Schrage's form); each
// output adds the word three places back, and the first 310 outputs are
// thrown away, exactly as the C library does.
void CRand::Seed(uint32_t seed)
{
    std::lock_guard lock(mutex_);
    auto& state = ring_;
    state[0] = static_cast<int32_t>(seed == 0 ? 1 : seed);
    int64_t word = state[0];
    for (size_t i = 1; i < 31; ++i) {
        const int64_t hi = word / 127773;
        const int64_t lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0)
            word += 2147483647;
        state[i] = static_cast<int32_t>(word);
    }
    front_ = 3;
    for (int i = 0; i < 310; ++i)
        NextUnlocked();
}

int32_t CRand::NextUnlocked()
{
    // front_ runs three words ahead of the rear pointer around 31 words.
    const size_t rear = (front_ + 31 - 3) % 31;
    const uint32_t sum = static_cast<uint32_t>(ring_[front_]) + static_cast<uint32_t>(ring_[rear]);
    ring_[front_] = static_cast<int32_t>(sum);
    front_ = (front_ + 1) % 31;
    return static_cast<int32_t>(sum >> 1);
}

int32_t CRand::Next()
{
    std::lock_guard lock(mutex_);
    return NextUnlocked();
}

// Word i is word i - 3 plus word i - 31; expanding word i - 3 five times
// more gives word i as word i - 18 plus words i - 31, i - 34, ... i - 46,
// whose shortest lag (18) lets eight words be made at once without
// reading words still on their way to memory.
KORVANTI_CLONES
static void ExtendWords(uint32_t* words, size_t first, size_t end)
{
    for (size_t i = first; i < end; ++i)
        words[i] = words[i - 18] + words[i - 31] + words[i - 34] + words[i - 37] + words[i - 40] + words[i - 43] +
                   words[i - 46];
}

void CRand::Fill(int32_t* out, size_t count)
{
    std::lock_guard lock(mutex_);
    while (count > 0) {
        constexpr size_t kBlock = 1024;
        const size_t n = count < kBlock ? count : kBlock;
        // The 31 words of state in order, oldest first, then the new ones.
        uint32_t words[31 + kBlock];
        for (size_t i = 0; i < 31; ++i)
            words[i] = static_cast<uint32_t>(ring_[(front_ + i) % 31]);
        const size_t plain = n < 15 ? n : 15; // until 46 words of history exist
        for (size_t i = 31; i < 31 + plain; ++i)
            words[i] = words[i - 3] + words[i - 31];
        ExtendWords(words, 31 + plain, 31 + n);
        for (size_t i = 0; i < n; ++i)
            out[i] = static_cast<int32_t>(words[31 + i] >> 1);
        for (size_t i = 0; i < 31; ++i)
            ring_[(front_ + i) % 31] = static_cast<int32_t>(words[n + i]);
        out += n;
        count -= n;
    }
}

} // namespace korvanti
