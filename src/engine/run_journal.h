// The journal of one run that changes a collection (fix, rebuild, the
// multi-zipper, TorrentZip and format conversion): what it did to which
// path, so that undo can take every step back. It lives in the run's backup
// folder as ".quorvane-journal", next to ".quorvane-kept/", where the run keeps
// each file it replaces or removes as a hard link (or a copy where the backup
// folder is on another file system).
//
// Format: UTF-8 text, one record per line, fields separated by a tab. In a
// field, "\\" stands for a backslash, "\t" for a tab, "\n" for a line feed and
// "\r" for a carriage return. A last line without its line feed (a run killed
// while writing it) is ignored. The lines:
//   quorvane journal 1                the first line
//   run <unix time> <command>         when the run started, and what it was
//   system <name>                     a system (or folder) the run worked on; repeated
//   create <path>                     a new file is about to be made at path
//   folder <path>                     a new folder is about to be made at path
//   unfolder <path>                   an empty folder is about to be removed
//   keep <path> <kept> <identity>     the file at path is kept as kept before it is
//                                     replaced or removed (identity: that file's)
//   rename <from> <to> <identity>     from is about to be renamed to to (identity: its file's)
//   link <from> <to>                  a second name to for from is about to be made
//   done <unix time>                  the run ended
//   undone <unix time>                the run was undone
//   set-aside <path> <to>             undo moved a file the run had made into the backup folder
// An identity is "<device>:<inode>:<size>:<modification time in ns>".
// Each record is written before its step, so a run killed half way has a
// record of every step it may have taken; undo finds out from the files
// themselves which of them it did.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

class FileOps;

// What tells one file from another, and from itself after a change.
struct FileIdentity {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
    // The file at `path` (not following a last symbolic link); none when there is none.
    static std::optional<FileIdentity> of(const std::string& path);
    static std::optional<FileIdentity> ofOpen(int fd);
    std::string text() const;
    static std::optional<FileIdentity> parse(const std::string& text);
    // Device and inode: the same file under two names.
    bool sameFile(const FileIdentity& other) const { return device == other.device && inode == other.inode; }
};

struct JournalRecord {
    enum class Kind { Create, Folder, Unfolder, Keep, Rename, Link, Done, Undone, SetAside };
    Kind kind = Kind::Create;
    std::string path;   // the path the step is about (rename, link: the source)
    std::string other;  // keep: the kept file; rename, link, set-aside: the destination
    std::optional<FileIdentity> identity;
    std::time_t when = 0;  // done, undone
};

struct JournalContents {
    std::time_t started = 0;
    std::string command;
    std::vector<std::string> systems;
    std::vector<JournalRecord> steps;  // everything but done, undone and set-aside
    bool done = false;
    bool undone = false;
};

inline constexpr const char* kJournalName = ".quorvane-journal";
inline constexpr const char* kKeptFolderName = ".quorvane-kept";

// Reads the journal at `path`; none when it cannot be read or is not one.
std::optional<JournalContents> readJournal(const std::string& path);

class RunJournal {
public:
    // Nothing is written until the first record: a run that changes nothing leaves no journal.
    RunJournal(const std::string& runFolder, std::string command, std::vector<std::string> systems, FileOps& ops);
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    const std::string& runFolder() const { return runFolder_; }
    // Appends `record`; with `durable`, it is on the disk before this returns.
    // False when it could not be written: the step must not be taken.
    bool add(const JournalRecord& record, bool durable);
    // Everything added so far is on the disk.
    bool sync();
    // A fresh path in the kept folder for a copy of `path`.
    std::string keptPathFor(const std::string& path);
    // `system` is one the run works on (written once, with the first record or at once).
    void noteSystem(const std::string& system);
    // Writes "done" when anything was recorded.
    void finish();
    bool started() const { return fd_ >= 0; }

private:
    bool open();

    std::string runFolder_, command_;
    std::vector<std::string> systems_;
    FileOps& ops_;
    std::mutex mutex_;
    int fd_ = -1;
    std::uint64_t end_ = 0;
    unsigned kept_ = 0;
    bool keptFolderMade_ = false;
};

// A path in `backupDir` for a run started at `when` that no other run has:
// the time's folder name, or it followed by " (2)", " (3)"...
std::string uniqueRunFolder(const std::string& backupDir, std::time_t when);

// Appends one record to an existing journal (undo's own records); false on failure.
bool appendToJournal(const std::string& path, const JournalRecord& record);

}  // namespace quorvane
