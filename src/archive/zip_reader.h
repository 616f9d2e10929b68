// The read side of one archive: extract entries into a folder, remove an
// entry. Every operation names its target folder; nothing depends on the
// process's working directory.
//
// How to use:
//   ZipReader unzip(archivePath);
//   if (unzip.open() != ZipStatus::Ok) ...;
//   ZipStatus status = unzip.extractFile("dir/rom.bin", folder, /*removeAfterwards=*/true);
//   unzip.close();
//
// On disk: an entry is written under the last component of its name (after
// the last "/" or "\"), first into a temporary file in the target folder and
// then renamed to that name, so a failed extraction never leaves a truncated
// file. An extraction never replaces a file: when the name is taken, the
// entry gets the first free variant of it ("name (1).ext", see freeNameIn). removeFile writes the new archive beside
// the old one as kTempPrefix + "<pid>-<n>-" + the archive's file name (see uniqueTempPath), syncs it and renames it
// over the original: at every moment the archive exists complete, either old or new.
#pragma once

#include <minizip/unzip.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/entry_output.h"
#include "archive/file_ops.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"

namespace quorvane {

class ArchiveBytes;

class ZipReader {
public:
    explicit ZipReader(std::string archivePath, FileOps& ops = fileOps());
    // Reads the archive from `bytes` when they hold its whole file (read
    // already; they must outlive this object) until this object changes the
    // archive; from the file when they do not, or are null.
    ZipReader(std::string archivePath, const ArchiveBytes* bytes, FileOps& ops = fileOps());
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    const std::string& path() const { return path_; }
    bool isOpen() const { return zip_ != nullptr; }

    // Ok, or Error if the archive cannot be opened.
    ZipStatus open();
    // Always Ok; closing twice is harmless.
    ZipStatus close();

    // Writes the first entry named exactly `entryName` into `folder` (see
    // the top of this file), with the entry's date as its last-write time.
    // With `removeAfterwards`, the written file is synced and then that one
    // entry is removed (the result is removeEntry's). Error if there is
    // no such entry, or its name ends in a folder separator, "." or "..".
    // `writtenPath` (optional) receives the path of the file written.
    ZipStatus extractFile(std::string_view entryName, const std::string& folder, bool removeAfterwards,
                          std::string* writtenPath = nullptr);
    // The same for the first entry that matches `key`; EntryGone when
    // none does. The data is checked against the key's CRC as it is read.
    ZipStatus extractEntry(const EntryKey& key, const std::string& folder, bool removeAfterwards,
                           std::string* writtenPath = nullptr);
    // The same, never removing it, its data flushed to disk before it takes
    // its name (the folder is not flushed).
    ZipStatus extractEntrySynced(const EntryKey& key, const std::string& folder, std::string* writtenPath);

    // Rebuilds the archive without the first entry named exactly
    // `entryName` (other entries of that name stay), copying the others'
    // compressed bytes unchanged. When nothing matches the archive is left
    // untouched; when nothing is left it is deleted. Closes this object
    // either way.
    ZipStatus removeFile(std::string_view entryName);
    // The same for the first entry that matches `key`; EntryGone (and
    // the archive untouched) when none does.
    ZipStatus removeEntry(const EntryKey& key);
    // The same for one entry of each key, in one new version of the archive
    // (a key given twice takes two entries that match it); EntryGone (and
    // the archive untouched) when one of them is not there.
    ZipStatus removeEntries(const std::vector<EntryKey>& keys);

    // Extracts every entry of non-zero size into `folder` (names already
    // taken get free variants, as above). Ok, or Error
    // at the first entry that cannot be read or written.
    ZipStatus extractAll(const std::string& folder);

private:
    using EntryMatch = std::function<bool(const ZipEntry& entry)>;
    // Makes the first entry that `match` accepts current: Ok,
    // EntryGone when none does, Error when the directory cannot be
    // walked. `position` receives its place in the directory.
    ZipStatus locate(const EntryMatch& match, size_t* position = nullptr);
    ZipStatus extract(const EntryMatch& match, std::string_view entryName, const std::string& folder,
                      bool removeAfterwards, EntrySync sync, std::string* writtenPath);
    ZipStatus remove(const EntryMatch& match);
    // Rewrites the archive without the entries at `positions` (in index_).
    ZipStatus removeAt(const std::vector<size_t>& positions);
    ZipStatus writeCurrentEntry(const ZipEntry& entry, const std::string& outputName, const std::string& folder,
                                EntrySync sync, std::string* writtenPath);
    ZipSource source() const;

    std::string path_;
    FileOps* ops_;
    unzFile zip_ = nullptr;
    int fd_ = -1;  // zip_'s descriptor
    const ArchiveBytes* bytes_ = nullptr;  // what zip_ reads, when in memory
    // Every entry and its position, read on the first lookup.
    std::vector<std::pair<ZipEntry, unz64_file_pos>> index_;
    bool indexed_ = false;
};

// The part of an entry name after its last "/" or "\".
std::string entryFileName(std::string_view entryName);

}  // namespace quorvane
