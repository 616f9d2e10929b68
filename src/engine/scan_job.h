// Scanning: checks system folders against the catalogue without changing a
// file. Marks each ROM found in place "Y" and each found elsewhere "P", and
// reports unreadable archives, unidentified, misplaced and unwanted files.
//
// How to use (the jobs library's starters do this):
//   runner.start(std::make_unique<ScanJob>(catalogue, host, settings, "System"));
//   runner.start(std::make_unique<ScanJob>(catalogue, host, settings, systems));
#pragma once

#include "engine/folder_job.h"

namespace quorvane {

class ScanJob final : public FolderJob {
public:
    // One chosen system, or a list worked through in order.
    using FolderJob::FolderJob;
    bool prepare() override;
    JobResult execute() override;

private:
    // Both passes over the listed folder.
    void scanSystem(SystemFolder& system);
    void secondPass(const SystemFolder& system);
    // Counts a zip as checked for TorrentZip, and says when it is not valid.
    void reportTorrentZip(const std::string& path);
};

}  // namespace quorvane
