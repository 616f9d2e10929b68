#include "archive/zip_writer.h"

#include <zlib.h>

#include <memory>

#include "archive/dos_time.h"
#include "archive/empty_zip.h"
#include "archive/minizip_io.h"
#include "archive/raw_copy.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_reader.h"
#include "archive/zip_status.h"
#include "core/file_util.h"

namespace quorvane {
namespace {

// Above this size the deflated entry might pass 4 GiB, so its local header
// needs room for ZIP64 sizes (deflate can grow incompressible data a little).
constexpr uint64_t kZip64SourceThreshold = 0xFF000000u;

// Closes a descriptor when it leaves scope.
struct FdCloser {
    FileOps& ops;
    int fd;
    ~FdCloser() {
        if (fd >= 0) ops.close(fd);
    }
};

// The existing archive being extended: a read handle, or none when the
// archive has no entries (minizip cannot open those).
struct Original {
    unzFile zip = nullptr;
    ~Original() {
        if (zip) unzClose(zip);
    }
};

ZipStatus openOriginal(const std::string& path, FileOps& ops, Original& original) {
    original.zip = openUnzip(path, ops);
    if (original.zip || isEmptyZip(path, ops)) return ZipStatus::Ok;
    return ZipStatus::Error;
}

// Deflates the source into a new entry of `out`.
// The entry holds the source from byte `skip` on.
ZipStatus addEntry(zipFile out, FileOps& ops, int sourceFd, int64_t sourceSize, uint64_t skip, time_t modified,
                   std::string_view entryName, const ExpectedContent* expected) {
    zip_fileinfo info{};
    info.dosDate = timeToDosDate(modified);
    const std::string name(entryName);
    const int zip64 = static_cast<uint64_t>(sourceSize) - skip >= kZip64SourceThreshold ? 1 : 0;
    ZipStatus status = fromMinizip(zipOpenNewFileInZip64(out, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                                         Z_DEFLATED, Z_DEFAULT_COMPRESSION, zip64));
    if (status != ZipStatus::Ok) return status;
    std::unique_ptr<char[]> block(new (std::nothrow) char[kCopyBlockSize]);
    if (!block) status = ZipStatus::Error;
    uint64_t offset = skip;
    uLong crc = crc32(0L, Z_NULL, 0);
    while (status == ZipStatus::Ok) {
        const ssize_t n = ops.readAt(sourceFd, block.get(), kCopyBlockSize, offset);
        if (n < 0) status = ZipStatus::Error;
        if (n <= 0) break;
        offset += static_cast<uint64_t>(n);
        if (expected) crc = crc32(crc, reinterpret_cast<const Bytef*>(block.get()), static_cast<uInt>(n));
        status = fromMinizip(zipWriteInFileInZip(out, block.get(), static_cast<unsigned>(n)));
    }
    // The source must not have shrunk or grown under us unnoticed.
    if (status == ZipStatus::Ok && offset != static_cast<uint64_t>(sourceSize)) status = ZipStatus::Error;
    if (status == ZipStatus::Ok && expected && (offset - skip != expected->size || crc != expected->crc32))
        status = ZipStatus::CrcError;
    const ZipStatus closeStatus = fromMinizip(zipCloseFileInZip(out));
    return status != ZipStatus::Ok ? status : closeStatus;
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

    // Open the source before touching the archive, so a missing source
    // never costs the entry it was meant to replace.
    time_t modified = 0;
    FdCloser source{*ops_, ops_->openRead(sourcePath)};
    if (source.fd < 0 || ops_->modifiedTime(sourcePath, modified) != 0) return ZipStatus::SourceMissing;
    const int64_t sourceSize = ops_->fileSize(source.fd);
    if (sourceSize < 0) return ZipStatus::SourceMissing;
    if (skipBytes > static_cast<uint64_t>(sourceSize)) return ZipStatus::Error;

    return rewriteArchive(path_, entryName, [&](zipFile out) {
        return addEntry(out, *ops_, source.fd, sourceSize, skipBytes, modified, entryName, expected);
    }, *ops_);
}

ZipStatus rewriteArchive(const std::string& path, std::string_view skipName,
                         const std::function<ZipStatus(zipFile out)>& addEntries, FileOps& ops, ArchiveHolds holds) {
    const bool replacing = pathExists(path);
    const bool sync = replacing && holds == ArchiveHolds::UserFiles;
    Original original;
    if (replacing && openOriginal(path, ops, original) != ZipStatus::Ok) return ZipStatus::Error;

    const std::string folder = dirName(path);
    const std::string temp = uniqueTempPath(folder, baseName(path));
    // Syncing matters only when an old archive is about to be replaced; a new
    // one holds nothing but copies.
    zipFile out = openZip(temp, ZipOpenMode::CreateNew, ops, /*syncOnClose=*/sync);
    if (out == nullptr) return ZipStatus::Error;
    ZipStatus status = ZipStatus::Ok;
    if (original.zip) {
        int kept = 0;
        status = copyEntriesRaw(ZipSource{original.zip, path, ops}, out,
                                [skipName](const ZipEntry& e) { return e.name == skipName; }, kept);
    }
    if (status == ZipStatus::Ok) status = addEntries(out);
    const ZipStatus closeStatus = fromMinizip(zipClose(out, nullptr));
    if (status == ZipStatus::Ok) status = closeStatus;
    if (status == ZipStatus::Ok) {
        // A new archive must not land on a file that appeared meanwhile.
        const int moved = replacing ? ops.rename(temp, path) : ops.renameNoReplace(temp, path);
        if (moved != 0) status = ZipStatus::CannotReplace;
    }
    if (status != ZipStatus::Ok) {
        ops.remove(temp);
        return status;
    }
    if (sync) ops.syncFolder(folder);
    return ZipStatus::Ok;
}

}  // namespace quorvane
