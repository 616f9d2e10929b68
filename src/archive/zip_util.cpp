#include "archive/zip_util.h"

#include <memory>

#include "archive/dos_time.h"
#include "archive/empty_zip.h"
#include "archive/minizip_io.h"
#include "archive/unzip_util.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_info.h"
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

}  // namespace

ZipUtil::ZipUtil(std::string archivePath, FileOps& ops) : path_(std::move(archivePath)), ops_(&ops) {}

ZipUtil::~ZipUtil() { close(); }

int ZipUtil::open() {
    close();
    if (!pathExists(path_)) {
        zip_ = openZip(path_, ZipOpenMode::CreateNew, *ops_, false);
    } else {
        zip_ = openZip(path_, ZipOpenMode::Append, *ops_, false);
        // minizip cannot append to an archive without entries; nothing is
        // lost by making it anew.
        if (!zip_ && isEmptyZip(path_, *ops_) && ops_->remove(path_) == 0)
            zip_ = openZip(path_, ZipOpenMode::CreateNew, *ops_, false);
    }
    return zip_ ? kZipOk : kZipError;
}

int ZipUtil::close() {
    if (!zip_) return kZipOk;
    const int status = zipClose(zip_, nullptr);
    zip_ = nullptr;
    return status;
}

int ZipUtil::addFile(const std::string& sourcePath, std::string_view entryName) {
    int status = close();
    if (status != kZipOk) return status;

    // Open the source before touching the archive, so a missing source
    // never costs the entry it was meant to replace.
    time_t modified = 0;
    FdCloser source{*ops_, ops_->openRead(sourcePath)};
    if (source.fd < 0 || ops_->modifiedTime(sourcePath, modified) != 0) return kZipSourceMissing;
    const int64_t sourceSize = ops_->fileSize(source.fd);
    if (sourceSize < 0) return kZipSourceMissing;

    if (pathExists(path_)) {
        ZipInfo listing(path_, *ops_);
        if (listing.find(entryName) >= 0) {
            UnZipUtil unzip(path_, *ops_);
            status = unzip.open();
            if (status == kZipOk) status = unzip.removeFile(entryName);
            unzip.close();
            if (status != kZipOk) return status;
        }
    }
    if (open() != kZipOk) return kZipError;

    zip_fileinfo info{};
    info.dosDate = timeToDosDate(modified);
    const std::string name(entryName);
    const int zip64 = static_cast<uint64_t>(sourceSize) >= kZip64SourceThreshold ? 1 : 0;
    status = zipOpenNewFileInZip64(zip_, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                   Z_DEFAULT_COMPRESSION, zip64);
    if (status != ZIP_OK) return status;

    std::unique_ptr<char[]> block(new (std::nothrow) char[kCopyBlockSize]);
    if (!block) status = kZipError;
    uint64_t offset = 0;
    while (status == ZIP_OK) {
        const ssize_t n = ops_->readAt(source.fd, block.get(), kCopyBlockSize, offset);
        if (n < 0) status = kZipError;
        if (n <= 0) break;
        offset += static_cast<uint64_t>(n);
        status = zipWriteInFileInZip(zip_, block.get(), static_cast<unsigned>(n));
    }
    const int closeStatus = zipCloseFileInZip(zip_);
    return status != ZIP_OK ? status : closeStatus;
}

}  // namespace quorvane
