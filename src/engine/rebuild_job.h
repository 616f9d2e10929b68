// Rebuilding: fills the system folders of the current category from source
// files. Every file (loose, or an entry of a zip) is identified by content;
// each missing ROM it matches is copied into its game's archive in its
// system's folder and marked had. A CHD disk image is known by its header
// alone and copied to "<system folder>/<game>/<disk>.chd" for each place that
// lacks it. The source files are never changed.
//
// How to use (the jobs library's starters do this):
//   runner.start(std::make_unique<RebuildJob>(catalogue, host, settings, folder));
//   runner.start(std::make_unique<RebuildJob>(catalogue, host, settings, paths));
//
// When a file matches several ROMs the host's duplicate question decides
// which are built; its answer stays in force as the dialog's table says.
//
// Each target archive is written once per job where it can be: what goes
// into it waits (see PendingTarget) until the job is done or holds too much,
// and then one rewrite adds it all. A ROM counts as added, and is marked
// had, only once its archive is written.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <tuple>

#include "archive/zip_update.h"
#include "engine/backup_tree.h"
#include "engine/disk_images.h"
#include "engine/folder_job.h"
#include "engine/prepared_entry.h"
#include "engine/task_pool.h"

namespace quorvane {

class RebuildJob final : public FolderJob {
public:
    // From a folder ("$BASEDIR$" allowed), walked recursively.
    RebuildJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings, std::string sourceFolder,
                  AnalysisOptions options = {});
    // From a list of files (the identifier's "Rebuild this" / "Rebuild All").
    RebuildJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings,
                  std::vector<std::string> files, AnalysisOptions options = {});

    bool prepare() override;
    JobResult execute() override;

