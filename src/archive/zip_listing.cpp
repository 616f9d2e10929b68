#include "archive/zip_listing.h"

#include <cerrno>

#include "archive/archive_bytes.h"
#include "archive/empty_zip.h"
#include "archive/entry_check.h"
#include "archive/plain_directory.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_status.h"

namespace quorvane {
namespace {

struct UnzipHandle {
    unzFile zip;
    ~UnzipHandle() {
        if (zip) unzClose(zip);
    }
};

// The status of an archive minizip cannot open and that is not an empty
// zip: it may not exist at all.
ZipStatus unopenedStatus(const std::string& path, FileOps& ops) {
    const int fd = ops.openRead(path, {ReadAhead::InOneGo});
    if (fd < 0) return openFailure(errno, ZipStatus::ParamError);
    ops.close(fd);
    return ZipStatus::ParamError;
}

// Every central record takes at least this many bytes of the file.
constexpr uint64_t kCentralRecordMinSize = 46;

// `fileSize` is the archive's real length (0 when unknown): a count of
// entries the file cannot hold marks the archive damaged before anything is
// sized by it.
ZipStatus listEntries(const ZipSource& source, uint64_t fileSize, std::vector<ZipEntry>& entries) {
    unz_global_info64 global{};
    ZipStatus status = fromMinizip(unzGetGlobalInfo64(source.zip, &global));
    if (status != ZipStatus::Ok || global.number_entry == 0) return status;
    if (fileSize > 0) {
        if (global.number_entry > fileSize / kCentralRecordMinSize) return ZipStatus::BadZipFile;
        entries.reserve(global.number_entry);
    }
    status = fromMinizip(unzGoToFirstFile(source.zip));
    while (status == ZipStatus::Ok) {
        ZipEntry entry;
        status = readCurrentEntryInfo(source, entry);
        if (status != ZipStatus::Ok) break;
        entries.push_back(std::move(entry));
        status = fromMinizip(unzGoToNextFile(source.zip));
    }
    if (status == ZipStatus::EndOfList) status = ZipStatus::Ok;
    // The end record's count must agree with the records actually found.
    if (status == ZipStatus::Ok && entries.size() != global.number_entry) status = ZipStatus::BadZipFile;
    return status;
}

// The quick test when it applies and passes; otherwise the full read, which
// gives the status. Opening the entry raw runs minizip's local header checks
// and yields the data offset, without starting an inflate.
ZipStatus testCurrentEntry(const ZipSource& source, const ZipEntry& entry, ArchiveBytes& bytes) {
    if (quickTestApplies(entry) && unzOpenCurrentFile2(source.zip, nullptr, nullptr, 1) == UNZ_OK) {
        const uint64_t offset = unzGetCurrentFileZStreamPos64(source.zip);
        unzCloseCurrentFile(source.zip);
        if (quickTestPasses(entry, bytes.span(offset, entry.compressedSize))) return ZipStatus::Ok;
    }
    static const BlockSink discard = [](const char*, size_t) { return true; };
    return readCurrentEntryData(source, entry, discard);
}

ZipStatus testEntries(const ZipSource& source, ArchiveBytes& bytes) {
    ZipStatus status = fromMinizip(unzGoToFirstFile(source.zip));
    while (status == ZipStatus::Ok) {
        ZipEntry entry;
        status = readCurrentEntryInfo(source, entry);
        if (status != ZipStatus::Ok) break;
        status = testCurrentEntry(source, entry, bytes);
        if (status != ZipStatus::Ok) break;
        status = fromMinizip(unzGoToNextFile(source.zip));
    }
    return status;
}

// True when every entry of a plain archive passes the quick test; then the
// archive is sound, and minizip would say so too.
bool plainEntriesPass(const PlainDirectory& directory, ArchiveBytes& bytes) {
    for (size_t i = 0; i < directory.entries.size(); ++i) {
        const ZipEntry& entry = directory.entries[i];
        if (!quickTestApplies(entry)) return false;
        const uint64_t local = directory.localHeaderOffsets[i];
        const uint64_t offset = plainDataOffset(bytes.span(local, kLocalHeaderSize), entry, local);
        if (offset == 0 || !quickTestPasses(entry, bytes.span(offset, entry.compressedSize))) return false;
    }
    return true;
}

}  // namespace

ZipListing::ZipListing(std::string archivePath, FileOps& ops, ZipRead read, int folder)
    : path_(std::move(archivePath)), ops_(&ops) {
    const bool test = read == ZipRead::ListAndTest;
    ArchiveBytes bytes(path_, ops, test ? ArchivePart::Whole : ArchivePart::Directory, folder);
    list(bytes, test);
}

ZipListing::ZipListing(std::string archivePath, ArchiveBytes& bytes, FileOps& ops)
    : path_(std::move(archivePath)), ops_(&ops) {
    list(bytes, false);
}

void ZipListing::list(ArchiveBytes& bytes, bool test) {
    FileOps& ops = *ops_;
    tested_ = test;
    if (bytes.opened()) {
        opened_ = *bytes.opened();
        wasOpened_ = true;
    }
    // The quick route settles a plain archive that is sound; everything
    // else goes through minizip, whose statuses the callers see.
    PlainDirectory plain;
    if (bytes.loaded() && readPlainDirectory(bytes.tail(), bytes.tailSize(), bytes.fileSize(), plain) &&
        (!test || plainEntriesPass(plain, bytes))) {
        entries_ = std::move(plain.entries);
        testStatus_ = ZipStatus::EndOfList;
        return;
    }
    // A small file is walked in memory; a large one, or one whose bytes
    // could not all be read, through the file.
    UnzipHandle handle{openUnzipFrom(&bytes, path_, ops)};
    if (handle.zip == nullptr) {
        const bool empty = isEmptyZip(path_, ops);
        listStatus_ = empty ? ZipStatus::Ok : unopenedStatus(path_, ops);
        testStatus_ = empty ? ZipStatus::EndOfList : listStatus_;
        return;
    }
    const ZipSource source{handle.zip, path_, ops};
    const ZipStatus status = listEntries(source, bytes.fileSize(), entries_);
    if (status != ZipStatus::Ok) {
        // An archive whose directory cannot be listed is not sound, however
        // well its records read one by one.
        entries_.clear();
        listStatus_ = status;
        testStatus_ = status;
        return;
    }
    if (test) testStatus_ = testEntries(source, bytes);
}

int ZipListing::find(std::string_view name) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

ZipStatus ZipListing::testZip() const {
    if (tested_) return testStatus_;
    return ZipListing(path_, *ops_, ZipRead::ListAndTest).testStatus_;
}

}  // namespace quorvane
