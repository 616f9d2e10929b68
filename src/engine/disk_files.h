// Putting a CHD where a game wants it. A disk image is a file of its own,
// not an archive entry, and often gigabytes, so it is renamed or hard-linked
// where possible and streamed only when it must be. Every disk call goes
// through the seam (fileOps()), and nothing ever replaces an existing file.
#pragma once

#include <functional>
#include <string>

namespace quorvane {

// Answers whether the person asked to stop; a long copy checks it between blocks.
using CancelCheck = std::function<bool()>;

class FileOps;

// Streams `from` into the new file `to` through `ops` and syncs it. False,
// errno set, with `to` removed, on any failure.
bool streamCopy(FileOps& ops, const std::string& from, const std::string& to, const CancelCheck& cancelled = {});

// Makes a second, independent name for `from` at `to` (which must not
// exist): a hard link where the file system allows, else a copy streamed to
// a temporary name in `tempFolder` (where a later run finds what a killed
// one left), synced and renamed to `to`. 0, or -1 with errno set (ECANCELED
// when cancelled); on failure nothing is left at `to` or in `tempFolder`.
int copyDisk(const std::string& from, const std::string& to, const std::string& tempFolder,
             const CancelCheck& cancelled = {});

// Renames `from` to `to` (which must not exist); across file systems a
// copyDisk, and the source removed only once the copy is complete. 0, or -1
// with errno set, `from` then unchanged.
int moveDisk(const std::string& from, const std::string& to, const std::string& tempFolder,
             const CancelCheck& cancelled = {});

// Makes the folder `to` is in when it is missing. False, errno set, when it
// cannot be made.
bool makeParentFolder(const std::string& to);

// Removes `folder` when it is empty (a game folder a move emptied); anything
// left in it keeps it.
void removeIfEmpty(const std::string& folder);

}  // namespace quorvane
