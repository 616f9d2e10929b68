// The stamps of many files of one folder, a block at a time, the stat calls
// of a block shared by a few threads: a re-scan of an unchanged folder is
// little else than these system calls.
//
// How to use:
//   FolderStamps stamps(folderPath, names, threads);
//   stamps.startFirstBlock();  // optional: the helpers begin while the caller does other work
//   for (size_t first = 0; first < names.size(); first += FolderStamps::kBlock) {
//       const std::vector<FileStamp>& block = stamps.block(first);  // names[first + k] -> block[k]
//   }
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ordered_loader.h"
#include "engine/task_pool.h"

namespace quorvane {

class FolderStamps {
public:
    // Small enough that a cancel is seen soon, large enough that handing a
    // block to the threads costs little beside its stat calls.
    static constexpr size_t kBlock = 2048;

    // `threads`: how many take stamps together, the caller's included, as
    // for OrderedLoader (0: one per core; kOnCallingThread: the caller alone).
    FolderStamps(const std::string& folderPath, const std::vector<std::string>& names, unsigned threads);
    ~FolderStamps();
    FolderStamps(const FolderStamps&) = delete;
    FolderStamps& operator=(const FolderStamps&) = delete;

    // Lets the helper threads take the first block's stamps meanwhile; no
    // effect without helpers.
    void startFirstBlock();
    // The stamps of names[first, first + kBlock), fewer at the end; an
    // invalid stamp for a file that could not be looked at (all of them when
    // the folder could not be opened). Valid until the next call.
    const std::vector<FileStamp>& block(size_t first);

private:
    void start(size_t first);
    // Waits for the helpers of the started block.
    void finish();
    // Takes stamps of the started block, a few names at a time, until none is left.
    void takeStamps();

    const int folder_;
    const std::vector<std::string>& names_;
    std::vector<FileStamp> stamps_;
    size_t first_ = 0, end_ = 0;
    bool started_ = false;
    std::atomic<size_t> next_{0};
    const unsigned helpers_;
    std::mutex mutex_;
    std::condition_variable done_;
    unsigned pending_ = 0;
    TaskPool pool_;
};

}  // namespace quorvane
