// The zip directory readers on arbitrary bytes: the quick reader of plain
// archives (readPlainDirectory), the ZIP64 record reader behind ZipListing, and
// what ZipListing, an extraction's lookup and the digests do with the result.
// Beyond "no crash, no huge allocation", each reader must agree with minizip
// on every input minizip walks to its end:
//   - an archive the quick reader accepts, minizip lists the same: names,
//     CRCs, sizes, methods, dates and flags;
//   - ZipListing lists what minizip lists, with a ZIP64 block's values in place
//     of the 32-bit fields it marks (minizip 1.1 on 64-bit Linux ignores
//     them), unless such a block points past the end of the file; then
//     ZipListing calls the archive damaged.
// The input is served from memory through a FileOps, so no disk is touched.
#include <minizip/unzip.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/content_digests.h"
#include "archive/minizip_io.h"
#include "archive/plain_directory.h"
#include "archive/zip64_reader.h"
#include "archive/zip_listing.h"
#include "archive/zip_reader.h"
#include "archive/zip_status.h"

namespace quorvane {
namespace {

constexpr const char* kPath = "/fuzz/input.zip";
constexpr uint32_t kMarker = 0xFFFFFFFF;

// One read-only file in memory; every other call fails.
class MemoryFileOps : public FileOps {
public:
    MemoryFileOps(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    int openRead(const std::string& path) override { return path == kPath ? kFd : fail(ENOENT); }
    int openReadWrite(const std::string&) override { return fail(EROFS); }
    int createNew(const std::string&) override { return fail(EROFS); }
    ssize_t readAt(int fd, void* buffer, size_t size, uint64_t offset) override {
        if (fd != kFd) return fail(EBADF);
        if (offset >= size_) return 0;
        const size_t n = size < size_ - offset ? size : static_cast<size_t>(size_ - offset);
        std::memcpy(buffer, data_ + offset, n);
        return static_cast<ssize_t>(n);
    }
    ssize_t writeAt(int, const void*, size_t, uint64_t) override { return fail(EROFS); }
    int64_t fileSize(int fd) override { return fd == kFd ? static_cast<int64_t>(size_) : fail(EBADF); }
    int sync(int) override { return fail(EROFS); }
    int setModifiedTime(int, time_t) override { return fail(EROFS); }
    int close(int fd) override { return fd == kFd ? 0 : fail(EBADF); }
    int modifiedTime(const std::string&, time_t&) override { return fail(ENOENT); }
    int rename(const std::string&, const std::string&) override { return fail(EROFS); }
    int renameNoReplace(const std::string&, const std::string&) override { return fail(EROFS); }
    int remove(const std::string&) override { return fail(EROFS); }
    int syncFolder(const std::string&) override { return fail(EROFS); }
    int makeFolder(const std::string&) override { return fail(EROFS); }
    int removeFolder(const std::string&) override { return fail(EROFS); }

private:
    static constexpr int kFd = 1000;
    static int fail(int error) {
        errno = error;
        return -1;
    }
    const uint8_t* data_;
    size_t size_;
};

struct Row {
    std::string name;
    uint32_t crc = 0;
    uint64_t compressed = 0, uncompressed = 0;
    int method = 0;
    uint32_t dosDate = 0, flag = 0;
    bool hasZip64Block = false;
    ZipStatus zip64Status = ZipStatus::Ok;  // readZip64CentralRecord's, for a row with the block
    Zip64Record zip64;
};

bool hasZip64Block(const std::string& extra) {
    for (size_t at = 0; at + 4 <= extra.size();) {
        const auto byte = [&](size_t i) { return static_cast<unsigned char>(extra[i]); };
        if ((byte(at) | (byte(at + 1) << 8)) == 1) return true;
        at += 4 + (byte(at + 2) | (byte(at + 3) << 8));
    }
    return false;
}

// minizip's own listing, with its raw numbers. False unless it walks the
// whole directory and finds as many records as the end record announces.
bool listWithMinizip(const uint8_t* data, size_t size, FileOps& ops, std::vector<Row>& rows) {
    unzFile zip = openUnzipInMemory(data, size);
    if (zip == nullptr) return false;
    unz_global_info64 global{};
    bool accepted = unzGetGlobalInfo64(zip, &global) == UNZ_OK;
    if (accepted && global.number_entry > 0) {
        int status = unzGoToFirstFile(zip);
        while (status == UNZ_OK) {
            unz_file_info64 info{};
            status = unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0);
            if (status != UNZ_OK) break;
            Row row;
            row.name.assign(info.size_filename, '\0');
            std::string extra(info.size_file_extra, '\0');
            status = unzGetCurrentFileInfo64(zip, nullptr, row.name.data(), info.size_filename, extra.data(),
                                             info.size_file_extra, nullptr, 0);
            if (status != UNZ_OK) break;
            row.crc = static_cast<uint32_t>(info.crc);
            row.compressed = info.compressed_size;
            row.uncompressed = info.uncompressed_size;
            row.method = static_cast<int>(info.compression_method);
            row.dosDate = static_cast<uint32_t>(info.dosDate);
            row.flag = static_cast<uint32_t>(info.flag);
            row.hasZip64Block = hasZip64Block(extra);
            if (row.hasZip64Block) {
                const CentralRecordSeen seen{row.crc, row.name, extra};
                row.zip64Status = readZip64CentralRecord(ops, kPath, unzGetOffset64(zip), seen, row.zip64);
            }
            rows.push_back(std::move(row));
            status = unzGoToNextFile(zip);
        }
        accepted = status == UNZ_END_OF_LIST_OF_FILE && rows.size() == global.number_entry;
    }
    unzClose(zip);
    return accepted;
}

[[noreturn]] void disagree(const char* what, size_t index) {
    std::fprintf(stderr, "readers disagree with minizip: %s (entry %zu)\n", what, index);
    std::abort();
}

void check(bool ok, const char* what, size_t index = 0) {
    if (!ok) disagree(what, index);
}

void comparePlain(const PlainDirectory& plain, const std::vector<Row>& rows) {
    check(plain.entries.size() == rows.size(), "plain: entry count");
    check(plain.localHeaderOffsets.size() == rows.size(), "plain: offsets");
    for (size_t i = 0; i < rows.size(); ++i) {
        const ZipEntry& e = plain.entries[i];
        const Row& r = rows[i];
        check(e.name == r.name, "plain: name", i);
        check(e.crc32 == r.crc, "plain: CRC", i);
        check(e.compressedSize == r.compressed && e.uncompressedSize == r.uncompressed, "plain: sizes", i);
        check(e.method == r.method && e.dosDate == r.dosDate && e.flag == r.flag, "plain: method, date, flag", i);
        check(!r.hasZip64Block, "plain: a ZIP64 block", i);
    }
}

void compareListing(const ZipListing& info, const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        if (r.hasZip64Block && r.zip64Status != ZipStatus::Ok) {
            check(info.listStatus() != ZipStatus::Ok && info.count() == 0, "ZipListing listed a damaged ZIP64 entry");
            return;
        }
    }
    check(info.listStatus() == ZipStatus::Ok, "ZipListing refused what minizip lists");
    check(static_cast<size_t>(info.count()) == rows.size(), "ZipListing: entry count");
    for (size_t i = 0; i < rows.size(); ++i) {
        const ZipEntry& e = info.entry(static_cast<int>(i));
        const Row& r = rows[i];
        check(e.name == r.name, "ZipListing: name", i);
        check(e.crc32 == r.crc, "ZipListing: CRC", i);
        check(e.method == r.method && e.dosDate == r.dosDate && e.flag == r.flag, "ZipListing: method, date, flag", i);
        check(e.readDirectly == r.hasZip64Block, "ZipListing: ZIP64 route", i);
        uint64_t compressed = r.compressed, uncompressed = r.uncompressed;
        if (r.hasZip64Block) {
            // Unmarked fields keep minizip's 32-bit values.
            check(r.compressed == kMarker || r.zip64.compressedSize == r.compressed, "ZIP64: compressed size", i);
            check(r.uncompressed == kMarker || r.zip64.uncompressedSize == r.uncompressed, "ZIP64: size", i);
            compressed = r.zip64.compressedSize;
            uncompressed = r.zip64.uncompressedSize;
        }
        check(e.compressedSize == compressed && e.uncompressedSize == uncompressed, "ZipListing: sizes", i);
        check(e.size == std::to_string(uncompressed), "ZipListing: size text", i);
    }
}

}  // namespace
}  // namespace quorvane

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quorvane;
    MemoryFileOps ops(data, size);

    PlainDirectory plain;
    const bool plainAccepted = readPlainDirectory(data, size, size, plain);
    std::vector<Row> rows;
    const bool minizipAccepted = listWithMinizip(data, size, ops, rows);
    if (plainAccepted) {
        check(minizipAccepted, "plain: accepted what minizip refuses");
        comparePlain(plain, rows);
    }

    const ZipListing listed(kPath, ops, ZipRead::List);
    if (minizipAccepted) compareListing(listed, rows);
    else check(listed.listStatus() != ZipStatus::Ok || listed.count() == 0, "ZipListing listed what minizip refuses");
    const ZipListing tested(kPath, ops, ZipRead::ListAndTest);
    check(tested.listStatus() == listed.listStatus() && tested.count() == listed.count(), "ZipListing: two listings");
    if (listed.listStatus() != ZipStatus::Ok)
        check(!zipTestPassed(tested.testZip()), "ZipListing: a failed listing tests sound");

    // An extraction's lookup and a digest walk the directory their own way.
    if (listed.count() > 0) {
        const std::string& name = listed.entry(listed.count() - 1).name;
        ZipReader unzip(kPath, ops);
        if (unzip.open() == ZipStatus::Ok) unzip.extractFile(name, "/fuzz/out", false);
        std::string md5, sha1;
        ContentDigests(kPath, name, ops).digestEntry(md5, sha1, true, true);
    }
    return 0;
}
