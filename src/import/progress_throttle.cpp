#include "import/progress_throttle.h"

#include <climits>
#include <string>

namespace quorvane {

namespace {
// Reading the clock for every line would cost more than the line.
constexpr int kItemsPerClockCheck = 64;
}  // namespace

void ProgressThrottle::setMaximum(std::uint64_t maximum) {
    divisor_ = maximum > static_cast<std::uint64_t>(INT_MAX) ? maximum / INT_MAX + 1 : 1;
    host_.setProgressMax(scaled(maximum));
}

int ProgressThrottle::scaled(std::uint64_t value) const {
    const std::uint64_t v = value / divisor_;
    return v > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(v);
}

void ProgressThrottle::update(std::string_view item, std::uint64_t position) {
    ++pending_;
    if (pending_ < kItemsPerUpdate) {
        if (pending_ % kItemsPerClockCheck != 0) return;
        if (std::chrono::steady_clock::now() - last_ < kInterval) return;
    }
    flush(item, position);
}

void ProgressThrottle::flush(std::string_view item, std::uint64_t position) {
    pending_ = 0;
    last_ = std::chrono::steady_clock::now();
    host_.updateProgress(std::string(item), scaled(position));
}

}  // namespace quorvane
