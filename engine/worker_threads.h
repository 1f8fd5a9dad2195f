// The worker threads effects split their rows over: how many there are
// (one per core, or KORVANTI_THREADS, or what the program sets) and a
// parallel loop over a range of indices.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

namespace korvanti {

// The most threads an effect uses; larger counts are cut to it.
inline constexpr int kMaxWorkerThreads = 256;

// How many threads an effect uses, the calling thread included. count 1
// keeps every effect on the calling thread, on the same path as a build
// without workers; 0 or less goes back to the default: KORVANTI_THREADS
// when it is a positive number, else one per core. Call it between runs,
// never while an effect runs.
void SetWorkerThreads(int count);
int WorkerThreads();

// Plane elements a worker takes at a time: enough that handing a piece over
// costs next to nothing against the work in it. Tests make it small so that
// small pictures are cut into as many pieces and blocks as large ones; 0 or
// less restores the default. Call it between runs.
inline constexpr int64_t kDefaultPieceElements = int64_t{1} << 16;
void SetPieceElements(int64_t count);
int64_t PieceElements();

// A reference to a callable of the shape void(int64_t begin, int64_t end),
// cheap to pass across the library boundary.
class RangeBody {
public:
    template <class Body, class = std::enable_if_t<!std::is_same_v<std::decay_t<Body>, RangeBody>>>
    RangeBody(Body& body) // NOLINT: implicit, like a function reference
        : object_(&body), call_([](void* object, int64_t begin, int64_t end) { (*static_cast<Body*>(object))(begin, end); })
    {
    }
    void operator()(int64_t begin, int64_t end) const { call_(object_, begin, end); }

private:
    void* object_;
    void (*call_)(void*, int64_t, int64_t);
};

// Calls body(b, e) over pieces [b, e) that together cover [begin, end)
// exactly once, each at most grain long, on the worker threads, and
// returns when all are done. With one thread, body(begin, end) runs once
// on the calling thread. An exception from a piece reaches the caller.
void ParallelFor(int64_t begin, int64_t end, int64_t grain, RangeBody body);

// The same for a body of the shape void(int64_t index).
template <class Body>
void ParallelForEach(int64_t begin, int64_t end, int64_t grain, Body&& body)
{
    auto pieces = [&body](int64_t b, int64_t e) {
        for (int64_t i = b; i < e; ++i)
            body(i);
    };
    ParallelFor(begin, end, grain, pieces);
}

} // namespace korvanti
