// The C library's allocator, tuned before the program's work begins.
//
// A scan or a fix fills tens of megabytes of fresh heap, and on a virtual
// machine the first touch of each 4 KiB page can cost several microseconds:
// a tenth of a scan went to page faults. glibc (2.35 on) can grow its heaps
// in large steps and offer them to the kernel for transparent huge pages,
// but takes those settings only from the environment (GLIBC_TUNABLES) as a
// program starts. So a run that will fill much memory, started without
// them, starts the program once more with them (a few milliseconds); the
// second start puts the environment back as the user had it, so that any
// program it runs in turn sees no change.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace quorvane {

// The step a heap grows by: large enough for whole huge pages. A scan or a
// list gains most from the large one; a job whose two dozen disk threads
// each grow a heap of their own holds much less memory with the small one.
inline constexpr size_t kLargeHeapStep = size_t{16} << 20;
inline constexpr size_t kSmallHeapStep = size_t{4} << 20;

// GLIBC_TUNABLES with the allocator's settings for heaps growing by `step`
// added to `current` (null: unset); nothing when the user has chosen
// either setting already.
std::optional<std::string> tunedAllocatorSettings(const char* current, size_t step);

// The step to set in this process for heaps growing by `step`, without huge
// pages and so without a restart; nothing when the user's GLIBC_TUNABLES
// (`current`, null: unset) chose one.
std::optional<size_t> heapStepInPlace(const char* current, size_t step);
// Sets it, where the C library takes it. For a job of many threads: each
// thread's heap offered for huge pages costs more to fill than it gives.
void growHeapsInPlace(size_t step);

// Starts the program again over `argv` with the allocator tuned, unless it
// was started so or the C library cannot take the settings; returns when it
// does not (a failed restart included), the environment as it was.
void restartWithTunedAllocator(char** argv, size_t step);

}  // namespace quorvane
