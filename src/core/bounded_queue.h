// A queue between one producing and one consuming thread that holds at most
// `capacity` items, so a fast producer waits instead of filling memory.
// close() ends it from either side: push() then refuses, pop() drains what
// is left and then returns false.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace quorvane {

template <typename T>
class BoundedQueue {
public:
    explicit BoundedQueue(size_t capacity) : capacity_(capacity ? capacity : 1) {}

    // False when the queue was closed (the item is dropped).
    bool push(T item) {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
        if (closed_) return false;
        items_.push_back(std::move(item));
        ready_.notify_one();
        return true;
    }

    // False once the queue is closed and empty.
    bool pop(T& out) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return closed_ || !items_.empty(); });
        if (items_.empty()) return false;
        out = std::move(items_.front());
        items_.pop_front();
        room_.notify_one();
        return true;
    }

    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        ready_.notify_all();
        room_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_, room_;
    std::deque<T> items_;
    size_t capacity_;
    bool closed_ = false;
};

}  // namespace quorvane
