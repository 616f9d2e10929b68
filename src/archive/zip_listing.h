// The central directory of one zip archive, read once at construction.
//
// How to use:
//   ZipListing info(path);
//   if (!zipTestPassed(info.testZip())) report it;
//   for (const ZipEntry& e : info.entries()) ... e.name, e.crc, e.size
//
// Rows keep central-directory order. Entry names compare byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/file_ops.h"
#include "archive/zip_status.h"

namespace quorvane {

struct ZipEntry {
    std::string crc;   // CRC-32 from the central directory, 8 uppercase hex digits
    std::string size;  // uncompressed size in decimal
    std::string name;  // entry name as stored
    uint32_t crc32 = 0;
    uint64_t uncompressedSize = 0;
    uint64_t compressedSize = 0;
    int method = 0;
    uint32_t dosDate = 0;
    uint32_t flag = 0;  // general-purpose bit flag
    // Debian's minizip 1.1 ignores ZIP64 extra fields on 64-bit Linux (it
    // compares 32-bit markers with a 64-bit -1), so the layer reads such
    // entries itself, starting at their local header.
    bool readDirectly = false;
    uint64_t localHeaderOffset = 0;
};

// One entry told apart by its content as well as its name: an archive may
// hold several entries of one name, and a rewrite moves entries about, so a
// step that means one entry names it by all three.
struct EntryKey {
    std::string name;
    uint32_t crc32 = 0;
    uint64_t size = 0;

    bool matches(const ZipEntry& entry) const {
        return entry.name == name && entry.crc32 == crc32 && entry.uncompressedSize == size;
    }
};

enum class ZipRead {
    List,         // the directory only; testZip() reads the data when called
    ListAndTest,  // the directory and every entry's data, from one read of a small file
};

class ArchiveBytes;

class ZipListing {
public:
    // `folder`: a descriptor of the folder holding the archive, or -1 (ReadOpen).
    explicit ZipListing(std::string archivePath, FileOps& ops = fileOps(), ZipRead read = ZipRead::List,
                        int folder = -1);
    // The directory of `archivePath` from its bytes read already (ZipRead::List).
    ZipListing(std::string archivePath, ArchiveBytes& bytes, FileOps& ops = fileOps());

    const std::string& path() const { return path_; }
    // 0 when the archive cannot be opened or its directory cannot be read.
    int count() const { return static_cast<int>(entries_.size()); }
    const ZipEntry& entry(int index) const { return entries_[static_cast<size_t>(index)]; }
    const std::vector<ZipEntry>& entries() const { return entries_; }
    // Ok when listed; otherwise the status that stopped the listing (then no
    // rows are kept, so a damaged directory never yields half a listing).
    ZipStatus listStatus() const { return listStatus_; }
    // Index of the first entry named exactly `name`, or -1.
    int find(std::string_view name) const;

    // Reads every entry to its end and checks its CRC. EndOfList (or Ok)
    // when all are sound; otherwise the first failing status: ParamError
    // for a file that is not a zip, CrcError, BadZipFile, ... An
    // archive whose listing failed fails with listStatus().
    // After ZipRead::ListAndTest, the result of the test made then.
    ZipStatus testZip() const;
    // The archive's fstat as opened, before any of it was read; null when
    // it could not be opened.
    const struct stat* opened() const { return wasOpened_ ? &opened_ : nullptr; }

private:
    void list(ArchiveBytes& bytes, bool test);

    std::string path_;
    FileOps* ops_;
    std::vector<ZipEntry> entries_;
    ZipStatus listStatus_ = ZipStatus::Ok;
    bool tested_ = false;
    ZipStatus testStatus_ = ZipStatus::Ok;
    struct stat opened_ {};
    bool wasOpened_ = false;
};

}  // namespace quorvane
