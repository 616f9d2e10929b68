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

int openOriginal(const std::string& path, FileOps& ops, Original& original) {
    original.zip = openUnzip(path, ops);
    if (original.zip || isEmptyZip(path, ops)) return kZipOk;
    return kZipError;
}

// Deflates the source into a new entry of `out`.
int addEntry(zipFile out, FileOps& ops, int sourceFd, int64_t sourceSize, time_t modified,
             std::string_view entryName, const ExpectedContent* expected) {
    zip_fileinfo info{};
    info.dosDate = timeToDosDate(modified);
    const std::string name(entryName);
    const int zip64 = static_cast<uint64_t>(sourceSize) >= kZip64SourceThreshold ? 1 : 0;
    int status = zipOpenNewFileInZip64(out, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                       Z_DEFAULT_COMPRESSION, zip64);
    if (status != ZIP_OK) return status;
    std::unique_ptr<char[]> block(new (std::nothrow) char[kCopyBlockSize]);
    if (!block) status = kZipError;
    uint64_t offset = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    while (status == ZIP_OK) {
        const ssize_t n = ops.readAt(sourceFd, block.get(), kCopyBlockSize, offset);
        if (n < 0) status = kZipError;
        if (n <= 0) break;
        offset += static_cast<uint64_t>(n);
        if (expected) crc = crc32(crc, reinterpret_cast<const Bytef*>(block.get()), static_cast<uInt>(n));
        status = zipWriteInFileInZip(out, block.get(), static_cast<unsigned>(n));
    }
    // The source must not have shrunk or grown under us unnoticed.
    if (status == ZIP_OK && offset != static_cast<uint64_t>(sourceSize)) status = kZipError;
    if (status == ZIP_OK && expected && (offset != expected->size || crc != expected->crc32)) status = kZipCrcError;
    const int closeStatus = zipCloseFileInZip(out);
    return status != ZIP_OK ? status : closeStatus;
}

}  // namespace

ZipWriter::ZipWriter(std::string archivePath, FileOps& ops) : path_(std::move(archivePath)), ops_(&ops) {}

ZipWriter::~ZipWriter() { close(); }

int ZipWriter::open() {
    close();
    if (pathExists(path_)) {
        // Only check that it is an archive: nothing is written until addFile.
        Original original;
        if (openOriginal(path_, *ops_, original) != kZipOk) return kZipError;
    } else if (!isDirectory(dirName(path_).empty() ? "." : dirName(path_))) {
        return kZipError;
    }
    open_ = true;
    return kZipOk;
}

int ZipWriter::close() {
    open_ = false;
    return kZipOk;
}

int ZipWriter::addFile(const std::string& sourcePath, std::string_view entryName, const ExpectedContent* expected) {
    if (!open_ && open() != kZipOk) return kZipError;

    // Open the source before touching the archive, so a missing source
    // never costs the entry it was meant to replace.
    time_t modified = 0;
    FdCloser source{*ops_, ops_->openRead(sourcePath)};
    if (source.fd < 0 || ops_->modifiedTime(sourcePath, modified) != 0) return kZipSourceMissing;
    const int64_t sourceSize = ops_->fileSize(source.fd);
    if (sourceSize < 0) return kZipSourceMissing;

    return rewriteArchive(path_, entryName, [&](zipFile out) {
        return addEntry(out, *ops_, source.fd, sourceSize, modified, entryName, expected);
    }, *ops_);
}

int rewriteArchive(const std::string& path, std::string_view skipName,
                   const std::function<int(zipFile out)>& addEntries, FileOps& ops, ArchiveHolds holds) {
    const bool replacing = pathExists(path);
    const bool sync = replacing && holds == ArchiveHolds::UserFiles;
    Original original;
    if (replacing && openOriginal(path, ops, original) != kZipOk) return kZipError;

    const std::string folder = dirName(path);
    const std::string temp = uniqueTempPath(folder, baseName(path));
    // Syncing matters only when an old archive is about to be replaced; a new
    // one holds nothing but copies.
    zipFile out = openZip(temp, ZipOpenMode::CreateNew, ops, /*syncOnClose=*/sync);
    if (out == nullptr) return kZipError;
    int status = kZipOk;
    if (original.zip) {
        int kept = 0;
        status = copyEntriesRaw(ZipSource{original.zip, path, ops}, out,
                                [skipName](const ZipEntry& e) { return e.name == skipName; }, kept);
    }
    if (status == kZipOk) status = addEntries(out);
    const int closeStatus = zipClose(out, nullptr);
    if (status == kZipOk) status = closeStatus;
    if (status == kZipOk) {
        // A new archive must not land on a file that appeared meanwhile.
        const int moved = replacing ? ops.rename(temp, path) : ops.renameNoReplace(temp, path);
        if (moved != 0) status = kZipCannotReplace;
    }
    if (status != kZipOk) {
        ops.remove(temp);
        return status;
    }
    if (sync) ops.syncFolder(folder);
    return kZipOk;
}

}  // namespace quorvane
