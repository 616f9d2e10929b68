// A private, empty folder inside `parent` that archive entries are
// extracted into on their way somewhere else; removed, with the files it was
// told to track, when it goes out of scope. Named with kTempPrefix, so a
// user's file of the same name is never in the way and a killed run's
// leftover is recognised as one.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "archive/file_ops.h"
#include "core/file_util.h"

namespace quorvane {

class StagingFolder {
public:
    explicit StagingFolder(const std::string& parent) : path_(uniqueTempPath(parent, "stage")) {
        ok_ = fileOps().makeFolder(path_) == 0;
    }
    ~StagingFolder() {
        if (!ok_) return;
        for (const std::string& file : tracked_) fileOps().remove(file);
        fileOps().removeFolder(path_);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }
    // A file to delete on the way out, and one that has been moved away.
    void track(const std::string& file) { tracked_.push_back(file); }
    void untrack(const std::string& file) { tracked_.erase(std::remove(tracked_.begin(), tracked_.end(), file), tracked_.end()); }

private:
    std::string path_;
    std::vector<std::string> tracked_;
    bool ok_ = false;
};

}  // namespace quorvane
