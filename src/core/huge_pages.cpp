#include "core/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace quorvane {
namespace {

size_t wholePages(size_t bytes) { return (bytes + kHugePageSize - 1) / kHugePageSize * kHugePageSize; }

}  // namespace

void* mapHugePages(size_t bytes) {
    const size_t size = wholePages(bytes);
    // The kernel places a mapping on 4 KiB boundaries: map a huge page more
    // and cut the ends off, so every huge page of the block can be one.
    const size_t mapped = size + kHugePageSize;
    void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    char* const start = static_cast<char*>(raw);
    const size_t misalignment = reinterpret_cast<std::uintptr_t>(start) % kHugePageSize;
    const size_t head = misalignment == 0 ? 0 : kHugePageSize - misalignment;
    char* const block = start + head;
    if (head > 0) ::munmap(start, head);
    ::munmap(block + size, mapped - head - size);
    ::madvise(block, size, MADV_HUGEPAGE);  // a hint: without it the block still works
    return block;
}

void unmapHugePages(void* block, size_t bytes) {
    if (block != nullptr) ::munmap(block, wholePages(bytes));
}

}  // namespace quorvane
