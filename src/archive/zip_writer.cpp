#include "archive/zip_writer.h"

#include <optional>

#include "archive/archive_bytes.h"
#include "archive/dos_time.h"
#include "archive/empty_zip.h"
#include "archive/raw_copy.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_reader.h"
#include "archive/zip_status.h"
#include "archive/zip_update.h"
#include "core/file_util.h"

namespace quorvane {
namespace {

// The existing archive being extended: a read handle, or none when the
// archive has no entries (minizip cannot open those).
struct Original {
    unzFile zip = nullptr;
    int fd = -1;
    const unsigned char* image = nullptr;
    uint64_t imageSize = 0;
    ~Original() {
        if (zip) unzClose(zip);
    }
};

ZipStatus openOriginal(const std::string& path, FileOps& ops, Original& original, const ArchiveBytes* read = nullptr) {
    original.zip = openUnzipFrom(read, path, ops, &original.fd);
    if (read != nullptr && read->whole()) {
        original.image = read->tail();
        original.imageSize = read->tailSize();
    }
    if (original.zip || isEmptyZip(path, ops)) return ZipStatus::Ok;
    return ZipStatus::Error;
}

}  // namespace

ZipWriter::ZipWriter(std::string archivePath, FileOps& ops) : path_(std::move(archivePath)), ops_(&ops) {}

ZipWriter::~ZipWriter() { close(); }

ZipStatus ZipWriter::open() {
    close();
    if (pathExists(path_)) {
        // Only check that it is an archive: nothing is written until addFile.
        Original original;
        if (openOriginal(path_, *ops_, original) != ZipStatus::Ok) return ZipStatus::Error;
    } else if (!isDirectory(dirName(path_).empty() ? "." : dirName(path_))) {
        return ZipStatus::Error;
    }
    open_ = true;
    return ZipStatus::Ok;
}

ZipStatus ZipWriter::close() {
    open_ = false;
    return ZipStatus::Ok;
}

ZipStatus ZipWriter::addFile(const std::string& sourcePath, std::string_view entryName,
                             const ExpectedContent* expected, uint64_t skipBytes) {
    if (!open_ && open() != ZipStatus::Ok) return ZipStatus::Error;
    ZipUpdate update(path_);
    update.addFile(sourcePath, std::string(entryName), expected ? std::optional(*expected) : std::nullopt, skipBytes);
    const ZipStatus status = update.commit(*ops_);
    return status != ZipStatus::Ok ? status : update.result(0);
}

ZipStatus rewriteArchive(const std::string& path, const std::function<bool(const ZipEntry&)>& leaveOut,
                         const std::function<ZipStatus(ZipFileWriter& out, const ZipSource* original)>& addEntries,
                         FileOps& ops, ArchiveHolds holds, const ArchiveBytes* read) {
    const bool replacing = (read != nullptr && read->loaded()) || pathExists(path);
    const bool sync = replacing && holds == ArchiveHolds::UserFiles;
    Original original;
    if (replacing && openOriginal(path, ops, original, read) != ZipStatus::Ok) return ZipStatus::Error;

    const std::string folder = dirName(path);
    const std::string temp = uniqueTempPath(folder, baseName(path));
    // Syncing matters only when an old archive is about to be replaced; a new
    // one holds nothing but copies.
    ZipFileWriter out(ops);
    if (!out.create(temp, /*syncOnFinish=*/sync)) return ZipStatus::Error;
    ZipStatus status = ZipStatus::Ok;
    const ZipSource source{original.zip, path, ops, original.fd, original.image, original.imageSize};
    if (original.zip) {
        int kept = 0;
        status = copyEntriesRaw(source, out, leaveOut, kept);
    }
    if (status == ZipStatus::Ok) status = addEntries(out, original.zip ? &source : nullptr);
    if (status == ZipStatus::Ok) status = out.finish();
    if (status == ZipStatus::Ok) {
        // A new archive must not land on a file that appeared meanwhile.
        const int moved = replacing ? ops.rename(temp, path) : ops.renameNoReplace(temp, path);
        if (moved != 0) status = ZipStatus::CannotReplace;
    }
    if (status != ZipStatus::Ok) {
        out.abandon();
        ops.remove(temp);
        return status;
    }
    if (sync) ops.syncFolder(folder);
    return ZipStatus::Ok;
}

}  // namespace quorvane
