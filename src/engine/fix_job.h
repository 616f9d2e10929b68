// Fixing: repairs system folders in place. Missing ROMs found in the wrong
// archive or under the wrong name are copied to where they belong, archive
// names wrong only in letter case are corrected, and every unwanted file and
// unreadable archive goes into the job's backup folder. Nothing is removed
// before its copy is safely in the backup folder. CHD disk images are moved
// (or copied, when more than one place wants them) into their games' folders.
// The disk work of the archives runs on a few threads (DiskStepQueue), in an
// order that gives the same folders, findings and report as one thread.
//
// How to use (the jobs library's starters do this):
//   runner.start(std::make_unique<FixJob>(catalogue, host, settings, "System"));
//   runner.start(std::make_unique<FixJob>(catalogue, host, settings, systems));
#pragma once

#include <atomic>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>

#include "engine/backup_tree.h"
#include "engine/disk_step_queue.h"
#include "engine/disk_images.h"
#include "engine/folder_job.h"

namespace quorvane {

class FixJob final : public FolderJob {
public:
    // One chosen system, or a list worked through in order into one backup folder.
    using FolderJob::FolderJob;
    bool prepare() override;
    JobResult execute() override;

    const std::string& backupFolderPath() const { return backupFolder_; }

private:
    // Reads the last scan's tests of the folder while it is listed.
    void beforeListing(const std::string& system, const std::string& path) override;
    // What became of a file's copies to where matches want them. Disk steps
    // fill it in as they finish; a later step of the same archive reads it.
    struct EntryFate {
        bool wanted = false;                 // the file itself is now the wanted copy
        std::atomic<bool> failed = false;    // a copy failed: the file must stay
        std::atomic<bool> backedUp = false;  // a copy took the file's place and kept it in the backup folder
        bool stays() const { return wanted || failed || backedUp; }
    };
    using Fate = std::shared_ptr<EntryFate>;

    // Settings' backup folder + the job's start time; created now, even if
    // nothing ends up in it.
    void makeBackupFolder();
    // The backup of what this job takes out of the system folder `systemFolder`.
    BackupTree backupOf(const std::string& systemFolder) const { return {backupFolder_, systemFolder}; }
    void fixSystem(SystemFolder& system);
    // What beforeListing read for `system`, or the last scan read now.
    ScanCache readLastScan(const SystemFolder& system, const std::string& catalogue);
    // Keeps what the first pass tested (`system.files` named as it found
    // them) in the scan cache, beside what `known` holds of the files found
    // as it recorded them: the next scan or fix reads again only the files
    // changed since (this fix's own among them).
    void keepTests(SystemFolder& system, const ScanCache& known, const std::string& catalogue,
                   const std::string& cachePath);
    // Every sound file was found as `known` recorded it, and it holds no
    // other: the cache written would be the one read.
    bool everyFileAsRecorded(const SystemFolder& system, const ScanCache& known, const std::string& writtenUnder);
    // Archives the first pass could not read go aside before anything is
    // written, so no ROM is ever copied into one. True for each file moved.
    std::vector<bool> moveUnreadableAside(const SystemFolder& system);
    void moveAside(const SystemFolder& system, size_t index, ZipStatus status);
    void secondPass(SystemFolder& system, const std::vector<bool>& movedAside);
    // Every entry of listed file `index` was in place, and the file is as
    // the first pass found it: nothing in it to fix.
    bool inPlaceAsFound(const SystemFolder& system, size_t index);
    void fixFile(SystemFolder& system, size_t index);

    // Runs `work` as a disk step touching `keys` (paths, romKey()s), on the
    // step threads during the second pass, else at once. `ending` runs on the
    // job's thread once it is done, in order, and returns what the step
    // shows, which goes out in the place the step took among the findings.
    void diskStep(std::vector<std::string> keys, std::function<void()> work,
                  std::function<std::function<void()>()> ending);
    // Before the job's own thread reads or changes what `key` names, every
    // step given so far that touches it is done and ended; true when one was
    // still waiting to end.
    bool settle(const std::string& key);
    // Stands for what is known of the ROM `r` (had or missing).
    static std::string romKey(const RomMatch& r);

