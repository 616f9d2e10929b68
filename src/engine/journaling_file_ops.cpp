#include "engine/journaling_file_ops.h"

#include <cerrno>

#include "core/file_util.h"
#include "engine/disk_files.h"

namespace quorvane {

JournaledRun::JournaledRun(std::string runFolder, std::string command)
    : journal_(std::move(runFolder), std::move(command), {}, fileOps()), ops_(fileOps(), journal_), scope_(ops_) {}

JournalingFileOps::JournalingFileOps(FileOps& inner, RunJournal& journal)
    : inner_(inner), journal_(journal), runPrefix_(joinPath(journal.runFolder(), "")) {}

bool JournalingFileOps::inRunFolder(const std::string& path) const {
    const std::string whole = absolutePath(path);
    return whole.compare(0, runPrefix_.size(), runPrefix_) == 0;
}

bool JournalingFileOps::runMade(const std::string& path) {
    const std::optional<FileIdentity> id = FileIdentity::of(path);
    return id && madeByRun(*id);
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
                               bool durable) {
    // Undo may run from another working folder.
    JournalRecord r;
    r.kind = kind;
    r.path = absolutePath(path);
    r.other = other.empty() ? other : absolutePath(other);
    if (kind == JournalRecord::Kind::Rename) r.identity = FileIdentity::of(path);
    errno = 0;
    return journal_.add(r, durable);
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
    // The link needs no sync of its own: the journal's sync before the
    // replacing step commits it on journalling file systems, and a fix keeps
    // every entry it drops in the backup folder besides.
    if (inner_.link(path, r.other) == 0) return true;
    if (errno != EXDEV && errno != EPERM) return false;
    return copyFile(path, r.other);
}

int JournalingFileOps::openReadWrite(const std::string& path) {
    if (inRunFolder(path)) return inner_.openReadWrite(path);
    const std::optional<FileIdentity> id = FileIdentity::of(path);
    if (id && !madeByRun(*id)) {
        errno = EPERM;
        return -1;
    }
    return inner_.openReadWrite(path);
}

int JournalingFileOps::createNew(const std::string& path) {
    if (inRunFolder(path)) return inner_.createNew(path);
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
    if (inRunFolder(from) && inRunFolder(to)) return inner_.rename(from, to);
    bool kept = false;
    if (!keep(to, kept) || !record(JournalRecord::Kind::Rename, from, to, kept || !runMade(from))) return refuse();
    return inner_.rename(from, to);
}

int JournalingFileOps::renameNoReplace(const std::string& from, const std::string& to) {
    if (inRunFolder(from) && inRunFolder(to)) return inner_.renameNoReplace(from, to);
    if (!record(JournalRecord::Kind::Rename, from, to, !runMade(from))) return refuse();
    return inner_.renameNoReplace(from, to);
}

int JournalingFileOps::link(const std::string& from, const std::string& to) {
    if (inRunFolder(to)) return inner_.link(from, to);
    if (!record(JournalRecord::Kind::Link, from, to)) return refuse();
    return inner_.link(from, to);
}

int JournalingFileOps::remove(const std::string& path) {
    if (inRunFolder(path)) return inner_.remove(path);
    // A file the collection had: the kept file and its record are on the disk before the name goes.
    bool kept = false;
    if (!keep(path, kept) || (kept && !journal_.sync())) return refuse();
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
    if (inRunFolder(path)) return inner_.removeFolder(path);
    {
        std::lock_guard lock(mutex_);
        if (madeFolders_.erase(path) != 0) return inner_.removeFolder(path);
    }
    if (!record(JournalRecord::Kind::Unfolder, path, {}, true)) return refuse();
    return inner_.removeFolder(path);
}

int JournalingFileOps::makeFolderPath(const std::string& path) {
    if (inRunFolder(path) || path.empty()) return inner_.makeFolderPath(path);
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
