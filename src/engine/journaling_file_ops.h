// The file layer of a run that can be undone: every change it makes outside
// the run's backup folder is first recorded in the run's journal, and a file
// about to be replaced or removed is first kept (a hard link in the backup
// folder, or a copy where links cannot reach). Reads and writes into the
// run's own new files pass straight through.
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

class JournalingFileOps final : public FileOps {
public:
    JournalingFileOps(FileOps& inner, RunJournal& journal);

    int openRead(const std::string& path) override { return inner_.openRead(path); }
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
    int sync(int fd) override { return inner_.sync(fd); }
    int setModifiedTime(int fd, time_t when) override { return inner_.setModifiedTime(fd, when); }
    int close(int fd) override { return inner_.close(fd); }
    int modifiedTime(const std::string& path, time_t& when) override { return inner_.modifiedTime(path, when); }
    int rename(const std::string& from, const std::string& to) override;
    int renameNoReplace(const std::string& from, const std::string& to) override;
    int link(const std::string& from, const std::string& to) override;
    int remove(const std::string& path) override;
    int syncFolder(const std::string& folder) override { return inner_.syncFolder(folder); }
    int makeFolder(const std::string& path) override;
    int removeFolder(const std::string& path) override;
    int makeFolderPath(const std::string& path) override;

private:
    bool inRunFolder(const std::string& path) const;
    bool madeByRun(const FileIdentity& id);
    // Whether the file at `path` is one this run made. Such a file moving to
    // its place needs no sync of its record first: were the record lost, undo
    // would leave that file behind, never lose one.
    bool runMade(const std::string& path);
    // Keeps the file at `path`, unless there is none or this run made it
    // (`kept` says which); false (errno set) when it cannot.
    bool keep(const std::string& path, bool& kept);
    bool copyFile(const std::string& from, const std::string& to);
    bool record(JournalRecord::Kind kind, const std::string& path, const std::string& other = {},
                bool durable = false);
    int refuse();

    FileOps& inner_;
    RunJournal& journal_;
    std::string runPrefix_;
    std::mutex mutex_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> madeFiles_;  // device, inode
    std::set<std::string> madeFolders_;
};

// A run whose changes, made on the calling thread while it lives, can be undone.
class JournaledRun {
public:
    JournaledRun(std::string runFolder, std::string command);
    // Records the run's end.
    ~JournaledRun() { journal_.finish(); }
    JournaledRun(const JournaledRun&) = delete;
    JournaledRun& operator=(const JournaledRun&) = delete;

    // A system (or folder) the run works on, for the history and for undo.
    void noteSystem(const std::string& name) { journal_.noteSystem(name); }

private:
    RunJournal journal_;
    JournalingFileOps ops_;
    ScopedThreadFileOps scope_;
};

}  // namespace quorvane
