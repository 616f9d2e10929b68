// Writing one archive entry's data into a folder as a file of its own.
//
// On disk: the data goes first into a temporary file in the target folder
// (uniqueTempPath), then is renamed to the name, or to its first free variant
// (freeNameIn): an existing file is never replaced, and a failed entry leaves
// nothing behind.
#pragma once

#include <string>

#include "archive/file_ops.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"

namespace quorvane {

struct WrittenEntry {
    ZipStatus status = ZipStatus::Ok;
    std::string path;  // where the entry was written
    std::string why;   // on failure: what went wrong, in words
};

// Renames the finished file `temp` to `name` in `folder`, or to its first
// free variant (freeNameIn); `path` receives the name tried last. 0, or the
// errno of the failed rename.
int moveToFreeName(FileOps& ops, const std::string& temp, const std::string& folder, const std::string& name,
                   std::string& path);

// What is flushed to disk before a written entry is done: nothing, its data
// (before it takes its name), or its data and the folder that names it.
enum class EntrySync { None, Data, DataAndName };

// Writes the current entry of `source` (described by `entry`), its data
// checked for length and CRC, into `folder` as `name` or a free variant,
// dated with the entry's date, flushed to disk as `sync` says.
WrittenEntry writeEntryToFolder(const ZipSource& source, const ZipEntry& entry, const std::string& folder,
                                const std::string& name, EntrySync sync);

}  // namespace quorvane
