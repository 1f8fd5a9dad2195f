// Every catalogue effect on one 4000 x 3000 picture. Each benchmark is
// named by the effect's batch name and reports megapixels per second.
//
//   cmake --preset release && cmake --build --preset release --target korvanti-bench
//   build/release/bench/korvanti-bench [--benchmark_filter=blur]
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "effects/catalogue.h"
#include "engine/c_rand.h"
#include "engine/effect_context.h"
#include "image/document.h"

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
constexpr double kMegapixels = double(kWidth) * kHeight / 1e6;

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = uint8_t(value >> (8 * i));
}

// The same picture on every run: smooth gradients and soft waves over most
// of it, with bands of pseudo-random noise and hard-edged blocks, so that
// median, histogram and threshold paths all see varied input.
std::vector<uint8_t> MakePictureFile()
{
    constexpr size_t kStride = (size_t(kWidth) * 3 + 3) & ~size_t(3);
    std::vector<uint8_t> bytes(54 + kStride * kHeight, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    Put32(bytes, 2, uint32_t(bytes.size()));
    Put32(bytes, 10, 54);
    Put32(bytes, 14, 40);
    Put32(bytes, 18, kWidth);
    Put32(bytes, 22, kHeight);
    bytes[26] = 1;
    bytes[28] = 24;
    Put32(bytes, 34, uint32_t(kStride * kHeight));
    uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = bytes.data() + 54 + size_t(y) * kStride;
        const bool noisy_band = (y / 250) % 4 == 1;
        for (int32_t x = 0; x < kWidth; ++x) {
            const bool block = ((x / 160) + (y / 160)) % 7 == 0;
            for (int k = 0; k < 3; ++k) {
                int value;
                if (block)
                    value = ((x / 160) * 53 + k * 91) % 256;
                else if (noisy_band && x > kWidth / 3)
                    value = int(next() >> 56);
                else
                    value = int(127.5 + 60 * std::sin(x * 0.004 + k) + 60 * std::cos(y * 0.003 - k) +
                                double(x + y) / (kWidth + kHeight) * 7);
                row[3 * x + k] = uint8_t(value);
            }
        }
    }
    return bytes;
}

// Loaded once through a temporary file, as a user's picture would be.
const korvanti::Document& Picture()
{
    static const korvanti::Document picture = [] {
        const std::vector<uint8_t> bytes = MakePictureFile();
        std::string path = (std::filesystem::temp_directory_path() / "korvanti-bench-XXXXXX").string();
        const int fd = ::mkstemp(path.data());
        if (fd < 0)
            throw std::runtime_error("cannot create a temporary file");
        const bool written = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
        ::close(fd);
        korvanti::Document document;
        const int loaded = written ? document.LoadBitmap(path) : 0;
        ::unlink(path.c_str());
        if (loaded != korvanti::kLoaded)
            throw std::runtime_error("cannot load the benchmark picture");
        return document;
    }();
    return picture;
}

void RunOneEffect(benchmark::State& state, const korvanti::EffectEntry* effect)
{
    const korvanti::Document& picture = Picture();
    for (auto _ : state) {
        state.PauseTiming();
        korvanti::Document document = picture; // every run starts from the same picture
        korvanti::EffectHost host;
        korvanti::CRand random;
        korvanti::EffectContext context(document, host, random);
        state.ResumeTiming();
        if (!korvanti::RunEffect(context, *effect))
            state.SkipWithError("the effect refused to run");
        benchmark::DoNotOptimize(document.FileBytes.data());
        benchmark::ClobberMemory();
    }
    state.counters["MP"] = benchmark::Counter(kMegapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

int main(int argc, char** argv)
{
    for (const korvanti::EffectEntry& effect : korvanti::EffectCatalogue()) {
        benchmark::RegisterBenchmark(std::string(effect.batch_name).c_str(), RunOneEffect, &effect)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
