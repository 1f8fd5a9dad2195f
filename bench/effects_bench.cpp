// Every catalogue effect on one 4000 x 3000 picture, each benchmark named by
// the effect's batch name: time per run, megapixels per second, the message
// pumps a run makes at the window's pump interval, what a run allocates,
// the peak memory against the file size, and the time budget
// from the peer library's time for the same work (of_budget <= 1 meets it).
//
//   cmake --preset release && cmake --build --preset release --target korvanti-bench
//   build/release/bench/korvanti-bench [--benchmark_filter=blur]
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <new>
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

#ifdef KORVANTI_WITH_PEER
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

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
korvanti::Document& Picture()
{
    static korvanti::Document picture = [] {
        const std::vector<uint8_t> bytes = MakePictureFile();
        std::string path = (std::filesystem::temp_directory_path() / "korvanti-bench-XXXXXX").string();
        const int fd = ::mkstemp(path.data());
        if (fd < 0)
            throw std::runtime_error("cannot create a temporary file");
        const bool written = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
        ::close(fd);
        korvanti::Document document;
        const bool loaded = written && document.LoadBitmap(path).ok();
        ::unlink(path.c_str());
        if (!loaded)
            throw std::runtime_error("cannot load the benchmark picture");
        return document;
    }();
    return picture;
}

// ---- allocations -----------------------------------------------------------
// Every heap allocation of the process is counted, so that a run can report
// what it allocated and how high the live heap went.

std::atomic<int64_t> live_bytes{0};
std::atomic<int64_t> peak_bytes{0};
std::atomic<int64_t> allocated_bytes{0};

void Counted(size_t size)
{
    allocated_bytes += int64_t(size);
    const int64_t now = live_bytes += int64_t(size);
    int64_t peak = peak_bytes.load();
    while (now > peak && !peak_bytes.compare_exchange_weak(peak, now)) {
    }
}

// ---- the peer ----------------------------------------------------------------
// What the fastest library takes for the same work on the same picture, one
// thread, measured in this run: a 3x3 median, a 3x3 filter with the effect's
// kernel, and a plain copy of the picture.

enum class Peer { Median, Sharpen, Blur, Emboss, LaplacianStrong, LaplacianWeak, MovingAverage, Copy };

struct Budget {
    std::vector<std::pair<Peer, double>> parts; // sum of factor x peer time
};

// How long each effect may take, in peer operations: the median family 3x
// the median, kernel filters 1.5x the filter, the rough sketch 3x, per-pixel
// effects 6x the copy. Multi-stage effects add their stages up.
Budget BudgetFor(std::string_view name)
{
    if (name == "median" || name == "geometric-cut" || name == "median-hard")
        return {{{Peer::Median, 3}}};
    if (name == "median-natural")
        return {{{Peer::Median, 3}, {Peer::Sharpen, 1.5}, {Peer::Blur, 1.5}}};
    if (name == "pro-watercolour")
        return {{{Peer::Median, 15}}};
    if (name == "watercolour-style")
        return {{{Peer::Median, 3}, {Peer::Blur, 1.5}}};
    if (name == "sharpen")
        return {{{Peer::Sharpen, 1.5}}};
    if (name == "blur")
        return {{{Peer::Blur, 1.5}}};
    if (name == "emboss" || name == "charcoal-sketch")
        return {{{Peer::Emboss, 1.5}}};
    if (name == "rough-sketch")
        return {{{Peer::Emboss, 3}}};
    if (name == "laplacian-strong")
        return {{{Peer::LaplacianStrong, 1.5}}};
    if (name == "laplacian-weak")
        return {{{Peer::LaplacianWeak, 1.5}}};
    if (name == "moving-average")
        return {{{Peer::MovingAverage, 1.5}}};
    return {{{Peer::Copy, 6}}};
}

