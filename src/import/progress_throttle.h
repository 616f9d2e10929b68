// Publishes a reader's progress at a bounded rate: a per-line update would
// cost the front end more than the reading itself. The last state of a pass
// is always published (flush).
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "core/job_host.h"

namespace quorvane {

class ProgressThrottle {
public:
    static constexpr int kItemsPerUpdate = 4096;
    static constexpr std::chrono::milliseconds kInterval{40};

    explicit ProgressThrottle(JobHost& host) : host_(host) {}

    // Sets the maximum (values of any size are scaled to the host's int range).
    void setMaximum(std::uint64_t maximum);
    // Publishes when enough items or time have passed since the last update.
    void update(std::string_view item, std::uint64_t position);
    // Publishes now.
    void flush(std::string_view item, std::uint64_t position);

private:
    int scaled(std::uint64_t value) const;

    JobHost& host_;
    std::uint64_t divisor_ = 1;
    int pending_ = 0;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

}  // namespace quorvane