private:
    // The run's backup folder: where entries replaced in a target archive
    // are kept, and the journal; made on first need.
    std::string replacedBackupFolder_;
    bool replacedBackupMade_ = false;

    void rebuildSources();

    // The backup folder for what the job displaces; made on first need.
    const std::string& replacedBackup();
    // The backup of what the job takes out of the system folder `systemFolder`.
    BackupTree backupOf(const std::string& systemFolder) { return {replacedBackup(), systemFolder}; }
    // The folder of `system` (resolveSystemFolder), remembered once found.
    std::string systemFolderOf(const std::string& system, bool& exists);
    // The path of `game`'s zip set in `folder` (a 7z or RAR set there is
    // converted to it first, see convertToZip).
    std::string setPathIn(const std::string& folder, const std::string& game, const std::string& system);
    // Counts the current source file as used (a ROM was added from it) or not.
    void countSource(bool used);
    // The games ROMs were added to, as they are now.
    void collectRebuiltGames();
    void rebuildFile(ContainerFiles& collection);
    void rebuildEntry(const ContainerFiles& collection, size_t index, File& f);
    // `listed`: the file as loaded; `f`: as identified (its size may be "-").
    void build(const ContainerFiles& collection, const File& listed, const File& f, const RomMatch& r);
    // `archive` is in the system folder `systemFolder`. True when the copy
    // waits in pending_ (its action with it); else `status` tells how the
    // copy made at once went.
    bool copyInto(const ContainerFiles& collection, const File& listed, const File& f, const std::string& archive,
                  const std::string& entryName, const std::string& systemFolder, FileAction& action,
                  ZipStatus& status);
    // A copy made: the ROM is had, its set changed, the action recorded.
    void recordAdded(FileAction action, const std::string& crc, const std::string& size);
    void recordNotAdded(FileAction action);

    // Copies waiting for one target archive, with what to record once it is written.
    struct PendingCopy {
        FileAction action;
        std::string crc, size;  // as identified
        std::string source;     // the source file, for its findings and counts
    };
    struct PendingTarget {
        ZipUpdate update;
        std::vector<PendingCopy> copies;
        bool fromStage = false;  // some copy reads a file unpacked for the current source
        bool onDisk = false;     // the archive existed when the first copy came
        uint64_t lastUse = 0;
    };
    // The waiting target `archive`, made when there is none; older targets
    // are written first when too much waits.
    PendingTarget& pendingFor(const std::string& archive, bool onDisk);
    // Starts writing one waiting target (on writers_ when there are any);
    // what became of each copy is recorded as the write is collected. By
    // value: callers may pass the key of the entry this erases.
    void writePending(std::string archive);
    // Writes every waiting target and collects every write.
    void writeAllPending();
    void writeStagedPending();
    void writeOldestPending();
    // Writes the targets no copy has gone to for a while: likely complete,
    // as sources come mostly grouped by set.
    void writeIdlePending();
    // One target on its way to disk, and what its write found.
    struct TargetWrite {
        std::string archive;
        PendingTarget target;
        ArchiveHolds holds = ArchiveHolds::UserFiles;
    };
    void commitTarget(TargetWrite& write, FileOps& ops);
    // Records the writes finished so far; with `wait`, waits for one first.
    void collectWrites(bool wait);
    // Waits until no write of `archive` is under way.
    void awaitWriteOf(const std::string& archive);
    void recordWrite(TargetWrite& write);
    // Whether a copy of `r` already waits: it must not be built twice.
    bool isQueued(const RomMatch& r) const;
    // The source's use counted once its last waiting copy is settled.
    void settleSource(const std::string& source, bool used);
    void rememberMade(const std::string& archive);
    // A CHD source (rebuild_disks.cpp): never loaded, only its header read.
    void rebuildDisk(const std::string& path);
    // Copies the disk to the place `r`; true when it was added.
    bool buildDisk(const DiskImage& image, const RomMatch& r);
    std::unique_ptr<OrderedLoader> startSourceLoader();
    // Whether a missing ROM has this content: only such files are deflated
    // ahead. A guess made early; build() decides again at the file's turn.
    bool worthPreparing(const ContainerFiles& collection, const File& f);
    RomLookup lockedFinder();
    // The deflated copy of source `index` made ahead, if any; none when
    // `discard` (the file changed since).
    std::shared_ptr<PreparedEntry> takePrepared(size_t index, bool discard);

    bool fromFolder_;
    std::string sourceFolder_;
    std::vector<std::string> sourceFiles;
    DuplicatePolicy dupesBehaviour;
    unsigned loadThreads_;
    // The loader's workers look ROMs up while this thread updates them.
    std::mutex dbMutex_;
    std::shared_ptr<PreparedEntry> prepared_;  // of the current source file
    // Deflated loose files by listing index, from the workers; the job takes
    // each at its turn, and the loader's look-ahead bounds how many wait.
    std::mutex preparedMutex_;
    std::map<size_t, std::shared_ptr<PreparedEntry>> preparedAhead_;
    // Target folders already checked for leftovers of a killed run.
    std::set<std::string> checkedFolders_;
    // Archives this job created. They hold only copies of source files, which
    // a rebuild never removes, so adding to them needs no sync (see
    // rewriteArchive). Forgetting one only costs a sync, so the set is kept
    // small.
    std::set<std::string> madeByJob_;
    // Zip sets already looked at for a 7z or RAR set to convert.
    std::set<std::string> setsChecked_;
    // System folders found, by system: one does not go away during a job
    // (were one removed, the copies into it fail as they would anyway).
    std::map<std::string, std::string> systemFolders_;
    static constexpr size_t kArchivesRemembered = 4096;
    bool sourceUsed_ = false;
    std::map<std::string, PendingTarget> pending_;
    uint64_t pendingBytes_ = 0;
    uint64_t useClock_ = 0;
    // Places (system, game, ROM) with a copy waiting.
    std::set<std::tuple<std::string, std::string, std::string>> queuedPlaces_;
    // Sources with copies waiting: how many, whether one was made, whether
    // the walk has passed them.
    struct SourceTally {
        int waiting = 0;
        bool used = false;
        bool passed = false;
    };
    std::map<std::string, SourceTally> tallies_;
    // What may wait before the oldest targets are written: enough for the
    // sets of a few hundred sources, small beside the memory of a large run.
    static constexpr uint64_t kPendingBytesLimit = 64ull << 20;
    static constexpr size_t kPendingTargetsLimit = 1024;
    // Copies since a target's last one after which it is written.
    static constexpr uint64_t kIdleCopies = 256;
    // Archives are written on these threads while the walk goes on (none
    // when the loader runs on the job's thread: fault tests then see every
    // disk call in one order). Finished writes wait in written_ until the
    // job's thread records them, so a write never touches the report.
    std::unique_ptr<TaskPool> writers_;
    std::set<std::string> writing_;
    std::mutex writtenMutex_;
    std::condition_variable writtenReady_;
    std::vector<std::unique_ptr<TargetWrite>> written_;
    static constexpr size_t kWritesUnderWay = 64;
    // Entries of the current packed source unpacked ahead, by name, CRC and size.
    std::map<std::tuple<std::string, uint32_t, uint64_t>, std::string> unpacked_;
    // Games ROMs were added to, by system.
    std::map<std::string, std::set<std::string>> touchedGames_;
};

}  // namespace quorvane
