// A long job on a worker thread of its own: prepared on the caller's thread
// (folder listing, progress shown), then run once on the worker. One job at a
// time per runner; the front ends refuse a second one while the first runs.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace quorvane {

class WorkerJob {
public:
    virtual ~WorkerJob() = default;
    // Runs on the starting thread; false: the job is dropped without running.
    virtual bool prepare() { return true; }
    // The body, on the worker thread.
    virtual void execute() = 0;
};

inline constexpr const char* kAnotherJobRunning = "Another job is still running.";

class JobRunner {
public:
    ~JobRunner() { wait(); }

    // False when a job is still running (the new one is not started) or when
    // its preparation failed.
    bool start(std::unique_ptr<WorkerJob> job);
    // Blocks until the running job (if any) has ended.
    void wait();
    bool busy() const { return running_.load(); }

private:
    std::mutex mutex_;
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace quorvane
