// Entries made ready for a target archive away from the job's own thread,
// so a rebuild can deflate several source files at once and still write
// its archives one after another in source order.
//
// How to use:
//   PreparedEntry p;                          // on a worker
//   if (prepareLooseFile(path, p)) ...        // read and deflated once
//   addPreparedEntry(archivePath, romName, p) // later, on the job's thread
//   copyEntryRaw(sourceZip, entry, archivePath, romName)
//
// addPreparedEntry writes the same bytes ZipWriter::addFile would write for
// the same file (same deflate settings, date and header fields); the
// deflating merely happened earlier.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "archive/zip_writer.h"
#include "core/records.h"

namespace quorvane {

// Files above this size are left to the job's thread: a few of them read
// ahead at once would hold too much memory.
inline constexpr uint64_t kPrepareSizeLimit = 4 * 1024 * 1024;

struct PreparedEntry {
    bool ready = false;
    uint32_t crc = 0;
    uint64_t size = 0;
    time_t modified = 0;
    bool text = false;     // deflate saw text: minizip records it in the internal attributes
    std::string deflated;  // raw deflate stream, as it goes into the archive

    // Whether this is the data of `file` as the job listed it.
    bool matches(const File& file) const;
};

// Reads the loose file at `path` and deflates it into `out`. False (and
// `out` not ready) when it cannot be read or is above kPrepareSizeLimit.
bool prepareLooseFile(const std::string& path, PreparedEntry& out);

// Adds `entry` to `archivePath` as `entryName`, replacing an entry of that
// name; the archive is created when no file of that name exists. Ok, or the
// failing status.
// `holds` as for rewriteArchive.
ZipStatus addPreparedEntry(const std::string& archivePath, const std::string& entryName, const PreparedEntry& entry,
                           ArchiveHolds holds = ArchiveHolds::UserFiles);

// Whether the entry `key` of `sourceZip` is stored deflated, so that
// copyEntryRaw can move its compressed bytes unchanged.
bool isDeflatedEntry(const std::string& sourceZip, const EntryKey& key);

// Copies the entry `key` of `sourceZip` into `archivePath` as `targetName`
// without inflating it: method, compressed bytes, CRC, sizes, date and the
// deflate option bits are kept. The bytes are held in memory before the
// target is touched, so the source may be the target itself. An entry of
// `targetName` is replaced. Ok, or the failing status; Error also for an
// entry above kPrepareSizeLimit (compressed), which the caller copies the
// slow way; EntryGone when the source holds no such entry. The data's
// CRC is not checked here: the job tested the source.
ZipStatus copyEntryRaw(const std::string& sourceZip, const EntryKey& key, const std::string& archivePath,
                       const std::string& targetName, ArchiveHolds holds = ArchiveHolds::UserFiles);

}  // namespace quorvane
