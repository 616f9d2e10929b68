// The multi-zipper: puts loose files into zip archives, one archive per
// file, or unpacks archives, a whole folder tree at a time.
//
// How to use:
//   ZipWorkList list;
//   addFolderToZip(folder, list);          // or addFolderToUnzip
//   MultiZipper engine(list, {}, {.backupRoot = settings.backupDir});  // starts at once
//   engine.wait();
//
// A path holding ".zip" anywhere (letter case as written), or named as a 7z,
// RAR, gzip or tar archive (packedFormatOf), is unpacked next to itself,
// entry by entry: an entry that cannot be written is reported and
// the others still are. Any other path is added to the archive named by
// targetArchiveName, under its own file name. An entry of that name already
// in the archive with other content (each one, where several share the name)
// is first kept in the run's backup folder; one with the same CRC and size is
// simply replaced. Sources and archives stay where they are. A kept entry's
// place in the run's folder is named after the folder the walk started in,
// the archive's path below it and the entry's name (see backup_tree.h).
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "archive/zip_status.h"
#include "tools/zip_work_list.h"

namespace quorvane {

// Every file below `folder` (sub-folders too, names sorted within a folder;
// hidden dot-files are not listed) whose name contains none of ".zip",
// ".rar" and ".txt" (case-sensitive containment) and is named as no packed
// archive is appended to `list`.
void addFolderToZip(const std::string& folder, ZipWorkList& list);
// The same walk, appending only files whose name contains ".zip" or is
// named as a packed archive.
void addFolderToUnzip(const std::string& folder, ZipWorkList& list);

// game.bin -> game.zip; a.jpeg2 -> a.jpeg2.zip; README -> README.zip: the
// first "." among the last five characters of the file name ends the stem.
std::string targetArchiveName(const std::string& path);

struct ZipperOptions {
    // Replaced entries go into a folder below this one, named by the time it
    // was first needed and made then. Empty: a file whose archive holds an
    // entry of its name with other content is not zipped.
    std::string backupRoot;
};

// What became of one path: lines for the person, and whether all was done.
struct ZipperResult {
    ZipStatus status = ZipStatus::Ok;   // the zip layer's code of the first failure
    std::vector<std::string> kept;      // one line per replaced entry kept
    std::vector<std::string> failures;  // one line per failure: archive, entry, why
    bool ok() const { return failures.empty(); }
};

// The backup folder of one run of the engine, made on first need; the
// run's journal is kept there too.
class ZipperBackup {
public:
    explicit ZipperBackup(std::string root) : root_(std::move(root)) {}
    // The folder, made if needed; empty after setting `why` when it cannot be.
    std::string folder(std::string& why);
    // Its path, chosen on first call and not made; empty without a root.
    const std::string& path();

private:
    std::string root_;
    std::string path_;
    std::string folder_;
};

// Zips or unzips one path found below the folder `root` (SourceMissing when
// a file to zip is gone: then nothing is written).
ZipperResult zipOrUnzip(const std::string& path, const std::string& root, ZipperBackup& backup);

// The engine: works the list off from the front on a thread of its own,
// which starts when the engine is made and ends when the list is empty.
class MultiZipper {
public:
    struct Listener {
        // false when the engine starts ("Start!" disabled), true when it ends.
        std::function<void(bool startEnabled)> startEnabled;
        // After each path, with zipOrUnzip's result.
        std::function<void(const std::string& path, const ZipperResult& result)> processed;
    };

    MultiZipper(ZipWorkList& list, Listener listener, ZipperOptions options = {});
    ~MultiZipper() { wait(); }
    MultiZipper(const MultiZipper&) = delete;
    MultiZipper& operator=(const MultiZipper&) = delete;

    void wait();

private:
    void run();

    ZipWorkList& list_;
    Listener listener_;
    ZipperBackup backup_;
    std::thread thread_;
};

}  // namespace quorvane
