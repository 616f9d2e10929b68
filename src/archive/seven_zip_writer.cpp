#include "archive/seven_zip_writer.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "archive/file_ops.h"
#include "archive/libarchive_api.h"
#include "archive/packed_archive.h"
#include "archive/utf8_locale.h"
#include "core/file_util.h"

namespace quorvane {

namespace {

// Every entry carries this date (1996-12-24 23:32:00 UTC, TorrentZip's), so
// the same content always gives the same bytes.
constexpr time_t kFixedTime = 851470320;
constexpr size_t kBlockSize = size_t{128} << 10;

struct Target {
    FileOps* ops;
    int fd;
    uint64_t offset = 0;
};

la_ssize_t writeBlock(archive* a, void* data, const void* buffer, size_t size) {
    auto* target = static_cast<Target*>(data);
    if (!writeAllAt(*target->ops, target->fd, buffer, size, target->offset)) {
        libArchiveLoaded().archive_set_error(a, errno, "cannot write: %s", std::strerror(errno));
        return ARCHIVE_FATAL;
    }
    target->offset += size;
    return static_cast<la_ssize_t>(size);
}

struct ArchiveWriter {
    archive* handle = libArchiveLoaded().archive_write_new();
    ~ArchiveWriter() {
        if (handle) libArchiveLoaded().archive_write_free(handle);
    }
};

struct EntryHeader {
    archive_entry* entry = libArchiveLoaded().archive_entry_new();
    ~EntryHeader() {
        if (entry) libArchiveLoaded().archive_entry_free(entry);
    }
};

struct Expected {
    uint32_t crc = 0;
    uint64_t size = 0;
};

// Streams one source into the archive as an entry; `expected` gets what was read.
ZipStatus addEntry(archive* a, FileOps& ops, const SevenZipSource& source, unsigned char* buffer, Expected& expected) {
    const int fd = ops.openRead(source.sourcePath);
    if (fd < 0) return ZipStatus::SourceMissing;
    const int64_t size = ops.fileSize(fd);
    ZipStatus status = size < 0 ? ZipStatus::SourceMissing : ZipStatus::Ok;
    EntryHeader header;
    const LibArchive& la = libArchiveLoaded();
    if (status == ZipStatus::Ok) {
        la.archive_entry_set_pathname_utf8(header.entry, source.entryName.c_str());
        la.archive_entry_set_filetype(header.entry, AE_IFREG);
        la.archive_entry_set_perm(header.entry, 0644);
        la.archive_entry_set_size(header.entry, size);
        la.archive_entry_set_mtime(header.entry, kFixedTime, 0);
        if (header.entry == nullptr || la.archive_write_header(a, header.entry) != ARCHIVE_OK)
            status = ZipStatus::Error;
    }
    expected.crc = static_cast<uint32_t>(crc32_z(0, nullptr, 0));
    while (status == ZipStatus::Ok) {
        const ssize_t n = ops.readAt(fd, buffer, kBlockSize, expected.size);
        if (n <= 0) {
            if (n < 0) status = ZipStatus::SourceMissing;
            break;
        }
        if (la.archive_write_data(a, buffer, static_cast<size_t>(n)) != n) status = ZipStatus::Error;
        expected.crc = static_cast<uint32_t>(crc32_z(expected.crc, buffer, static_cast<size_t>(n)));
        expected.size += static_cast<uint64_t>(n);
    }
    // A source that changed length while read is not the content it was sized as.
    if (status == ZipStatus::Ok && expected.size != static_cast<uint64_t>(size)) status = ZipStatus::SourceMissing;
    ops.close(fd);
    return status;
}

ZipStatus writeArchive(int fd, FileOps& ops, const std::vector<SevenZipSource>& entries,
                       std::vector<Expected>& expected) {
    const ScopedUtf8Locale utf8Names;
    ArchiveWriter writer;
    archive* a = writer.handle;
    const LibArchive& la = libArchiveLoaded();
    if (a == nullptr || la.archive_write_set_format_7zip(a) != ARCHIVE_OK ||
        la.archive_write_set_format_option(a, "7zip", "compression", "lzma2") != ARCHIVE_OK ||
        la.archive_write_set_bytes_per_block(a, static_cast<int>(kBlockSize)) != ARCHIVE_OK ||
        la.archive_write_set_bytes_in_last_block(a, 1) != ARCHIVE_OK)
        return ZipStatus::Error;
    Target target{&ops, fd};
    if (la.archive_write_open(a, &target, nullptr, writeBlock, nullptr) != ARCHIVE_OK) return ZipStatus::Error;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kBlockSize]);
    for (const SevenZipSource& source : entries) {
        expected.emplace_back();
        if (const ZipStatus s = addEntry(a, ops, source, buffer.get(), expected.back()); s != ZipStatus::Ok) return s;
    }
    return la.archive_write_close(a) == ARCHIVE_OK ? ZipStatus::Ok : ZipStatus::Error;
}

// The archive read back holds exactly the sources, in order.
bool readsBackAs(const std::string& path, const std::vector<SevenZipSource>& entries,
                 const std::vector<Expected>& expected) {
    const PackedListing listing = listPacked(path, PackedFormat::SevenZip, false, false);
    if (listing.status != ZipStatus::Ok || listing.entries.size() != entries.size()) return false;
    for (size_t i = 0; i < entries.size(); ++i) {
        const PackedEntry& e = listing.entries[i];
        if (e.name != entries[i].entryName || e.crc32 != expected[i].crc || e.size != expected[i].size) return false;
    }
    return true;
}

}  // namespace

ZipStatus write7z(const std::string& path, const std::vector<SevenZipSource>& entries) {
    FileOps& ops = fileOps();
    if (libArchive() == nullptr) return ZipStatus::Error;
    if (pathExists(path)) return ZipStatus::CannotReplace;
    const std::string folder = dirName(path);
    const std::string temp = uniqueTempPath(folder, baseName(path));
    const int fd = ops.createNew(temp);
    if (fd < 0) return ZipStatus::Error;
    std::vector<Expected> expected;
    ZipStatus status = writeArchive(fd, ops, entries, expected);
    if (status == ZipStatus::Ok && ops.sync(fd) != 0) status = ZipStatus::Error;
    if (ops.close(fd) != 0 && status == ZipStatus::Ok) status = ZipStatus::Error;
    if (status == ZipStatus::Ok && !readsBackAs(temp, entries, expected)) status = ZipStatus::Error;
    if (status == ZipStatus::Ok && ops.renameNoReplace(temp, path) != 0)
        status = errno == EEXIST ? ZipStatus::CannotReplace : ZipStatus::Error;
    if (status != ZipStatus::Ok) {
        ops.remove(temp);
        return status;
    }
    // The archive is complete under its name; only the name may not yet
    // survive a power cut, which is no reason to call the write failed.
    ops.syncFolder(folder);
    return ZipStatus::Ok;
}

}  // namespace quorvane
