// Scanning: checks system folders against the catalogue without changing a
// file. Marks each ROM found in place "Y" and each found elsewhere "P", and
// reports unreadable archives, unidentified, misplaced and unwanted files.
// CHD disk images get the same verdicts, from their headers alone.
//
// How to use (the jobs library's starters do this):
//   runner.start(std::make_unique<ScanJob>(catalogue, host, settings, "System"));
//   runner.start(std::make_unique<ScanJob>(catalogue, host, settings, systems));
#pragma once

#include "engine/folder_job.h"
#include "engine/folder_stamps.h"

namespace quorvane {

struct DiskImage;
struct ScanOutcome;

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
    // Whether the first pass took every file's record whole from `known`,
    // read under `writtenUnder`: the cache then stays as it is.
    bool everyFileTakenWhole(const SystemFolder& system, const ScanCache& known, const std::string& writtenUnder);
    // Whether a scan of `system` could say nothing but the statuses, which
    // may then be those a last scan kept.
    bool mayBeAsKept(const SystemFolder& system) const;
    // Whether the statuses `kept` tells of are what a scan of `system` would
    // leave: the catalogue and its record file as it says, every file as
    // `known` recorded it (`stamps`: of the folder's files), its entries all
    // in place (one stamp per file, no file opened).
    bool everyFileAsKept(const SystemFolder& system, const ScanCache& known, const ScanOutcome& kept,
                         const std::string& catalogue, FolderStamps& stamps);
    // Whether the first pass found every file sound with its entries all in
    // place, and the folder holds nothing else a scan looks at.
    bool everyFileInPlace(const SystemFolder& system) const;
    // Whether the record file's last change came a settle time before now.
    bool settled(const FileStamp& records) const;
    // Counts a zip as checked for TorrentZip, and says when it is not valid.
    void reportTorrentZip(const std::string& path);
    // The CHD disk images of the folder, after its archives (scan_disks.cpp).
    void scanDisks(const SystemFolder& system);
    // With verifyChd, whether chdman finds the data of `image` sound (also
    // when it cannot tell); a bad one is reported.
    bool passesVerification(const DiskImage& image);
    bool chdmanMissingTold_ = false;
};

}  // namespace quorvane
