#include "engine/c_rand.h"

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

void CRand::Fill(int32_t* out, size_t count)
{
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < count; ++i)
        out[i] = NextUnlocked();
}

} // namespace korvanti
