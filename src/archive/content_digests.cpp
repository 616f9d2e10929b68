#include "archive/content_digests.h"

#include <memory>

#include "archive/digest_set.h"
#include "archive/minizip_io.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_status.h"

namespace quorvane {
namespace {

// Loose files are read in blocks this large: big enough to run at disk and
// page-cache speed, small enough to stay in the L2 cache while hashed.
constexpr size_t kFileBlockSize = 1024 * 1024;

}  // namespace

ContentDigests::ContentDigests(std::string archivePath, std::string entryName, FileOps& ops)
    : name_(std::move(entryName)), archivePath_(std::move(archivePath)), ops_(&ops) {}

ContentDigests::ContentDigests(std::string filePath, FileOps& ops) : name_(std::move(filePath)), ops_(&ops) {}

bool ContentDigests::digestEntry(std::string& md5, std::string& sha1, bool wantMd5, bool wantSha1) {
    md5.clear();
    sha1.clear();
    unzFile zip = openUnzip(archivePath_, *ops_);
    if (zip == nullptr) return false;
    const ZipSource source{zip, archivePath_, *ops_};
    ZipStatus status = fromMinizip(unzGoToFirstFile(zip));
    ZipEntry entry;
    while (status == ZipStatus::Ok) {
        status = readCurrentEntryInfo(source, entry);
        if (status != ZipStatus::Ok || entry.name == name_) break;
        status = fromMinizip(unzGoToNextFile(zip));
    }
    bool ok = false;
    if (status == ZipStatus::Ok) {
        DigestSet digests(false, wantMd5, wantSha1);
        status = readCurrentEntryData(source, entry, [&](const char* data, size_t n) {
            digests.update(data, n);
            return true;
        });
        if (status == ZipStatus::Ok && digests.ready()) {
            std::string crc;
            digests.finish(crc, md5, sha1);
            ok = true;
        }
    }
    unzClose(zip);
    return ok;
}

bool ContentDigests::digestFile(std::string& crc, std::string& md5, std::string& sha1, bool wantCrc, bool wantMd5,
                              bool wantSha1) {
    crc.clear();
    md5.clear();
    sha1.clear();
    const int fd = ops_->openRead(name_);
    if (fd < 0) return false;
    std::unique_ptr<char[]> block(new (std::nothrow) char[kFileBlockSize]);
    DigestSet digests(wantCrc, wantMd5, wantSha1);
    bool ok = block != nullptr && digests.ready();
    uint64_t offset = 0;
    while (ok) {
        const ssize_t n = ops_->readAt(fd, block.get(), kFileBlockSize, offset);
        if (n < 0) ok = false;
        if (n <= 0) break;
        digests.update(block.get(), static_cast<size_t>(n));
        offset += static_cast<uint64_t>(n);
    }
    ops_->close(fd);
    if (ok) digests.finish(crc, md5, sha1);
    return ok;
}

}  // namespace quorvane
