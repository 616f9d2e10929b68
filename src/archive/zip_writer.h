// The write side of one archive: add a disk file as an entry, replacing an
// entry of the same name.
//
// How to use:
//   ZipWriter zip(archivePath);
//   if (zip.open() != ZipStatus::Ok) ...;
//   ZipStatus status = zip.addFile(sourcePath, entryName);
//   zip.close();
//
// open() creates a new archive only when no file of that name exists; an
// existing file that is not a readable zip is an error, never truncated.
//
// On disk: addFile never writes into the archive itself. It writes a new
// archive beside it (kTempPrefix + "<pid>-<n>-" + the archive's file name,
// see uniqueTempPath) holding the kept entries' compressed bytes and the new
// entry, and renames that over the archive; when it replaces an existing
// archive it syncs the new one first and the folder after. At every moment
// the archive is complete, old or new; a failure leaves the old one untouched
// and no temporary file. A new archive that replaces nothing is not synced:
// it holds only copies, and the rename that names it cannot take anyone's
// file (renameNoReplace). ZipUpdate (zip_update.h) adds many entries by one
// such rewrite.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "archive/file_ops.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_file_writer.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"

namespace quorvane {

class ArchiveBytes;

// The content a source file must hold for addFile to take it: the file may
// have changed since it was identified.
struct ExpectedContent {
    uint32_t crc32 = 0;
    uint64_t size = 0;
};

class ZipWriter {
public:
    explicit ZipWriter(std::string archivePath, FileOps& ops = fileOps());
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    const std::string& path() const { return path_; }
    bool isOpen() const { return open_; }

    // Ok, or Error if the archive can be neither extended nor created.
    ZipStatus open();
    // Always Ok: every addFile is complete on disk when it returns.
    ZipStatus close();

    // Deflates `sourcePath` (kPlainZipLevel, libdeflate) into the entry `entryName`, dated
    // with the source's last-write time. An entry of exactly that name is
    // removed first. SourceMissing when the source cannot be read; then
    // the archive is untouched. With `expected`, data of another CRC or size
    // is refused (CrcError) and the archive is untouched. With `skipBytes`
    // the entry holds the source from that byte on (a copier header left
    // out); `expected` then describes what it holds. The archive stays open
    // for close().
    ZipStatus addFile(const std::string& sourcePath, std::string_view entryName,
                      const ExpectedContent* expected = nullptr, uint64_t skipBytes = 0);

private:
    std::string path_;
    FileOps* ops_;
    bool open_ = false;
};

// The write step under addFile, for callers that make their entries
// themselves: writes a new version of the archive `path` beside it (the old
// entries `leaveOut` does not name, raw, then whatever `addEntries` writes
// into the new archive) and puts it in place as described at the top of
// this file. `addEntries` is handed the old archive, open, to take entries
// from (null when there was none), and returns Ok or a failing status. An
// existing `path` that is not a readable zip is Error and stays untouched.
//
// Replacing an archive syncs the new one and its folder, so a power cut can
// never leave a torn archive where a whole one was. ArchiveHolds::CopiesOnly
// says the old archive holds nothing but copies of files that still exist
// elsewhere (the same job made it from them), so tearing it would lose
// nothing; the syncs are then left out, as for a new archive.
//
// `read`: the old archive's whole file, read already by the caller, which
// the old entries are then taken from instead of reading it again.
enum class ArchiveHolds { UserFiles, CopiesOnly };
ZipStatus rewriteArchive(const std::string& path, const std::function<bool(const ZipEntry&)>& leaveOut,
                         const std::function<ZipStatus(ZipFileWriter& out, const ZipSource* original)>& addEntries,
                         FileOps& ops = fileOps(), ArchiveHolds holds = ArchiveHolds::UserFiles,
                         const ArchiveBytes* read = nullptr);

}  // namespace quorvane
