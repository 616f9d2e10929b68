#include "catalogue/record_cache.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/huge_pages.h"

namespace quorvane {

RecordCache::RecordCache() : pages_(kPages) {}

void RecordCache::Unmap::operator()(char* slab) const { unmapHugePages(slab, kPages * kPageSize); }

ssize_t RecordCache::fill(int fd, std::uint64_t index, size_t count) {
    char* const into = slab_.get() + (index % kPages) * kPageSize;
    const size_t size = count * kPageSize;
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, into + got, size - got, static_cast<off_t>(index * kPageSize + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

const RecordCache::Page* RecordCache::load(int fd, std::uint64_t index) {
    const size_t slot = index % kPages;
    Page& page = pages_[slot];
    if (page.index == index) return &page;
    if (!slab_) {
        slab_.reset(static_cast<char*>(mapHugePages(kPages * kPageSize)));
        if (!slab_) return nullptr;
    }
    // Read ahead only within the slots that follow, and only for a walk:
    // a lookup here and there would copy pages it never uses.
    const size_t count = index == nextMiss_ ? std::min(kReadAhead, kPages - slot) : 1;
    for (size_t k = 0; k < count; ++k) pages_[slot + k].index = UINT64_MAX;
    const ssize_t read = fill(fd, index, count);
    if (read < 0) {
        nextMiss_ = UINT64_MAX;
        return nullptr;
    }
    const size_t got = static_cast<size_t>(read);
    // Past the end of the file: only the page asked for is kept, empty.
    for (size_t k = 0; k < count && (k == 0 || got > k * kPageSize); ++k) {
        Page& filled = pages_[slot + k];
        filled.bytes = slab_.get() + (slot + k) * kPageSize;
        filled.index = index + k;
        filled.valid = got > k * kPageSize ? std::min(kPageSize, got - k * kPageSize) : 0;
    }
    nextMiss_ = index + count;
    return &page;
}

ssize_t RecordCache::read(int fd, char* out, size_t size, std::uint64_t offset) {
    size_t done = 0;
    while (done < size) {
        const std::uint64_t at = offset + done;
        const Page* page = load(fd, at / kPageSize);
        if (!page) return done > 0 ? static_cast<ssize_t>(done) : -1;
        const size_t from = static_cast<size_t>(at % kPageSize);
        if (from >= page->valid) break;
        const size_t n = std::min(size - done, page->valid - from);
        std::memcpy(out + done, page->bytes + from, n);
        done += n;
        if (page->valid < kPageSize) break;  // the end of the file
    }
    return static_cast<ssize_t>(done);
}

void RecordCache::wrote(const char* data, size_t size, std::uint64_t offset) {
    const std::uint64_t end = offset + size;
    for (std::uint64_t index = offset / kPageSize; index * kPageSize < end; ++index) {
        Page& page = pages_[index % kPages];
        if (page.index != index) continue;
        const std::uint64_t pageStart = index * kPageSize;
        const std::uint64_t from = std::max(offset, pageStart);
        const std::uint64_t to = std::min(end, pageStart + kPageSize);
        // A write past what the page held (the file grew) makes it stale as a whole.
        if (to - pageStart > page.valid) {
            page.index = UINT64_MAX;
            continue;
        }
        std::memcpy(page.bytes + (from - pageStart), data + (from - offset), static_cast<size_t>(to - from));
    }
}

void RecordCache::clear() {
    for (Page& page : pages_) page.index = UINT64_MAX;
}

}  // namespace quorvane
