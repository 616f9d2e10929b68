// Recently read pages of the record file, so that the rows a lookup reads
// again and again (a BIOS ROM listed by every game that boots it, a game's
// rows read by one pass and then the next) cost no system call.
//
// The store holds the file's lock while it is open, so only its own writes
// change the file under the cache: it reports each of them here (wrote), and
// drops everything when it cannot say what reached the disk (clear).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace quorvane {

class RecordCache {
public:
    static constexpr size_t kPageSize = 4096;
    // 8 MiB at most, mapped at the first read and filled as pages are used.
    static constexpr size_t kPages = 2048;
    // Pages one read fetches when the rows are walked in file order.
    static constexpr size_t kReadAhead = 16;

    RecordCache();

    // Reads up to `size` bytes at `offset` of `fd`, as pread would; fewer only
    // at the end of the file. Negative with errno set on a read error.
    ssize_t read(int fd, char* out, size_t size, std::uint64_t offset);
    // `size` bytes were written at `offset`.
    void wrote(const char* data, size_t size, std::uint64_t offset);
    void clear();

private:
    struct Page {
        std::uint64_t index = UINT64_MAX;  // the page's place in the file; UINT64_MAX: empty
        size_t valid = 0;                  // bytes read: less than a page at the end of the file
        char* bytes = nullptr;             // in slab_
    };
    struct Unmap {
        void operator()(char* slab) const;
    };
    // The page holding file page `index`, read on a miss; null on a read error.
    const Page* load(int fd, std::uint64_t index);
    // Reads `count` pages from file page `index` on into their slots, which
    // follow each other; bytes read, or -1.
    ssize_t fill(int fd, std::uint64_t index, size_t count);

    std::vector<Page> pages_;  // direct-mapped: file page i lives in slot i % kPages
    std::uint64_t nextMiss_ = UINT64_MAX;  // the page after the last ones read: a walk in order misses it next
    // Every slot's bytes, mapped at the first read: rows are read in no
    // order, and huge pages spare a TLB miss on most of them.
    std::unique_ptr<char, Unmap> slab_;
};

}  // namespace quorvane
