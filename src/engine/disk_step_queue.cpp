#include "engine/disk_step_queue.h"

#include <algorithm>

#include "archive/file_ops.h"

namespace quorvane {

namespace {

// Steps given and not yet ended, beyond which add() waits: the job's plan
// runs no further ahead of its disk than this.
constexpr size_t kMostWaiting = 64;

}  // namespace

DiskStepQueue::DiskStepQueue(unsigned threads, FileOps& ops) : ops_(ops) {
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { workLoop(); });
}

DiskStepQueue::~DiskStepQueue() {
    {
        std::unique_lock lock(mutex_);
        ended_.wait(lock, [this] {
            return std::all_of(steps_.begin(), steps_.end(), [](const auto& s) { return s->finished; });
        });
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void DiskStepQueue::add(std::vector<std::string> keys, std::function<void()> work, std::function<void()> ending) {
    for (const std::string& key : keys) givenKeys_.insert(std::hash<std::string>{}(key));
    if (threads_.empty()) {
        work();
        if (ending) ending();
        return;
    }
    if (steps_.size() >= kMostWaiting) endThrough(steps_.front()->number, true);
    auto step = std::make_shared<Step>();
    step->keys = std::move(keys);
    step->work = std::move(work);
    step->ending = std::move(ending);
    bool ready = false;
    {
        std::lock_guard lock(mutex_);
        step->number = nextNumber_++;
        steps_.push_back(step);
        if (!sharesKeyWithEarlier(*step)) {
            step->started = true;
            ready_.push_back(step);
            ready = true;
        }
    }
    // One thread for one step: waking them all costs each a system call.
    if (ready) work_.notify_one();
}

bool DiskStepQueue::sharesKeyWithEarlier(const Step& step) const {
    for (const auto& earlier : steps_) {
        if (earlier->number >= step.number) break;
        if (earlier->finished) continue;
        for (const std::string& key : step.keys)
            if (std::find(earlier->keys.begin(), earlier->keys.end(), key) != earlier->keys.end()) return true;
    }
    return false;
}

size_t DiskStepQueue::startFreeSteps() {
    size_t started = 0;
    for (const auto& step : steps_) {
        if (step->started || sharesKeyWithEarlier(*step)) continue;
        step->started = true;
        ready_.push_back(step);
        ++started;
    }
    return started;
}

void DiskStepQueue::workLoop() {
    ScopedThreadFileOps scope(ops_);
    for (;;) {
        std::shared_ptr<Step> step;
        {
            std::unique_lock lock(mutex_);
            work_.wait(lock, [this] { return stopping_ || !ready_.empty(); });
            if (ready_.empty()) return;
            step = std::move(ready_.front());
            ready_.pop_front();
        }
        try {
            step->work();
        } catch (...) {
            step->failure = std::current_exception();
        }
        size_t freed = 0;
        {
            std::lock_guard lock(mutex_);
            step->finished = true;
            freed = startFreeSteps();
        }
        ended_.notify_all();
        // This thread takes one of the steps it freed itself.
        for (size_t i = 1; i < freed; ++i) work_.notify_one();
    }
}

void DiskStepQueue::endThrough(std::uint64_t number, bool wait) {
    for (;;) {
        std::shared_ptr<Step> step;
        {
            std::unique_lock lock(mutex_);
            if (steps_.empty() || steps_.front()->number > number) return;
            if (!steps_.front()->finished) {
                if (!wait) return;
                ended_.wait(lock, [this] { return steps_.front()->finished; });
            }
            step = std::move(steps_.front());
            steps_.pop_front();
        }
        if (step->failure) std::rethrow_exception(step->failure);
        if (step->ending) step->ending();
    }
}

bool DiskStepQueue::waitFor(const std::string& key) {
    std::uint64_t last = 0;
    bool found = false;
    {
        std::lock_guard lock(mutex_);
        for (const auto& step : steps_) {
            if (std::find(step->keys.begin(), step->keys.end(), key) == step->keys.end()) continue;
            last = step->number;
            found = true;
        }
    }
    if (found) endThrough(last, true);
    return found;
}

bool DiskStepQueue::mayHaveTouched(const std::string& key) const {
    return givenKeys_.count(std::hash<std::string>{}(key)) != 0;
}

void DiskStepQueue::endFinished() { endThrough(UINT64_MAX, false); }

void DiskStepQueue::finishAll() { endThrough(UINT64_MAX, true); }

}  // namespace quorvane
