// Disk steps sharing a key run one after another in the order given; steps
// with none in common overlap; endings run on the caller's thread, in order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "archive/file_ops.h"
#include "engine/disk_step_queue.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

// Lets a step wait, for a while, until another has started.
class Signals {
public:
    void raise(int n) {
        std::lock_guard lock(mutex_);
        raised_ |= 1u << n;
        changed_.notify_all();
    }
    bool waitFor(int n) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return (raised_ & (1u << n)) != 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned raised_ = 0;
};

TEST(DiskStepQueue, StepsWithNoKeyInCommonOverlapAndEndInTheOrderGiven) {
    Signals signals;
    std::vector<int> ended;
    bool metEachOther[2] = {false, false};
    const std::thread::id caller = std::this_thread::get_id();
    bool endedOnCaller = true;
    {
        DiskStepQueue steps(2, fileOps());
        // Each waits until the other has started: done one after another, neither would see it.
        for (int i = 0; i < 2; ++i)
            steps.add({"archive " + std::to_string(i)},
                      [&, i] {
                          signals.raise(i);
                          metEachOther[i] = signals.waitFor(1 - i);
                      },
                      [&, i] {
                          endedOnCaller = endedOnCaller && std::this_thread::get_id() == caller;
                          ended.push_back(i);
                      });
        steps.finishAll();
    }
    EXPECT_TRUE(metEachOther[0]);
    EXPECT_TRUE(metEachOther[1]);
    EXPECT_EQ(ended, (std::vector<int>{0, 1}));
    EXPECT_TRUE(endedOnCaller);
}

TEST(DiskStepQueue, AStepWaitsForEveryEarlierStepSharingAKeyAndWaitForEndsThem) {
    std::mutex mutex;
    std::vector<std::string> order;
    auto note = [&](const std::string& what) {
        std::lock_guard lock(mutex);
        order.push_back(what);
    };
    Signals signals;
    DiskStepQueue steps(3, fileOps());
    // The first is slow; the second shares its source, the third its target.
    steps.add({"A.zip", "B.zip"}, [&] {
        signals.waitFor(0);
        note("copy A to B");
    });
    steps.add({"A.zip"}, [&] { note("back up A"); });
    steps.add({"C.zip", "B.zip"}, [&] { note("copy C to B"); });
    std::atomic<bool> independentDone{false};
    steps.add({"D.zip"}, [&] { independentDone = true; }, [&] { note("D ended"); });
    for (int i = 0; i < 1000 && !independentDone; ++i) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(independentDone) << "an unrelated step waited for a slow one";
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(order.empty());
    }
    signals.raise(0);
    // Ends every step up to the last touching C.zip, not the one after it.
    EXPECT_TRUE(steps.waitFor("C.zip"));
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(order.size(), 3u);
        EXPECT_EQ(order[0], "copy A to B");
        // The two that waited for the first may run in either order.
        EXPECT_TRUE((order[1] == "back up A" && order[2] == "copy C to B") ||
                    (order[1] == "copy C to B" && order[2] == "back up A"));
    }
    steps.finishAll();
    EXPECT_EQ(order.back(), "D ended");
    EXPECT_FALSE(steps.waitFor("C.zip"));
}

TEST(DiskStepQueue, WithoutThreadsEachStepAndItsEndingRunAtOnce) {
    std::vector<std::string> order;
    DiskStepQueue steps(0, fileOps());
    steps.add({"A.zip"}, [&] { order.push_back("work"); }, [&] { order.push_back("ending"); });
    order.push_back("after add");
    EXPECT_EQ(order, (std::vector<std::string>{"work", "ending", "after add"}));
}

// The fix trusts an archive no step touched to be as it was tested.
TEST(DiskStepQueue, EveryKeyEverGivenIsKnownAfterItsStepEnded) {
    for (unsigned threads : {0u, 2u}) {
        SCOPED_TRACE(threads);
        DiskStepQueue steps(threads, fileOps());
        EXPECT_FALSE(steps.mayHaveTouched("/c/A.zip"));
        steps.add({"/c/A.zip", "/c/B.zip"}, [] {});
        steps.add({"rom\nSys\nGame\nx.bin"}, [] {});
        steps.finishAll();
        EXPECT_TRUE(steps.mayHaveTouched("/c/A.zip"));
        EXPECT_TRUE(steps.mayHaveTouched("/c/B.zip"));
        EXPECT_TRUE(steps.mayHaveTouched("rom\nSys\nGame\nx.bin"));
        EXPECT_FALSE(steps.mayHaveTouched("/c/C.zip"));
        EXPECT_FALSE(steps.mayHaveTouched("/c/a.zip"));
    }
}

TEST(DiskStepQueue, AStepThatThrowsThrowsOnTheCallersThreadAtItsEnding) {
    DiskStepQueue steps(2, fileOps());
    bool laterEnded = false;
    steps.add({"A.zip"}, [] { throw std::runtime_error("disk gone"); });
    steps.add({"B.zip"}, [] {}, [&] { laterEnded = true; });
    EXPECT_THROW(steps.finishAll(), std::runtime_error);
    EXPECT_FALSE(laterEnded);
    steps.finishAll();
    EXPECT_TRUE(laterEnded);
}

// The steps use the file layer the job had when it made the queue, on every thread.
TEST(DiskStepQueue, StepsSeeTheCallersFileLayer) {
    struct Marked : FileOps {};
    Marked marked;
    ScopedThreadFileOps scope(marked);
    std::atomic<FileOps*> seen{nullptr};
    DiskStepQueue steps(2, fileOps());
    steps.add({"A.zip"}, [&] { seen = &fileOps(); });
    steps.finishAll();
    EXPECT_EQ(seen.load(), &marked);
}

}  // namespace
}  // namespace quorvane::testing
