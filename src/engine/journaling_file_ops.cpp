#include "engine/journaling_file_ops.h"

#include <cerrno>
#include <utility>

#include "core/file_util.h"
#include "engine/disk_files.h"

namespace quorvane {

JournaledRun::JournaledRun(std::string runFolder, std::string command, RunSyncs syncs)
    : journal_(std::move(runFolder), std::move(command), {}, fileOps()),
      ops_(fileOps(), journal_, syncs),
      scope_(ops_) {}

JournaledRun::~JournaledRun() {
    ops_.flushSyncs();
    journal_.finish();
}

int JournaledRun::finishSyncs() {
    ops_.flushSyncs();
    return ops_.syncError();
}

JournalingFileOps::JournalingFileOps(FileOps& inner, RunJournal& journal, RunSyncs syncs)
    : inner_(inner), journal_(journal), runPrefix_(joinPath(journal.runFolder(), "")),
      batched_(syncs != RunSyncs::EachStep) {}

bool JournalingFileOps::inRunFolder(const std::string& path) const {
    const std::string whole = absolutePath(path);
    return whole.compare(0, runPrefix_.size(), runPrefix_) == 0;
}

namespace {

// One spelling per folder, whatever the caller's.
std::string folderKey(const std::string& path) {
    std::string whole = absolutePath(path);
    while (whole.size() > 1 && whole.back() == '/') whole.pop_back();
    return whole;
}

}  // namespace

void JournalingFileOps::forgetRunFolders(const std::string& path) {
    const std::string whole = folderKey(path);
    std::lock_guard lock(mutex_);
    for (auto it = runFoldersThere_.lower_bound(whole); it != runFoldersThere_.end() && it->starts_with(whole);) {
        if (it->size() == whole.size() || (*it)[whole.size()] == '/') it = runFoldersThere_.erase(it);
        else ++it;
    }
}

bool JournalingFileOps::recordRename(const std::string& from, const std::string& to, bool kept) {
    // One look at the file, for the record and for whether this run made it.
    std::optional<FileIdentity> id = FileIdentity::of(from);
    const bool durable = kept || !id || !madeByRun(*id);
    return record(JournalRecord::Kind::Rename, from, to, durable, std::move(id));
}

bool JournalingFileOps::madeByRun(const FileIdentity& id) {
    std::lock_guard lock(mutex_);
    return madeFiles_.count({id.device, id.inode}) != 0;
}

int JournalingFileOps::refuse() {
    if (errno == 0) errno = EIO;
    return -1;
}

bool JournalingFileOps::record(JournalRecord::Kind kind, const std::string& path, const std::string& other,
                               bool durable, std::optional<FileIdentity> identity) {
    // Undo may run from another working folder.
    JournalRecord r;
    r.kind = kind;
    r.path = absolutePath(path);
    r.other = other.empty() ? other : absolutePath(other);
    r.identity = std::move(identity);
    errno = 0;
    if (!batched_) return journal_.add(r, durable);
    if (!journal_.add(r, false)) return false;
    if (durable) {
        std::lock_guard lock(mutex_);
        journalToSync_ = true;
    }
    stepRecorded();
    return true;
}

void JournalingFileOps::stepRecorded() {
    bool full = false;
    {
        std::lock_guard lock(mutex_);
        full = ++stepsInBatch_ >= kStepsPerBatch;
    }
    if (full) flushSyncs();
}

bool JournalingFileOps::flushSyncs() {
    std::set<std::string> folders;
    bool journal = false;
    {
        std::lock_guard lock(mutex_);
        folders.swap(foldersToSync_);
        journal = std::exchange(journalToSync_, false);
        stepsInBatch_ = 0;
    }
    bool ok = true;
    auto failed = [&] {
        ok = false;
        std::lock_guard lock(mutex_);
        if (syncError_ == 0) syncError_ = errno != 0 ? errno : EIO;
    };
    if (journal && !journal_.sync()) failed();
    for (const std::string& folder : folders)
        if (inner_.syncFolder(folder) != 0) failed();
    return ok;
}

int JournalingFileOps::trackRunFolderFile(int fd) {
    if (fd >= 0) {
        std::lock_guard lock(mutex_);
        runFolderFiles_.insert(fd);
    }
    return fd;
}

void JournalingFileOps::noteMoveIn(const std::string& from, const std::string& to) {
    if (inRunFolder(from) || !inRunFolder(to)) return;
    std::lock_guard lock(mutex_);
    foldersHoldingMoves_.insert(dirName(absolutePath(to)));
}

int JournalingFileOps::openRead(const std::string& path, const ReadOpen& how) {
    if (inRunFolder(path)) return trackRunFolderFile(inner_.openRead(path, how));
    return inner_.openRead(path, how);
}

int JournalingFileOps::sync(int fd) {
    if (batched_) {
        std::lock_guard lock(mutex_);
        if (runFolderFiles_.count(fd) != 0) return 0;
    }
    return inner_.sync(fd);
}

int JournalingFileOps::close(int fd) {
    {
        std::lock_guard lock(mutex_);
        runFolderFiles_.erase(fd);
    }
    return inner_.close(fd);
}

int JournalingFileOps::syncFolder(const std::string& folder) {
    if (!batched_) return inner_.syncFolder(folder);
    std::string whole = folderKey(folder);
    std::lock_guard lock(mutex_);
    if (inRunFolder(whole) && foldersHoldingMoves_.count(whole) == 0) return 0;
    foldersToSync_.insert(std::move(whole));
    return 0;
}

bool JournalingFileOps::copyFile(const std::string& from, const std::string& to) {
    return streamCopy(inner_, from, to) && inner_.syncFolder(dirName(to)) == 0;
}

bool JournalingFileOps::keep(const std::string& path, bool& kept) {
    kept = false;
    const std::optional<FileIdentity> id = FileIdentity::of(path);
    if (!id || madeByRun(*id)) return true;  // nothing there, or nothing the collection had before
    kept = true;
    JournalRecord r;
    r.kind = JournalRecord::Kind::Keep;
    r.path = absolutePath(path);
    r.other = journal_.keptPathFor(path);
    r.identity = id;
    errno = 0;
    if (!journal_.add(r, false)) return false;
    if (batched_) stepRecorded();
    // The link needs no sync of its own before the step: a journalling
    // file system commits it no later than the replacing step.
    if (inner_.link(path, r.other) == 0) {
        std::lock_guard lock(mutex_);
        if (batched_) foldersToSync_.insert(dirName(r.other));
        return true;
    }
    if (errno != EXDEV && errno != EPERM) return false;
    return copyFile(path, r.other);
}

int JournalingFileOps::openReadWrite(const std::string& path) {
    if (inRunFolder(path)) return trackRunFolderFile(inner_.openReadWrite(path));
    const std::optional<FileIdentity> id = FileIdentity::of(path);
    if (id && !madeByRun(*id)) {
        errno = EPERM;
        return -1;
    }
    return inner_.openReadWrite(path);
}

int JournalingFileOps::createNew(const std::string& path) {
    if (inRunFolder(path)) return trackRunFolderFile(inner_.createNew(path));
    if (!record(JournalRecord::Kind::Create, path)) return refuse();
    const int fd = inner_.createNew(path);
    if (fd >= 0) {
        if (const std::optional<FileIdentity> id = FileIdentity::ofOpen(fd)) {
            std::lock_guard lock(mutex_);
            madeFiles_.insert({id->device, id->inode});
        }
    }
    return fd;
}

int JournalingFileOps::rename(const std::string& from, const std::string& to) {
    if (inRunFolder(from)) {
        forgetRunFolders(from);
        if (inRunFolder(to)) return inner_.rename(from, to);
    }
    bool kept = false;
    if (!keep(to, kept) || !recordRename(from, to, kept)) return refuse();
    noteMoveIn(from, to);
    return inner_.rename(from, to);
}

int JournalingFileOps::renameNoReplace(const std::string& from, const std::string& to) {
    if (inRunFolder(from)) {
        forgetRunFolders(from);
        if (inRunFolder(to)) return inner_.renameNoReplace(from, to);
    }
    if (!recordRename(from, to, false)) return refuse();
    noteMoveIn(from, to);
    return inner_.renameNoReplace(from, to);
}

int JournalingFileOps::link(const std::string& from, const std::string& to) {
    if (inRunFolder(to)) return inner_.link(from, to);
    if (!record(JournalRecord::Kind::Link, from, to)) return refuse();
    return inner_.link(from, to);
}

int JournalingFileOps::remove(const std::string& path) {
    if (inRunFolder(path)) return inner_.remove(path);
    // A file the collection had is kept before the name goes.
    bool kept = false;
    if (!keep(path, kept)) return refuse();
    if (kept && !batched_ && !journal_.sync()) return refuse();
    if (kept && batched_) {
        std::lock_guard lock(mutex_);
        journalToSync_ = true;
    }
    return inner_.remove(path);
}

int JournalingFileOps::makeFolder(const std::string& path) {
    if (inRunFolder(path)) return inner_.makeFolder(path);
    if (!record(JournalRecord::Kind::Folder, path)) return refuse();
    const int result = inner_.makeFolder(path);
    if (result == 0) {
        std::lock_guard lock(mutex_);
        madeFolders_.insert(path);
    }
    return result;
}

int JournalingFileOps::removeFolder(const std::string& path) {
    if (inRunFolder(path)) {
        forgetRunFolders(path);
        return inner_.removeFolder(path);
    }
    {
        std::lock_guard lock(mutex_);
        if (madeFolders_.erase(path) != 0) return inner_.removeFolder(path);
    }
    if (!record(JournalRecord::Kind::Unfolder, path, {}, true)) return refuse();
    return inner_.removeFolder(path);
}

int JournalingFileOps::makeFolderPath(const std::string& path) {
    if (path.empty()) return inner_.makeFolderPath(path);
    if (inRunFolder(path)) {
        // Most files put aside go into a few folders: each is made (or
        // found) once, not looked for again per file.
        const std::string whole = folderKey(path);
        {
            std::lock_guard lock(mutex_);
            if (runFoldersThere_.count(whole) != 0) return 0;
        }
        const int result = inner_.makeFolderPath(path);
        if (result == 0) {
            std::lock_guard lock(mutex_);
            runFoldersThere_.insert(whole);
        }
        return result;
    }
    // Each missing folder from the top down, so undo removes them bottom up.
    std::vector<std::string> missing;
    for (std::string at = path; !at.empty() && at != "/" && !pathExists(at); at = dirName(at))
        missing.push_back(at);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        if (!record(JournalRecord::Kind::Folder, *it)) return refuse();
    const int result = inner_.makeFolderPath(path);
    if (result == 0) {
        std::lock_guard lock(mutex_);
        madeFolders_.insert(missing.begin(), missing.end());
    }
    return result;
}

}  // namespace quorvane
