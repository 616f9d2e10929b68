#include "core/allocator_tuning.h"

#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <string_view>

#if defined(__GLIBC__)
#include <gnu/libc-version.h>
#endif

namespace quorvane {
namespace {

constexpr const char* kTunables = "GLIBC_TUNABLES";
// Set for the second start only: "=" and the user's GLIBC_TUNABLES, or "-"
// when they had none.
constexpr const char* kStartedTuned = "QUORVANE_STARTED_TUNED";
// Heaps offered for huge pages, grown a step of them at a time: a heap's top
// is then not trimmed and refilled page by page.
constexpr std::string_view kHugePages = "glibc.malloc.hugetlb";
constexpr std::string_view kTopPad = "glibc.malloc.top_pad";

bool libraryTakesSettings() {
#if defined(__GLIBC__)
    int major = 0, minor = 0;
    return std::sscanf(gnu_get_libc_version(), "%d.%d", &major, &minor) == 2 &&
           (major > 2 || (major == 2 && minor >= 35));
#else
    return false;
#endif
}

// Whether the user's GLIBC_TUNABLES (`current`, null: unset) set `setting`.
bool userChose(const char* current, std::string_view setting) {
    return current != nullptr && std::string_view(current).find(setting) != std::string_view::npos;
}

void putBack(const std::string& before) {
    if (before[0] == '=') ::setenv(kTunables, before.c_str() + 1, 1);
    else ::unsetenv(kTunables);
    ::unsetenv(kStartedTuned);
}

}  // namespace

std::optional<std::string> tunedAllocatorSettings(const char* current, size_t step) {
    const std::string settings = std::string(kHugePages) + "=1:" + std::string(kTopPad) + "=" + std::to_string(step);
    if (current == nullptr || *current == '\0') return settings;
    if (userChose(current, kHugePages) || userChose(current, kTopPad)) return std::nullopt;
    return std::string(current) + ":" + settings;
}

std::optional<size_t> heapStepInPlace(const char* current, size_t step) {
    if (userChose(current, kTopPad)) return std::nullopt;
    return step;
}

void growHeapsInPlace(size_t step) {
#if defined(__GLIBC__)
    if (const std::optional<size_t> pad = heapStepInPlace(std::getenv(kTunables), step))
        ::mallopt(M_TOP_PAD, static_cast<int>(*pad));
#else
    (void)step;
#endif
}

void restartWithTunedAllocator(char** argv, size_t step) {
    if (const char* started = std::getenv(kStartedTuned)) return putBack(std::string(started));
    if (!libraryTakesSettings()) return;
    const char* current = std::getenv(kTunables);
    const std::optional<std::string> tuned = tunedAllocatorSettings(current, step);
    if (!tuned) return;
    std::string before = current ? "=" : "-";
    if (current) before += current;
    ::setenv(kStartedTuned, before.c_str(), 1);
    ::setenv(kTunables, tuned->c_str(), 1);
    ::execv("/proc/self/exe", argv);
    putBack(before);
}

}  // namespace quorvane
