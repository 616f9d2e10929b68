// A long job on a worker thread of its own: prepared on the caller's thread
// (folder listing, progress shown), then run once on the worker. One job at a
// time per runner; the front ends refuse a second one while the first runs.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace quorvane {

// What a finished job changed of what the front ends show, so their windows
// can show the catalogue as the job left it.
struct JobResult {
    enum class Refresh {
        Nothing,
        SystemGames,      // the games of `system`, the system a scan or fix worked on last
        Games,            // the games shown: statuses of any system may have changed
        SystemsAndGames,  // the list of systems, and the games shown
    };
    Refresh refresh = Refresh::Nothing;
    std::string system;
};

class WorkerJob {
public:
    virtual ~WorkerJob() = default;
    // Runs on the starting thread; false: the job is dropped without running.
    virtual bool prepare() { return true; }
    // The body, on the worker thread.
    virtual JobResult execute() = 0;
};

inline constexpr const char* kAnotherJobRunning = "Another job is still running.";

class JobRunner {
public:
    using FinishedHandler = std::function<void(const JobResult&)>;

    // `finished` hears of every job that ran: it is called on the job's
    // thread once the body has ended, before the runner takes another job.
    explicit JobRunner(FinishedHandler finished = {}) : finished_(std::move(finished)) {}
    ~JobRunner() { wait(); }

    // False when a job is still running (the new one is not started) or when
    // its preparation failed.
    bool start(std::unique_ptr<WorkerJob> job);
    // Blocks until the running job (if any) has ended.
    void wait();
    bool busy() const { return running_.load(); }

private:
    const FinishedHandler finished_;
    std::mutex mutex_;
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace quorvane
