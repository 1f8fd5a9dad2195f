// Running every input through its effects: the workers, the console
// lines and progress bar they share, and stopping on a signal.
#include "batch/run.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <functional>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "batch/process.h"
#include "engine/worker_threads.h"

namespace korvanti::batch {
namespace {

constexpr std::string_view kProgram = "korvanti-batch";

// stderr shared by the workers: whole lines only, and a progress bar on
// the last line that a message first wipes.
class Console {
public:
    Console(std::ostream& err, bool bar) : err_(err), bar_(bar) {}

    void WriteLine(const std::string& line)
    {
        std::lock_guard lock(mutex_);
        EraseBar();
        err_ << line << '\n';
        err_.flush();
    }

    // Redraws at most ten times a second unless forced; a worker that finds
    // the console busy does not wait for it.
    void DrawBar(double fraction, size_t done, size_t total, bool force)
    {
        if (!bar_)
            return;
        const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
        if (!force && now < next_draw_ms_.load(std::memory_order_relaxed))
            return;
        std::unique_lock lock(mutex_, std::defer_lock);
        if (force)
            lock.lock();
        else if (!lock.try_lock())
            return;
        next_draw_ms_.store(now + 100, std::memory_order_relaxed);
        fraction = std::clamp(fraction, shown_, 1.0);
        shown_ = fraction;
        constexpr int kCells = 30;
        const int filled = static_cast<int>(fraction * kCells);
        std::string line = "\r[";
        line.append(static_cast<size_t>(filled), '#');
        line.append(static_cast<size_t>(kCells - filled), '.');
        line += "] " + std::to_string(static_cast<int>(fraction * 100)) + "%  " + std::to_string(done) + "/" +
                std::to_string(total) + (total == 1 ? " file" : " files");
        err_ << line;
        err_.flush();
        drawn_ = true;
    }

    void Finish()
    {
        std::lock_guard lock(mutex_);
        EraseBar();
    }

private:
    void EraseBar()
    {
        if (drawn_) {
            err_ << "\r\033[K";
            drawn_ = false;
        }
    }

    std::ostream& err_;
    const bool bar_;
    std::mutex mutex_;
    std::atomic<int64_t> next_draw_ms_{0};
    bool drawn_ = false;
    double shown_ = 0;
};

// How far the whole batch is: finished files plus the share of the files
// in hand, each worker publishing its own position.
class Tracker {
public:
    Tracker(Console& console, size_t files, size_t workers, size_t effects)
        : console_(console), files_(files), effects_(effects), slots_(workers)
    {
    }

    struct Slot {
        std::atomic<bool> active{false};
        std::atomic<size_t> effect{0};
        std::atomic<int64_t> maximum{1};
        std::atomic<int64_t> position{0};
    };

    Slot& slot(size_t worker) { return slots_[worker]; }

    void FileDone() { done_.fetch_add(1, std::memory_order_relaxed); }

    void Show(bool force)
    {
        double share = 0;
        for (const Slot& slot : slots_) {
            if (!slot.active.load(std::memory_order_relaxed))
                continue;
            const auto maximum = std::max<int64_t>(1, slot.maximum.load(std::memory_order_relaxed));
            const double within = std::min(1.0, double(slot.position.load(std::memory_order_relaxed)) / double(maximum));
            share += (double(slot.effect.load(std::memory_order_relaxed)) + within) / double(effects_);
        }
        const size_t done = done_.load(std::memory_order_relaxed);
        console_.DrawBar((double(done) + share) / double(files_), done, files_, force);
    }

private:
    Console& console_;
    const size_t files_;
    const size_t effects_;
    std::vector<Slot> slots_;
    std::atomic<size_t> done_{0};
};

// -d's folder, made when the first result is about to be saved, so that a
// run in which every file fails leaves nothing behind.
class OutputFolder {
public:
    explicit OutputFolder(std::string path) : path_(std::move(path)) {}

    // Written when the folder is there (or none was asked for); else the
    // failure that every file waiting to be saved gets.
    FileResult Make()
    {
        std::lock_guard lock(mutex_);
        if (path_.empty() || made_)
            return problem_;
        made_ = true;
        std::error_code error;
        std::filesystem::create_directories(path_, error);
        if (!error && std::filesystem::is_directory(path_, error))
            return problem_;
        problem_.outcome = Outcome::CannotWrite;
        problem_.file = path_;
        problem_.reason = "cannot create the output folder (" + (error ? error.message() : "it is not a folder") + ")";
        return problem_;
    }

private:
    const std::string path_;
    std::mutex mutex_;
    bool made_ = false;
    FileResult problem_;
};

// The memory the files in hand may take together: a file waits to be read
// until what it needs is free. A file that needs more than the whole budget
// still runs, alone.
class MemoryBudget {
public:
    MemoryBudget(int64_t total, const std::atomic<bool>* stop) : free_(total), total_(total), stop_(stop) {}

    // false when a stop request came while waiting.
    bool Take(int64_t bytes)
    {
        std::unique_lock lock(mutex_);
        while (!(bytes <= free_ || free_ == total_)) {
            if (stop_ != nullptr && stop_->load(std::memory_order_relaxed))
                return false;
            freed_.wait_for(lock, std::chrono::milliseconds(100));
        }
        free_ -= bytes;
        return true;
    }
    void Give(int64_t bytes)
    {
        std::lock_guard lock(mutex_);
        free_ += bytes;
        freed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    int64_t free_;
    const int64_t total_;
    const std::atomic<bool>* stop_;
};

// --memory, else what the system says is available without swapping.
int64_t MemoryForRun(const Options& options)
{
    if (options.memory_mb != 0)
        return static_cast<int64_t>(options.memory_mb) << 20;
    std::ifstream meminfo("/proc/meminfo");
    for (std::string line; std::getline(meminfo, line);) {
        long long kib = 0;
        if (std::sscanf(line.c_str(), "MemAvailable: %lld kB", &kib) == 1)
            return static_cast<int64_t>(kib) << 10;
    }
    return INT64_MAX;
}

class WorkerProgress : public FileProgress {
public:
    WorkerProgress(Tracker& tracker, Tracker::Slot& slot, OutputFolder& folder, MemoryBudget& memory)
        : tracker_(tracker), slot_(slot), folder_(folder), memory_(memory)
    {
    }

