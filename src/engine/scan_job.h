// Scanning: checks system folders against the catalogue without changing a
// file. Marks each ROM found in place "Y" and each found elsewhere "P", and
// reports unreadable archives, unidentified, misplaced and unwanted files.
// CHD disk images get the same verdicts, from their headers alone.
//
// How to use (the jobs library's starters do this):
//   runner.start(std::make_unique<ScanJob>(catalogue, host, settings, "System"));
//   runner.start(std::make_unique<ScanJob>(catalogue, host, settings, systems));
#pragma once

#include <future>
#include <memory>

#include "engine/folder_job.h"
#include "engine/folder_stamps.h"
#include "engine/task_pool.h"

namespace quorvane {

struct DiskImage;
struct ScanOutcome;

class ScanJob final : public FolderJob {
public:
    // One chosen system, or a list worked through in order.
    using FolderJob::FolderJob;
    ~ScanJob() override;
    bool prepare() override;
    JobResult execute() override;

private:
    // A re-scan reads the system's last scan while its folder is listed, and
    // takes the stamps of the files it names.
    void beforeListing(const std::string& system, const std::string& path) override;
    struct LastScanRead;
    // What beforeListing read for `system`; null when it read nothing for it.
    std::shared_ptr<LastScanRead> takeLastScanRead(const std::string& system);
    // Stops and forgets a read not taken.
    void dropLastScanRead();
    // Both passes over the listed folder.
    void scanSystem(SystemFolder& system);
    void secondPass(const SystemFolder& system);
    // Whether the first pass took every file's record whole from `known`,
    // read under `writtenUnder`: the cache then stays as it is.
    bool everyFileTakenWhole(const SystemFolder& system, const ScanCache& known, const std::string& writtenUnder);
    // Whether a scan of `system` could say nothing but the statuses, which
    // may then be those a last scan kept.
    bool mayBeAsKept(const SystemFolder& system) const;
    // The part of mayBeAsKept that the settings decide.
    bool settingsAllowAsKept(const std::string& system) const;
    // Whether the statuses `kept` tells of are what a scan of `system` would
    // leave: the catalogue and its record file as it says, every file as
    // `known` recorded it, its entries all in place (one stamp per file, no
    // file opened; `stamps`: of the files `known` names, taken here when null).
    bool everyFileAsKept(const SystemFolder& system, const ScanCache& known, const ScanOutcome& kept,
                         const std::string& catalogue, std::shared_ptr<FolderStamps> stamps);
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
    std::unique_ptr<TaskPool> readAhead_;
    std::string readAheadSystem_;
    std::future<std::shared_ptr<LastScanRead>> lastScanRead_;
};

}  // namespace quorvane
