// Disk steps of one job, run on a few threads where they cannot meet: a
// step starts only once no earlier unfinished step shares one of its keys
// (the paths it reads or writes, or anything else whose state it changes),
// so two steps on one archive keep their order while steps on unrelated
// archives overlap, their syncs included. Each step's ending runs on the
// job's thread, in the order the steps were given.
//
// How to use:
//   DiskStepQueue steps(3, fileOps());
//   steps.add({archive, target}, [&] { status = copy(...); }, [&] { report(status); });
//   steps.waitFor(archive);  // before the job's own thread touches it
//   steps.finishAll();
// With no threads, each step and its ending run at once, on the caller's thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace quorvane {

class FileOps;

class DiskStepQueue {
public:
    // `ops`: the file layer the steps use on every thread (the job's, as
    // fileOps() gives it on the job's thread).
    DiskStepQueue(unsigned threads, FileOps& ops);
    // Finishes every step; endings not yet run are dropped.
    ~DiskStepQueue();
    DiskStepQueue(const DiskStepQueue&) = delete;
    DiskStepQueue& operator=(const DiskStepQueue&) = delete;

    void add(std::vector<std::string> keys, std::function<void()> work, std::function<void()> ending = {});
    // Runs the endings of every step given so far that shares `key`, and of
    // all steps before it, waiting for them as needed; false when no step
    // sharing it was waiting to end.
    bool waitFor(const std::string& key);
    // False when no step given so far, ended or not, had `key`: nothing this
    // queue ran can have changed what it names. True may be said of a key
    // never given (keys are kept as hashes), never the other way.
    bool mayHaveTouched(const std::string& key) const;
    // Runs the endings of the steps already finished, in order, waiting for none.
    void endFinished();
    // Waits for every step and runs every ending.
    void finishAll();

private:
    struct Step {
        std::uint64_t number = 0;
        std::vector<std::string> keys;
        std::function<void()> work, ending;
        bool started = false, finished = false;
        std::exception_ptr failure;
    };

    void workLoop();
    // Hands steps free to run to the threads, returning how many; called
    // with the lock held.
    size_t startFreeSteps();
    bool sharesKeyWithEarlier(const Step& step) const;
    // Ends the steps up to and including `number`, waiting for each.
    void endThrough(std::uint64_t number, bool wait);

    FileOps& ops_;
    std::mutex mutex_;
    std::condition_variable work_;   // a step is ready, or the threads are to stop
    std::condition_variable ended_;  // a step has finished
    // Every step given and not yet ended, in order. Changed on the caller's
    // thread only, under the lock; the threads read it under the lock.
    std::deque<std::shared_ptr<Step>> steps_;
    std::deque<std::shared_ptr<Step>> ready_;
    std::unordered_set<size_t> givenKeys_;  // hashes; the caller's thread only
    std::uint64_t nextNumber_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace quorvane