    // An entry moved aside to make room may be a ROM some set still lacks
    // (names swapped across two archives): such sets are built from the
    // copy in the backup folder, which stays there.
    void rebuildFromDisplaced(SystemFolder& system);
    // `onlyMatch`: no other place wants the file, so a copy within its own
    // archive renames the entry, keeping the old one in the backup folder.
    void rebuildMisplaced(SystemFolder& system, ContainerFiles& collection, size_t index, const File& listed, File& f,
                          const RomMatch& r, const Fate& fate, bool onlyMatch = false);
    // That rename, as a disk step; when the entry is no longer there to
    // rename, the step copies it from where it went instead.
    void renameWithinArchive(const SystemFolder& system, const ContainerFiles& collection, const File& listed,
                             const File& f, const RomMatch& r, const Fate& fate);
    void rebuildForeign(const ContainerFiles& collection, const File& listed, File& f, const RomMatch& r,
                        const Fate& fate);
    // The copy of `listed` (identified as `f`) into `targetPath`, a set of
    // `r.system` in `systemFolder`, as a disk step, keeping entries it
    // replaces in the backup folder; reported either way.
    void copyIntoSet(const ContainerFiles& collection, const File& listed, const File& f, const RomMatch& r,
                     const std::string& targetPath, const std::string& systemFolder, const Fate& fate);
    // Refuses (and reports) a match whose names cannot make a file.
    bool namesAreSafe(const ContainerFiles& collection, const File& listed, const RomMatch& r, bool checkSystem);
    void recordCopy(FileAction::Kind kind, const ContainerFiles& collection, const File& listed,
                    const std::string& to, const RomMatch& r, const std::string& error = {});
    // An unwanted entry of the archive being fixed, and where its findings go.
    struct Leaving {
        File listed;
        Fate fate;         // it leaves unless its copies decided it stays
        size_t place = 0;  // keepPlace()
        std::string file;  // the archive's name when it was found unwanted
    };
    // Moves the archive's entries that leave into the backup folder together,
    // in one new version of it (a disk step), and shows their findings in
    // the places kept for them.
    void backUpTogether(const SystemFolder& system, const ContainerFiles& collection, std::vector<Leaving> leaving);
    void reportBackUp(const ContainerFiles& collection, const File& listed, const EntryMove& move);
    // Whether every file of a 7z or RAR set is in place, so the set can stay
    // as it is.
    bool packedSetIsRight(const SystemFolder& system, const ContainerFiles& collection);
    // Writes a packed archive anew as a zip (convertToZip), reporting either
    // way; the zip's path, or empty when it failed. `systemFolder` holds it.
    std::string convertPacked(const std::string& packedPath, const std::string& systemFolder,
                              const std::string& system);
    // The path of `game`'s zip set in `folder`; a 7z or RAR set found there
    // instead is converted first, so a copy never makes a second set.
    std::string setPathFor(const std::string& folder, const std::string& game, const std::string& system);
    // Entries a step moved aside to make room: noted once it has ended, in
    // the order the steps were given (rebuildFromDisplaced walks them), and
    // recorded among its findings.
    void noteDisplaced(const std::vector<DisplacedEntries::Move>& moves);
    void recordDisplaced(const std::vector<DisplacedEntries::Move>& moves);
    // The job's side of a copy step that ended: what it moved aside, and the
    // ROM had in `setPath` when it worked (else a failed step); whether it did.
    bool copyEnded(ZipStatus status, const std::vector<DisplacedEntries::Move>& moved, const File& f,
                   const RomMatch& r, const std::string& setPath);
    void renameCollection(SystemFolder& system, ContainerFiles& collection, size_t index, const std::string& newName);

    // The CHD disk images of the folder, after its archives (fix_disks.cpp).
    void fixDisks(const SystemFolder& system);
    // `inBackup`: an image put aside to make room, which leaves the backup
    // folder only for a place that wants it.
    void fixDisk(const SystemFolder& system, const DiskImage& image, bool inBackup);
    enum class DiskPlacing { Placed, AlreadyThere, Failed };
    // Copies or moves `image` to the place `r` (a failure is reported);
    // AlreadyThere when the place holds that disk, and `image` was left alone.
    DiskPlacing placeDisk(const SystemFolder& system, const DiskImage& image, const RomMatch& r, bool move);
    // Moves whatever is at `path` in the system folder `systemFolder` into
    // the backup folder; false, reported, when it cannot.
    bool makeRoomAt(const std::string& path, const std::string& systemFolder);
    void backUpDisk(const SystemFolder& system, const DiskImage& image, bool damaged);

    // Files this job moved from a disk's place to the backup folder.
    std::vector<DiskImage> displacedDisks_;

    std::string backupFolder_;
    // Every entry this job moved aside to make room, in every system: as
    // the steps made them, and in the order the steps were given.
    DisplacedEntries displaced_;
    std::vector<DisplacedEntries::Move> displacedInOrder_;
    // While the second pass runs.
    DiskStepQueue* steps_ = nullptr;
    // Packed archives written anew as zips, by their old path: a later step
    // that lists the old path works on the zip.
    std::map<std::string, std::string> converted_;
    // The last scan's tests, read while the folder of `lastScanFor_` was
    // listed; their rows not yet believed.
    std::future<ScanCache> lastScanRead_;
    std::string lastScanFor_;
};

}  // namespace quorvane