    bool Admit(int64_t bytes) override
    {
        if (!memory_.Take(bytes))
            return false;
        taken_ += bytes;
        return true;
    }
    // After each file: what it took is free again.
    void FileDone()
    {
        memory_.Give(taken_);
        taken_ = 0;
    }

    void StartEffect(size_t index) override
    {
        slot_.effect.store(index, std::memory_order_relaxed);
        slot_.position.store(0, std::memory_order_relaxed);
        slot_.active.store(true, std::memory_order_relaxed);
    }
    void SetProgressMax(int64_t maximum) override { slot_.maximum.store(maximum, std::memory_order_relaxed); }
    void SetProgress(int64_t position) override
    {
        // The engine puts the bar back to 0 when a run ends; the next run's
        // StartEffect moves the slot on.
        if (position == 0)
            return;
        slot_.position.store(position, std::memory_order_relaxed);
        tracker_.Show(false);
    }
    FileResult BeforeSave() override { return folder_.Make(); }

private:
    Tracker& tracker_;
    Tracker::Slot& slot_;
    OutputFolder& folder_;
    MemoryBudget& memory_;
    int64_t taken_ = 0;
};

// Failures are printed in input order as soon as every earlier file is
// settled, so the messages are the same whatever -j is.
class OrderedReport {
public:
    OrderedReport(Console& console, size_t files) : console_(console), results_(files) {}

    void Settle(size_t index, FileResult result)
    {
        std::lock_guard lock(mutex_);
        results_[index] = std::move(result);
        while (next_ < results_.size() && results_[next_].has_value()) {
            const FileResult& settled = *results_[next_];
            if (settled.outcome == Outcome::Interrupted)
                ++interrupted_;
            else if (settled.outcome != Outcome::Written) {
                ++failed_;
                // A folder that cannot be made is told once, not for every file.
                std::string line = std::string(kProgram) + ": " + QuoteName(settled.file) + ": " + settled.reason;
                if (told_.insert(line).second)
                    console_.WriteLine(line);
            } else if (!settled.note.empty()) {
                console_.WriteLine(std::string(kProgram) + ": " + settled.note);
            }
            ++next_;
        }
    }

    size_t failed() const { return failed_; }
    size_t interrupted() const { return interrupted_; }

private:
    Console& console_;
    std::mutex mutex_;
    std::vector<std::optional<FileResult>> results_;
    std::set<std::string> told_;
    size_t next_ = 0;
    size_t failed_ = 0;
    size_t interrupted_ = 0;
};

// Runs work(worker) on each of workers threads, or on this one alone.
void OnWorkers(size_t workers, const std::function<void(size_t)>& work)
{
    if (workers <= 1) {
        work(0);
    } else {
        std::vector<std::jthread> threads;
        threads.reserve(workers);
        try {
            for (size_t worker = 0; worker < workers; ++worker)
                threads.emplace_back(work, worker);
        } catch (const std::system_error&) {
            // Fewer threads than asked for still finish every file.
            if (threads.empty())
                work(0);
        }
    }
}

// The exit status, with its closing line.
int Conclude(const OrderedReport& report, size_t files, Console& console)
{
    if (report.interrupted() > 0) {
        console.WriteLine(std::string(kProgram) + ": interrupted; " + std::to_string(report.interrupted()) + " of " +
                          std::to_string(files) + (files == 1 ? " file" : " files") + " not written");
        return kExitInterrupted;
    }
    if (report.failed() > 0) {
        if (files > 1)
            console.WriteLine(std::string(kProgram) + ": " + std::to_string(report.failed()) + " of " +
                              std::to_string(files) + " files failed");
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace

int RunBatch(const Options& options, std::ostream& err, bool show_bar, const std::atomic<bool>* stop)
{
    if (options.threads != 0)
        SetWorkerThreads(static_cast<int>(options.threads));
    Console console(err, show_bar && !options.quiet);
    OutputFolder folder(options.directory);
    MemoryBudget memory(MemoryForRun(options), stop);

    const std::vector<std::string> outputs = OutputPaths(options);
    const size_t files = options.inputs.size();
    unsigned jobs = options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    const size_t workers = std::min<size_t>(jobs, files);

    Tracker tracker(console, files, workers, options.effects.size());
    OrderedReport report(console, files);
    std::atomic<size_t> next_file{0};
    const OutputSettings settings{options.format, options.quality, options.quiet, options.strip};

    tracker.Show(true);
    OnWorkers(workers, [&](size_t worker) {
        Tracker::Slot& slot = tracker.slot(worker);
        WorkerProgress progress(tracker, slot, folder, memory);
        for (size_t i = next_file.fetch_add(1); i < files; i = next_file.fetch_add(1)) {
            FileResult result = ProcessFile(options.inputs[i], outputs[i], options.effects, progress, stop, settings);
            progress.FileDone();
            tracker.FileDone();
            slot.active.store(false, std::memory_order_relaxed);
            report.Settle(i, std::move(result));
            tracker.Show(true);
        }
    });
    console.Finish();
    return Conclude(report, files, console);
}

} // namespace korvanti::batch
