// Converting the zips of one folder to TorrentZip (`quorvane torrentzip`).
//
// How to use:
//   ZipperBackup backup(settings.backupDir);
//   TorrentZipCounts counts = torrentZipFolder(folder, backup, [](const TorrentZipStep& step) { ... });
//
// Only the folder's own plain files whose names end in ".zip" (any letter
// case) are looked at; one that is valid TorrentZip already is left alone.
// Each converted archive's original goes, whole, into the run's backup
// folder, below the folder's own name, before the new one takes its name.
#pragma once

#include <functional>
#include <string>

#include "archive/zip_status.h"
#include "tools/multi_zipper.h"

namespace quorvane {

struct TorrentZipStep {
    std::string path;
    ZipStatus status = ZipStatus::Ok;
    bool converted = false;  // false with Ok: it was valid already
    std::string keptAs;      // where the original went
};

struct TorrentZipCounts {
    int valid = 0;
    int converted = 0;
    int failed = 0;
};

TorrentZipCounts torrentZipFolder(const std::string& folder, ZipperBackup& backup,
                                  const std::function<void(const TorrentZipStep&)>& each);

}  // namespace quorvane
