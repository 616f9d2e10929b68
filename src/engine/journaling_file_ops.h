// The file layer of a run that can be undone: every change it makes outside
// the run's backup folder is first recorded in the run's journal, and a file
// about to be replaced or removed is first kept (a hard link in the backup
// folder, or a copy where links cannot reach). Reads and writes into the
// run's own new files pass straight through.
//
// RunSyncs::EachStep syncs each record before a step that needs it and
// makes every sync when asked. RunSyncs::Batched makes a folder's sync and
// the journal's wait until kStepsPerBatch steps have been recorded (or the
// run ends), then makes each once: a fix of thousands of files syncs each
// folder it touched once per batch, not once per file. What stays per file
// is the caller's sync of a new version of a file before it replaces the
// old one, so no torn file ever takes a whole one's place. A file written
// into the run's own folder is not synced at all, nor is its folder unless
// a file of the collection was moved there: every file the collection had
// is kept before it is replaced or removed, so those copies are never the
// only ones. A kill loses nothing either way, as each record is written
// before its step. After a power cut, the last batch's steps may lack their
// records; the files they replaced are still in the kept folder.
//
// JournaledRun installs one on the calling thread for the length of a run:
//   {
//       JournaledRun run(runFolder, "fix");
//       ... the run, on this thread ...
//   }
#pragma once

#include <mutex>
#include <set>
#include <string>

#include "archive/file_ops.h"
#include "engine/run_journal.h"

namespace quorvane {

enum class RunSyncs { EachStep, Batched };

class JournalingFileOps final : public FileOps {
public:
    JournalingFileOps(FileOps& inner, RunJournal& journal, RunSyncs syncs = RunSyncs::EachStep);

    using FileOps::openRead;
    int openRead(const std::string& path, const ReadOpen& how) override;
    // A run changes no existing file in place: it writes a new one and renames it over.
    int openReadWrite(const std::string& path) override;
    int createNew(const std::string& path) override;
    ssize_t readAt(int fd, void* buffer, size_t size, uint64_t offset) override {
        return inner_.readAt(fd, buffer, size, offset);
    }
    ssize_t writeAt(int fd, const void* buffer, size_t size, uint64_t offset) override {
        return inner_.writeAt(fd, buffer, size, offset);
    }
    int64_t fileSize(int fd) override { return inner_.fileSize(fd); }
    int statOf(int fd, struct stat& st) override { return inner_.statOf(fd, st); }
    int sync(int fd) override;
    int setModifiedTime(int fd, time_t when) override { return inner_.setModifiedTime(fd, when); }
    int close(int fd) override;
    int modifiedTime(const std::string& path, time_t& when) override { return inner_.modifiedTime(path, when); }
    int rename(const std::string& from, const std::string& to) override;
    int renameNoReplace(const std::string& from, const std::string& to) override;
    int link(const std::string& from, const std::string& to) override;
    int remove(const std::string& path) override;
    int syncFolder(const std::string& folder) override;
    int makeFolder(const std::string& path) override;
    int removeFolder(const std::string& path) override;
    int makeFolderPath(const std::string& path) override;

    static constexpr size_t kStepsPerBatch = 256;
    // Makes the batch's waiting syncs now; false when one failed
    // (syncError() says why; the first failure is kept).
    bool flushSyncs();
    int syncError() {
        std::lock_guard lock(mutex_);
        return syncError_;
    }

private:
    bool inRunFolder(const std::string& path) const;
    bool madeByRun(const FileIdentity& id);
    // Records the move of the file at `from`, durable unless it is one this
    // run made and nothing was kept for it: such a file moving to its place
    // needs no sync of its record first (were the record lost, undo would
    // leave that file behind, never lose one).
    bool recordRename(const std::string& from, const std::string& to, bool kept);
    // Keeps the file at `path`, unless there is none or this run made it
    // (`kept` says which); false (errno set) when it cannot.
    bool keep(const std::string& path, bool& kept);
    bool copyFile(const std::string& from, const std::string& to);
    int trackRunFolderFile(int fd);
    // Notes a file of the collection moving into the run folder.
    void noteMoveIn(const std::string& from, const std::string& to);
    bool record(JournalRecord::Kind kind, const std::string& path, const std::string& other = {}, bool durable = false,
                std::optional<FileIdentity> identity = std::nullopt);
    int refuse();
    // The folder at `path` and those under it may be gone: makeFolderPath looks again.
    void forgetRunFolders(const std::string& path);
    // Counts a recorded step, ending the batch when it is full.
    void stepRecorded();

    FileOps& inner_;
    RunJournal& journal_;
    std::string runPrefix_;
    std::mutex mutex_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> madeFiles_;  // device, inode
    std::set<std::string> madeFolders_;
    // Folders of the run folder made or found by makeFolderPath, until removed.
    std::set<std::string> runFoldersThere_;
    // The batch's waiting syncs.
    std::set<std::string> foldersToSync_;
    bool journalToSync_ = false;
    size_t stepsInBatch_ = 0;
    int syncError_ = 0;
    std::set<int> runFolderFiles_;  // open descriptors of files in the run folder
    // Folders of the run folder that a file of the collection was moved into:
    // the only ones there whose syncs matter.
    std::set<std::string> foldersHoldingMoves_;
    const bool batched_;
};

// A run whose changes, made on the calling thread while it lives, can be undone.
class JournaledRun {
public:
    JournaledRun(std::string runFolder, std::string command, RunSyncs syncs = RunSyncs::EachStep);
    // Makes the last batch durable and records the run's end.
    ~JournaledRun();
    JournaledRun(const JournaledRun&) = delete;
    JournaledRun& operator=(const JournaledRun&) = delete;

    // A system (or folder) the run works on, for the history and for undo.
    void noteSystem(const std::string& name) { journal_.noteSystem(name); }
    // Makes every change so far durable; 0, or the errno of the first sync
    // that failed during the run.
    int finishSyncs();

private:
    RunJournal journal_;
    JournalingFileOps ops_;
    ScopedThreadFileOps scope_;
};

}  // namespace quorvane
