// A few worker threads that run tasks in the order given, for work whose
// results the caller takes back itself (each task hands its own on).
//
// How to use:
//   TaskPool pool(2);
//   pool.run([...] { ... });
//   // the destructor waits for every task given
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvane {

class TaskPool {
public:
    explicit TaskPool(unsigned threads);
    ~TaskPool();
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    void run(std::function<void()> task);

private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace quorvane
