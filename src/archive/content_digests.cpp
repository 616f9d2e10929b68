#include "archive/content_digests.h"

#include <algorithm>
#include <memory>

#include "archive/digest_set.h"
#include "archive/minizip_io.h"
#include "archive/packed_archive.h"
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

ContentDigests::ContentDigests(std::string archivePath, const EntryKey& packedEntry, FileOps& ops)
    : name_(packedEntry.name), archivePath_(std::move(archivePath)), ops_(&ops), packed_(true),
      packedKey_(packedEntry) {}

namespace {

// Opens `archivePath`, finds the entry named `name` and passes its data to
// `sink`; the entry's read status.
ZipStatus readEntryNamed(const std::string& archivePath, const std::string& name, FileOps& ops,
                         const BlockSink& sink) {
    unzFile zip = openUnzip(archivePath, ops);
    if (zip == nullptr) return ZipStatus::FileUnreadable;
    const ZipSource source{zip, archivePath, ops};
    ZipStatus status = fromMinizip(unzGoToFirstFile(zip));
    ZipEntry entry;
    while (status == ZipStatus::Ok) {
        status = readCurrentEntryInfo(source, entry);
        if (status != ZipStatus::Ok || entry.name == name) break;
        status = fromMinizip(unzGoToNextFile(zip));
    }
    if (status == ZipStatus::Ok) status = readCurrentEntryData(source, entry, sink);
    unzClose(zip);
    return status;
}

}  // namespace

ZipStatus ContentDigests::readEntry(const BlockSink& sink) const {
    if (!packed_) return readEntryNamed(archivePath_, name_, *ops_, sink);
    return readPackedEntry(archivePath_, packedKey_,
                           [&](const void* data, size_t n) { return sink(static_cast<const char*>(data), n); });
}

bool ContentDigests::digestEntry(std::string& md5, std::string& sha1, bool wantMd5, bool wantSha1) {
    md5.clear();
    sha1.clear();
    DigestSet digests(false, wantMd5, wantSha1);
    if (!digests.ready()) return false;
    std::uint64_t toSkip = skip_;
    const ZipStatus status = readEntry([&](const char* data, size_t n) {
        const size_t skipped = static_cast<size_t>(std::min<std::uint64_t>(toSkip, n));
        toSkip -= skipped;
        digests.update(data + skipped, n - skipped);
        return true;
    });
    if (status != ZipStatus::Ok) return false;
    std::string crc;
    digests.finish(crc, md5, sha1);
    return true;
}

bool ContentDigests::readHead(std::string& out, std::size_t count) {
    out.clear();
    if (archivePath_.empty()) {
        const int fd = ops_->openRead(name_);
        if (fd < 0) return false;
        out.resize(count);
        const ssize_t n = ops_->readAt(fd, out.data(), count, 0);
        ops_->close(fd);
        out.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return n >= 0;
    }
    const ZipStatus status = readEntry([&](const char* data, size_t n) {
        out.append(data, std::min(n, count - out.size()));
        return out.size() < count;  // stops the read once the head is in
    });
    return status == ZipStatus::Ok || (status == ZipStatus::Error && out.size() == count);
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
    uint64_t offset = skip_;
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
