// The pseudo-random sequence of the C library's rand() as glibc produces it
// when never seeded (the same as srand(1)): an additive feedback generator
// over 34 words of state. Each instance has its own sequence; calls on one
// instance are serialised, so an instance may be shared between threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace korvanti {

class CRand {
public:
    static constexpr int32_t kMax = 2147483647;

    explicit CRand(uint32_t seed = 1) { Seed(seed); }

    void Seed(uint32_t seed);
    int32_t Next();
    // Draws count values in a row under one lock.
    void Fill(int32_t* out, size_t count);

private:
    int32_t NextUnlocked();

    std::mutex mutex_;
    std::array<int32_t, 34> ring_{};
    size_t front_ = 0;
};

} // namespace korvanti
