#include "core/crash_point.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace quorvane {

namespace {

// Read once; -1: not asked for.
class CrashCounter {
public:
    CrashCounter() {
        if (const char* text = std::getenv("QUORVANE_CRASH_AFTER_CALLS")) limit_ = std::atoll(text);
    }
    ~CrashCounter() {
        if (limit_ >= 0) std::fprintf(stderr, "quorvane: %lld file-system calls\n", calls_.load());
    }
    void step() {
        if (limit_ < 0) return;
        if (calls_.fetch_add(1, std::memory_order_relaxed) + 1 == limit_) ::raise(SIGKILL);
    }

private:
    long long limit_ = -1;
    std::atomic<long long> calls_{0};
};

}  // namespace

void crashPoint() {
    static CrashCounter counter;
    counter.step();
}

}  // namespace quorvane
