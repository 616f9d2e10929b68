// The stamps of many files of one folder, the stat calls shared by every
// thread that calls take(): a re-scan of an unchanged folder is little else
// than these system calls, and they can begin before the folder is listed
// (from the names the last scan kept). Given the stamps the files are
// expected to have, the first one found otherwise stops every thread.
//
// How to use:
//   auto stamps = std::make_shared<FolderStamps>(folderPath, names);
//   pool.run([stamps] { stamps->take(); });        // any number of helpers
//   const std::vector<FileStamp>& all = stamps->all(keepGoing);  // names()[k] -> all[k]
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ordered_loader.h"

namespace quorvane {

class FolderStamps {
public:
    // `expected`: empty, or a stamp per name.
    FolderStamps(const std::string& folderPath, std::vector<std::string> names, std::vector<FileStamp> expected = {});
    ~FolderStamps();
    FolderStamps(const FolderStamps&) = delete;
    FolderStamps& operator=(const FolderStamps&) = delete;

    const std::vector<std::string>& names() const { return names_; }
    // Takes stamps, a few names at a time, until none is left or the
    // stamps are stopped; from any number of threads at once.
    void take();
    // Takes stamps beside the helpers and waits for them: a stamp per name,
    // invalid for a file that could not be looked at (all of them when the
    // folder could not be opened) or was not looked at. `keepGoing` is asked
    // now and then, with how many names are taken or being taken, whether
    // to go on; once it says no, every thread stops.
    const std::vector<FileStamp>& all(const std::function<bool(size_t)>& keepGoing = {});
    // Stops the helpers after the names they are at, and waits for them.
    void stop();
    // Whether a file was found unlike its expected stamp (then not every
    // name has its stamp).
    bool differs() const { return differs_; }

private:
    // Takes the next few names' stamps; false when none was left.
    bool takeShare();

    const int folder_;
    const std::vector<std::string> names_;
    const std::vector<FileStamp> expected_;
    std::vector<FileStamp> stamps_;
    std::atomic<bool> differs_{false};
    std::atomic<size_t> next_{0};
    std::mutex mutex_;
    std::condition_variable idle_;
    unsigned busy_ = 0;
};

}  // namespace quorvane
