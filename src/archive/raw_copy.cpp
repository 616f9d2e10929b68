#include "archive/raw_copy.h"

#include "archive/zip_entry_io.h"
#include "archive/zip_signatures.h"
#include "archive/zip_status.h"

namespace quorvane {
namespace {

// General-purpose flag bits that describe the stored bytes and so stay true
// of a raw copy: encryption (0), deflate options (1-2), UTF-8 names (11).
// Bit 3 (sizes in a trailing descriptor) does not: the copy has its sizes
// in the local header.
constexpr uint32_t kKeptFlagBits = 0x0001 | 0x0006 | 0x0800;

ZipStatus copyOne(const ZipSource& source, ZipFileWriter& target, const ZipEntry& entry, const unz_file_info64& info) {
    const ZipRecord record{.name = entry.name,
                           .versionMadeBy = static_cast<uint16_t>(info.version),
                           .flags = static_cast<uint16_t>(entry.flag & kKeptFlagBits),
                           .method = static_cast<uint16_t>(entry.method),
                           .dosDate = entry.dosDate,
                           .crc32 = entry.crc32,
                           .size = entry.uncompressedSize,
                           .compressedSize = entry.compressedSize,
                           .internalAttributes = static_cast<uint16_t>(info.internal_fa),
                           .externalAttributes = static_cast<uint32_t>(info.external_fa)};
    bool readFailed = false;
    return copyStoredBytes(source, entry, record, target, readFailed);
}

}  // namespace

ZipStatus copyStoredBytes(const ZipSource& source, const ZipEntry& entry, const ZipRecord& record,
                          ZipFileWriter& target, bool& readFailed) {
    readFailed = false;
    if (!target.startEntry(record, localHeaderHasZip64(entry.uncompressedSize, entry.compressedSize))) {
        return ZipStatus::NewEntryRefused;
    }
    bool written = true;
    const ZipStatus status = readCurrentEntryRaw(source, entry, [&](const char* data, size_t size) {
        written = target.write(data, size);
        return written;
    });
    if (!written) return ZipStatus::Error;
    if (status != ZipStatus::Ok) {
        readFailed = true;
        return status;
    }
    return target.finishEntry(entry.crc32, entry.uncompressedSize, entry.compressedSize) ? ZipStatus::Ok
                                                                                          : ZipStatus::Error;
}

ZipStatus copyEntriesRaw(const ZipSource& source, ZipFileWriter& target, const EntrySkip& skip, int& kept) {
    kept = 0;
    ZipStatus status = fromMinizip(unzGoToFirstFile(source.zip));
    while (status == ZipStatus::Ok) {
        ZipEntry entry;
        unz_file_info64 info{};
        status = readCurrentEntryInfo(source, entry, &info);
        if (status != ZipStatus::Ok) break;
        if (!skip(entry)) {
            status = copyOne(source, target, entry, info);
            if (status != ZipStatus::Ok) return status;
            ++kept;
        }
        status = fromMinizip(unzGoToNextFile(source.zip));
    }
    return status == ZipStatus::EndOfList ? ZipStatus::Ok : status;
}

}  // namespace quorvane
