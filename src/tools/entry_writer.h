// Writes the entries of one archive to disk one by one, reached by their
// place in the central directory rather than by name, so that entries sharing
// a name are each written, and a failed entry does not stop the others.
//
// How to use:
//   EntryWriter archive(path);
//   if (archive.open() != ZipStatus::Ok) ...;
//   ZipEntry entry;
//   for (ZipStatus s = archive.first(entry); s == ZipStatus::Ok; s = archive.next(entry)) {
//       WrittenEntry w = archive.writeCurrent(entry, folder, entryFileName(entry.name), false);
//       if (w.status != ZipStatus::Ok) report(w.why);
//   }
//   if (!archive.reachedEnd()) report(archive.walkError());
//
// Entries are written by writeEntryToFolder (see entry_output.h).
#pragma once

#include <minizip/unzip.h>

#include <string>

#include "archive/entry_output.h"
#include "archive/file_ops.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"

namespace quorvane {

class EntryWriter {
public:
    explicit EntryWriter(std::string archivePath, FileOps& ops = fileOps());
    ~EntryWriter();
    EntryWriter(const EntryWriter&) = delete;
    EntryWriter& operator=(const EntryWriter&) = delete;

    // Ok, or Error when the archive cannot be opened as a zip.
    ZipStatus open();
    // Reads the first (next) entry's header into `entry`: Ok, or another status at
    // the end of the directory or when it cannot be walked (see reachedEnd).
    ZipStatus first(ZipEntry& entry);
    ZipStatus next(ZipEntry& entry);
    // After the walk: true when it stopped at the end of the directory.
    bool reachedEnd() const { return atEnd_; }
    std::string walkError() const;

    // Writes the current entry's data, checked for length and CRC, into
    // `folder` as `name` or a free variant; with `sync` the file and the
    // folder are flushed to disk before this returns.
    WrittenEntry writeCurrent(const ZipEntry& entry, const std::string& folder, const std::string& name,
                              bool sync);

private:
    ZipStatus readHeader(ZipStatus status, ZipEntry& entry);

    std::string path_;
    FileOps* ops_;
    unzFile zip_ = nullptr;
    bool atEnd_ = false;
    ZipStatus walkStatus_ = ZipStatus::Ok;
};

}  // namespace quorvane
