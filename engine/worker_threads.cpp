// The worker threads: a oneTBB task arena sized to the thread count, made
// on first use. oneTBB rather than a pool of our own: its workers wait for
// work without a lock of ours, the calling thread takes part in the loop,
// pieces are handed out by work stealing and exceptions come back to the
// caller; a hand-made queue would have to get all of that right again.
#include "engine/worker_threads.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>

namespace korvanti {
namespace {

int DefaultThreads()
{
    if (const char* text = std::getenv("KORVANTI_THREADS")) {
        char* end = nullptr;
        const long count = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && count > 0)
            return static_cast<int>(std::min<long>(count, kMaxWorkerThreads));
    }
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

struct Workers {
    std::mutex mutex;
    int threads = DefaultThreads();
    std::unique_ptr<tbb::task_arena> arena; // made when first needed
    // oneTBB allows one thread per core unless told otherwise, and warns on
    // standard error when an arena asks for more.
    std::unique_ptr<tbb::global_control> allowed;
};

Workers& TheWorkers()
{
    static Workers workers;
    return workers;
}

tbb::task_arena& Arena(Workers& workers)
{
    const std::lock_guard lock(workers.mutex);
    if (!workers.arena) {
        workers.allowed.reset();
        workers.allowed = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism,
                                                                static_cast<size_t>(workers.threads));
        workers.arena = std::make_unique<tbb::task_arena>(workers.threads);
    }
    return *workers.arena;
}

#if defined(__SANITIZE_THREAD__)
// The pieces handed out in order from a shared counter to count threads,
// the calling one among them; the first exception is passed on.
void ParallelForOnPlainThreads(int64_t begin, int64_t end, int64_t grain, int count, const RangeBody& body)
{
    std::atomic<int64_t> next{begin};
    std::exception_ptr failure;
    std::mutex failure_mutex;
    const auto work = [&] {
        for (int64_t b = next.fetch_add(grain); b < end; b = next.fetch_add(grain)) {
            try {
                body(b, std::min(end, b + grain));
            } catch (...) {
                const std::lock_guard lock(failure_mutex);
                if (!failure)
                    failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> threads;
    for (int i = 1; i < count; ++i)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
}
#endif

} // namespace

std::atomic<int64_t> piece_elements{kDefaultPieceElements};

void SetPieceElements(int64_t count) { piece_elements = count > 0 ? count : kDefaultPieceElements; }

int64_t PieceElements() { return piece_elements; }

void SetWorkerThreads(int count)
{
    Workers& workers = TheWorkers();
    const std::lock_guard lock(workers.mutex);
    const int threads = count > 0 ? std::min(count, kMaxWorkerThreads) : DefaultThreads();
    if (threads != workers.threads)
        workers.arena.reset();
    workers.threads = threads;
}

int WorkerThreads()
{
    Workers& workers = TheWorkers();
    const std::lock_guard lock(workers.mutex);
    return workers.threads;
}

void ParallelFor(int64_t begin, int64_t end, int64_t grain, RangeBody body)
{
    if (begin >= end)
        return;
    Workers& workers = TheWorkers();
    if (WorkerThreads() == 1 || end - begin <= grain) {
        body(begin, end);
        return;
    }
#if defined(__SANITIZE_THREAD__)
    // Under ThreadSanitizer, plain threads it can follow: Debian's oneTBB
    // is not built for it, and its hand-overs would show as races.
    ParallelForOnPlainThreads(begin, end, std::max<int64_t>(grain, 1), WorkerThreads(), body);
    return;
#endif
    Arena(workers).execute([&] {
        tbb::parallel_for(
            tbb::blocked_range<int64_t>(begin, end, static_cast<size_t>(std::max<int64_t>(grain, 1))),
            [&](const tbb::blocked_range<int64_t>& piece) { body(piece.begin(), piece.end()); },
            tbb::simple_partitioner());
    });
}

} // namespace korvanti
