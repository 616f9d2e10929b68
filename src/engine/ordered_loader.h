// Loads many collections on worker threads and hands them back strictly in
// listing order, so that what is done with them (database updates, messages)
// happens exactly as in a one-thread run.
//
// How to use:
//   OrderedLoader loader(paths.size(), [&](size_t i, LoadedItem& out) { ... }, threads);
//   LoadedItem item;
//   while (!cancelled && loader.next(item)) use(item);
//
// At most `window` items are loaded ahead of the consumer, which bounds
// memory however long the list is. Destroying the loader stops the workers.
#pragma once

#include <sys/stat.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "archive/zip_status.h"
#include "core/records.h"
#include "engine/found_rows.h"

namespace quorvane {

struct ScanRecord;

// What a worker records about one file, so the job can later tell whether
// the file changed since it was tested.
struct FileStamp {
    bool valid = false;
    unsigned long long device = 0, inode = 0;
    long long size = 0, modifiedNs = 0, changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp stampOf(const std::string& path);
FileStamp stampFrom(const struct stat& st);
// The stamp of `name` in the folder open as `folderFd`: only the name is
// resolved, not the folder's whole path again (a symlink in it included).
FileStamp stampAt(int folderFd, const std::string& name);

struct LoadedItem {
    size_t index = 0;
    ContainerFiles collection;
    ZipStatus status = ZipStatus::Ok;
    FileStamp stamp;  // taken before the load started
    // With SystemFolder::keepListings, the files as encodeListing packs them
    // (the worker packs them, so the job's own thread need not).
    std::string listing;
    // Taken from the scan cache: per file, the rows its identification
    // found; empty when they are to be looked up.
    FoundRowLists found;
    // Taken from the scan cache: a record of a file whose entries were all
    // in place (ScanRecord::allInPlace); `collection` then lists no entry.
    std::shared_ptr<const ScanRecord> placed;
};

class OrderedLoader {
public:
    using LoadFn = std::function<void(size_t index, LoadedItem& out)>;

    // No worker threads: next() loads each item itself, so every disk call
    // happens on the consumer's thread in listing order (fault tests).
    static constexpr unsigned kOnCallingThread = ~0u;

    // threads 0: one per hardware thread. window 0: a few per thread.
    OrderedLoader(size_t count, LoadFn load, unsigned threads = 0, size_t window = 0);
    ~OrderedLoader();
    OrderedLoader(const OrderedLoader&) = delete;
    OrderedLoader& operator=(const OrderedLoader&) = delete;

    // The next item in order; false when all have been handed out.
    bool next(LoadedItem& out);

    static unsigned defaultThreads();

private:
    void work();
    // With the mutex held: whether item `index` is in its slot, and how
    // many items from consumed_ on are, counting up to wantedRun_.
    bool isReady(size_t index) const;
    size_t readyRun() const;

    const size_t count_;
    const LoadFn load_;
    bool inline_ = false;
    size_t window_ = 0;
    std::mutex mutex_;
    std::condition_variable ready_;  // a slot was filled
    std::condition_variable room_;   // the consumer moved on
    std::vector<std::optional<LoadedItem>> slots_;
    size_t claimed_ = 0;   // next index a worker takes
    size_t consumed_ = 0;  // next index the consumer takes
    size_t readyEnd_ = 0;  // first index from consumed_ on not yet in its slot
    bool stopping_ = false;
    bool consumerWaiting_ = false;  // in next(), for wantedRun_ items from consumed_ on
    size_t wantedRun_ = 1;
    size_t idleWorkers_ = 0;        // waiting for room in the window
    std::vector<std::thread> workers_;
};

}  // namespace quorvane
