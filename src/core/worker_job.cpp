#include "core/worker_job.h"

namespace quorvane {

bool JobRunner::start(std::unique_ptr<WorkerJob> job) {
    std::lock_guard lock(mutex_);
    if (running_.load()) return false;
    if (thread_.joinable()) thread_.join();
    if (!job->prepare()) return false;
    running_ = true;
    thread_ = std::thread([this, owned = std::move(job)]() mutable {
        const JobResult result = owned->execute();
        if (finished_) finished_(result);
        owned.reset();
        running_ = false;
    });
    return true;
}

void JobRunner::wait() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable()) thread_.join();
}

}  // namespace quorvane
