// Fixing: repairs system folders in place. Missing ROMs found in the wrong
// archive or under the wrong name are copied to where they belong, archive
// names wrong only in letter case are corrected, and every unwanted file and
// unreadable archive goes into the job's backup folder. Nothing is removed
// before its copy is safely in the backup folder. CHD disk images are moved
// (or copied, when more than one place wants them) into their games' folders.
//
// How to use (the jobs library's starters do this):
//   runner.start(std::make_unique<FixJob>(catalogue, host, settings, "System"));
//   runner.start(std::make_unique<FixJob>(catalogue, host, settings, systems));
#pragma once

#include <map>
#include <string>

#include "engine/backup_tree.h"
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
    // What became of a file's copy to where a match wants it.
    struct CopyOutcome {
        bool wanted = false;  // the file itself is now the wanted copy
        bool failed = false;  // the copy failed: the file must stay
        bool backedUp = false;  // the copy took the file's place and kept it in the backup folder
    };

    // Settings' backup folder + the job's start time; created now, even if
    // nothing ends up in it.
    void makeBackupFolder();
    // The backup of what this job takes out of the system folder `systemFolder`.
    BackupTree backupOf(const std::string& systemFolder) const { return {backupFolder_, systemFolder}; }
    void fixSystem(SystemFolder& system);
    // Archives the first pass could not read go aside before anything is
    // written, so no ROM is ever copied into one. True for each file moved.
    std::vector<bool> moveUnreadableAside(const SystemFolder& system);
    void moveAside(const SystemFolder& system, size_t index, ZipStatus status);
    void secondPass(SystemFolder& system, const std::vector<bool>& movedAside);
    void fixFile(SystemFolder& system, size_t index);
    // An entry moved aside to make room may be a ROM some set still lacks
    // (names swapped across two archives): such sets are built from the
    // copy in the backup folder, which stays there.
    void rebuildFromDisplaced(SystemFolder& system);
    // `onlyMatch`: no other place wants the file, so a copy within its own
    // archive renames the entry, keeping the old one in the backup folder.
    CopyOutcome rebuildMisplaced(SystemFolder& system, ContainerFiles& collection, size_t index, const File& listed,
                                 File& f, const RomMatch& r, bool onlyMatch = false);
    // That rename; false when the entry is no longer there to rename.
    bool renameWithinArchive(const SystemFolder& system, const ContainerFiles& collection, const File& listed,
                             const File& f, const RomMatch& r, CopyOutcome& outcome);
    CopyOutcome rebuildForeign(const ContainerFiles& collection, const File& listed, File& f, const RomMatch& r);
    // Refuses (and reports) a match whose names cannot make a file.
    bool namesAreSafe(const ContainerFiles& collection, const File& listed, const RomMatch& r, bool checkSystem);
    void recordCopy(FileAction::Kind kind, const ContainerFiles& collection, const File& listed,
                    const std::string& to, const RomMatch& r, const std::string& error = {});
    // copyToArchive of `listed` (identified as `f`) into `archive` in the
    // system folder `systemFolder`, keeping entries it replaces in the backup
    // folder (each recorded as moved there).
    ZipStatus copyKeepingReplaced(const ContainerFiles& collection, const File& listed, const File& f,
                                  const std::string& archive, const std::string& entryName,
                                  const std::string& systemFolder);
    void backUp(const SystemFolder& system, const ContainerFiles& collection, const File& listed);
    // An unwanted entry of the archive being fixed, and where its findings go.
    struct Leaving {
        File listed;
        size_t place = 0;  // keepPlace()
        std::string file;  // the archive's name when it was found unwanted
    };
    // Moves the archive's unwanted entries into the backup folder together,
    // in one new version of it, and shows the findings held meanwhile.
    void backUpTogether(const SystemFolder& system, const ContainerFiles& collection,
                        const std::vector<Leaving>& leaving);
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
    // Records the entries copyToArchive moved aside since `movedBefore`.
    void recordDisplacedSince(size_t movedBefore);
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
    // Every entry this job moved aside to make room, in every system.
    DisplacedEntries displaced_;
    // Packed archives written anew as zips, by their old path: a later step
    // that lists the old path works on the zip.
    std::map<std::string, std::string> converted_;
};

}  // namespace quorvane
