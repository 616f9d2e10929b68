// Where a job's run folder in the backup keeps what it moves aside, so a
// person can tell where each file came from without any other record.
//
// On disk, below the run folder ("<backup dir>/<date - time>/"):
//   <source>/<path below the source folder>
//       a whole file or archive moved aside; a file in a sub-folder (a disk
//       image in its game's folder, a file a tool found deeper down) keeps
//       its sub-folders
//   <source>/<archive's path below the source folder>/<entry name>
//       an entry taken out of that archive; the folders of its name are kept
// <source> is the base name of the source folder: a system's folder in the
// collection, or the folder a tool was pointed at. A name already taken gets
// a free variant (freeNameIn) in its own folder only, so entries of the same
// name from two archives never collide; so does a folder whose name a file
// took ("A (1).zip/" when the archive A.zip itself was moved there earlier).
// No name leads outside the run folder: "\" separates folders as "/" does,
// and empty, "." and ".." steps are dropped, so "../x" and "/abs" become "x"
// and "abs".
//
// How to use:
//   const BackupTree backup(runFolder, system.path);
//   moveIntoBackup(path, backup.forFile(path), &movedTo);
//   const BackupPlace place = backup.forEntry(archivePath, entryName);
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

struct BackupPlace {
    std::string folder;  // may not exist yet: see make()
    std::string name;

    // Creates the folder and its parents; true when it exists after.
    bool make() const;
};

class BackupTree {
public:
    BackupTree(std::string runFolder, std::string_view sourceFolder);

    const std::string& runFolder() const { return runFolder_; }
    // The place of the file or archive at `path`, moved aside whole.
    BackupPlace forFile(const std::string& path) const;
    // The place of the entry `entryName` taken out of the archive at `archivePath`.
    BackupPlace forEntry(const std::string& archivePath, std::string_view entryName) const;

    // The steps of a name separated by "/" or "\" that can each name a file
    // in a folder: empty, "." and ".." steps left out, NUL made "_".
    static std::vector<std::string> safeSteps(std::string_view name);

private:
    // `path`'s steps below the source folder; its base name alone when it is
    // not below it.
    std::vector<std::string> stepsBelowSource(const std::string& path) const;
    BackupPlace placeOf(const std::vector<std::string>& steps) const;

    std::string runFolder_;
    std::string sourceFolder_;  // without a trailing "/"
    std::string top_;           // the run folder + the source folder's name
};

// Moves the file `from` to `place` (made first), or to a free variant of its
// name there: see moveIntoFolder. 0, or -1 with errno set.
int moveIntoBackup(const std::string& from, const BackupPlace& place, std::string* finalPath = nullptr);

}  // namespace quorvane