double Seconds(const std::function<void()>& work)
{
    std::vector<double> times;
    work();
    for (int i = 0; i < 7; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

const std::map<Peer, double>& PeerSeconds()
{
    static const std::map<Peer, double> seconds = [] {
        std::map<Peer, double> result;
        const std::vector<uint8_t> file = MakePictureFile();
        std::vector<uint8_t> copy(file.size());
        result[Peer::Copy] = Seconds([&] { std::memcpy(copy.data(), file.data(), file.size()); });
#ifdef KORVANTI_WITH_PEER
        cv::setNumThreads(1);
        const cv::Mat picture(kHeight, kWidth, CV_8UC3, const_cast<uint8_t*>(file.data()) + 54);
        cv::Mat out;
        result[Peer::Median] = Seconds([&] { cv::medianBlur(picture, out, 3); });
        auto filter = [&](std::initializer_list<float> weights) {
            const cv::Mat kernel = cv::Mat(std::vector<float>(weights), true).reshape(1, 3);
            return Seconds([&] { cv::filter2D(picture, out, -1, kernel); });
        };
        result[Peer::Sharpen] = filter({0, -1, 0, -1, 5, -1, 0, -1, 0});
        result[Peer::LaplacianStrong] = filter({0, -1, 0, -1, 4, -1, 0, -1, 0});
        result[Peer::Blur] = filter({0.08f, 0.12f, 0.08f, 0.12f, 0.2f, 0.12f, 0.08f, 0.12f, 0.08f});
        result[Peer::Emboss] = filter({1, 0, 0, 0, 0, 0, 0, 0, -1});
        result[Peer::LaplacianWeak] = filter({-1, -1, -1, -1, 8, -1, -1, -1, -1});
        result[Peer::MovingAverage] = filter({0.09f, 0.09f, 0.09f, 0.09f, 0.19f, 0.09f, 0.09f, 0.09f, 0.09f});
#endif
        return result;
    }();
    return seconds;
}

// Counts the message pumps of a run, taken as the window takes them.
class PumpCountingHost : public korvanti::EffectHost {
public:
    void ProcessMessages() override { ++pumps; }
    std::chrono::microseconds PumpInterval() const override { return korvanti::kInteractivePumpInterval; }
    int64_t pumps = 0;
};

void RunOneEffect(benchmark::State& state, const korvanti::EffectEntry* effect)
{
    korvanti::Document& document = Picture();
    const double file_size = double(document.file_bytes.size());
    PumpCountingHost host;
    korvanti::CRand random;
    korvanti::EffectContext context(document, host, random);
    // A first run outside the timing: later runs find their planes in place.
    korvanti::RunEffect(context, *effect);
    double seconds = 0;
    host.pumps = 0;
    int64_t allocated = 0;
    int64_t peak_over_start = 0;
    for (auto _ : state) {
        state.PauseTiming();
        document.Undo(); // every run starts from the same picture
        const int64_t allocated_before = allocated_bytes.load();
        peak_bytes = live_bytes.load();
        const int64_t live_before = live_bytes.load();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        if (!korvanti::RunEffect(context, *effect))
            state.SkipWithError("the effect refused to run");
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(document.file_bytes.data());
        benchmark::ClobberMemory();
        allocated = std::max(allocated, allocated_bytes.load() - allocated_before);
        peak_over_start = std::max(peak_over_start, peak_bytes.load() - live_before);
    }
    document.Undo();
    const double per_run = seconds / double(state.iterations());
    state.counters["MP/s"] = benchmark::Counter(kMegapixels / per_run);
    state.counters["ms"] = per_run * 1e3;
    state.counters["pumps"] = double(host.pumps) / double(state.iterations());
    state.counters["alloc_MB"] = double(allocated) / 1e6;
    // The document's own buffers (file, undo copy, six planes) plus what a
    // run adds on top, against the picture's file size.
    const double held = double(document.file_bytes.size() + document.undo_bytes.size()) +
                        6.0 * double(document.source_planes[0].size());
    state.counters["peak_x_file"] = (held + double(peak_over_start)) / file_size;
    double budget = 0;
    bool measured = true;
    for (const auto& [peer, factor] : BudgetFor(effect->batch_name).parts) {
        const auto found = PeerSeconds().find(peer);
        measured = measured && found != PeerSeconds().end();
        if (found != PeerSeconds().end())
            budget += factor * found->second;
    }
    if (measured) {
        state.counters["budget_ms"] = budget * 1e3;
        state.counters["of_budget"] = per_run / budget; // at most 1 meets the target
    }
}

void ReportPeers()
{
    static const char* names[] = {"medianBlur 3x3", "filter2D sharpen", "filter2D blur", "filter2D emboss",
                                  "filter2D laplacian 4", "filter2D laplacian 8", "filter2D moving average",
                                  "memcpy of the picture"};
    std::printf("Peer times on the same %d x %d picture, one thread:\n", kWidth, kHeight);
    for (const auto& [peer, seconds] : PeerSeconds())
        std::printf("  %-24s %8.2f ms\n", names[int(peer)], seconds * 1e3);
    std::fflush(stdout);
}

} // namespace

void* operator new(size_t size)
{
    if (void* p = std::malloc(size ? size : 1)) {
        Counted(malloc_usable_size(p));
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    if (p)
        live_bytes -= int64_t(malloc_usable_size(p));
    std::free(p);
}

void operator delete(void* p, size_t) noexcept { operator delete(p); }

int main(int argc, char** argv)
{
    for (const korvanti::EffectEntry& effect : korvanti::EffectCatalogue()) {
        benchmark::RegisterBenchmark(std::string(effect.batch_name).c_str(), RunOneEffect, &effect)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    ReportPeers();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
