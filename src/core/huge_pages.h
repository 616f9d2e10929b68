// Memory for large arrays read at random (hash tables, page caches): a block
// of 2 MiB or more is mapped on its own, aligned, and offered to the kernel
// for transparent huge pages. Filling it then takes a fault per 2 MiB rather
// than per 4 KiB, and reading it at random misses the TLB far less; where
// the kernel gives no huge pages it is plain zeroed memory.
#pragma once

#include <cstddef>
#include <new>

namespace quorvane {

constexpr size_t kHugePageSize = size_t{2} << 20;

// Zeroed memory of at least `bytes`, whole huge pages, aligned to one; null
// when it cannot be mapped.
void* mapHugePages(size_t bytes);
// Gives back a block from mapHugePages of the same `bytes`.
void unmapHugePages(void* block, size_t bytes);

// For std::vector: blocks under a huge page come from operator new.
template <typename T>
struct HugePageAllocator {
    using value_type = T;

    HugePageAllocator() = default;
    template <typename U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

    T* allocate(size_t n) {
        const size_t bytes = n * sizeof(T);
        if (bytes < kHugePageSize) return static_cast<T*>(::operator new (bytes, std::align_val_t{alignof(T)}));
        void* block = mapHugePages(bytes);
        if (block == nullptr) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* p, size_t n) noexcept {
        const size_t bytes = n * sizeof(T);
        if (bytes < kHugePageSize) ::operator delete (p, std::align_val_t{alignof(T)});
        else unmapHugePages(p, bytes);
    }
    template <typename U>
    bool operator==(const HugePageAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace quorvane
