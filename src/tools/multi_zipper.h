// The multi-zipper: puts loose files into zip archives, one archive per
// file, or unpacks archives, a whole folder tree at a time.
//
// How to use:
//   ZipWorkList list;
//   addFolderToZip(folder, list);          // or addFolderToUnzip
//   ozippatore engine(list, {});           // starts working at once
//   engine.wait();
//
// A path holding ".zip" anywhere (letter case as written) is unpacked next
// to itself; any other path is added to the archive named by
// targetArchiveName, under its own file name, replacing an entry of that
// name. Sources and archives stay where they are.
#pragma once

#include <functional>
#include <string>
#include <thread>

#include "tools/zip_work_list.h"

namespace quorvane {

// Every file below `folder` (sub-folders too, names sorted within a folder;
// hidden dot-files are not listed) whose name contains none of ".zip",
// ".rar" and ".txt" (case-sensitive containment) is appended to `list`.
void addFolderToZip(const std::string& folder, ZipWorkList& list);
// The same walk, appending only files whose name contains ".zip".
void addFolderToUnzip(const std::string& folder, ZipWorkList& list);

// game.bin -> game.zip; a.jpeg2 -> a.jpeg2.zip; README -> README.zip: the
// first "." among the last five characters of the file name ends the stem.
std::string targetArchiveName(const std::string& path);

// Zips or unzips one path. 0, or the zip layer's code of the first failure
// (kZipSourceMissing when a file to zip is gone: then nothing is written).
int zipOrUnzip(const std::string& path);

// The engine: works the list off from the front on a thread of its own,
// which starts when the engine is made and ends when the list is empty.
class ozippatore {
public:
    struct Listener {
        // false when the engine starts ("Start!" disabled), true when it ends.
        std::function<void(bool startEnabled)> startEnabled;
        // After each path, with zipOrUnzip's result.
        std::function<void(const std::string& path, int status)> processed;
    };

    ozippatore(ZipWorkList& list, Listener listener);
    ~ozippatore() { wait(); }
    ozippatore(const ozippatore&) = delete;
    ozippatore& operator=(const ozippatore&) = delete;

    void wait();

private:
    void run();

    ZipWorkList& list_;
    Listener listener_;
    std::thread thread_;
};

}  // namespace quorvane
