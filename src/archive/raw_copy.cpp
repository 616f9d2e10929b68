#include "archive/raw_copy.h"

#include <zlib.h>

#include <memory>

#include "archive/zip_entry_io.h"
#include "archive/zip_signatures.h"
#include "archive/zip_status.h"

namespace quorvane {
namespace {

// General-purpose flag bits that describe the stored bytes and so stay true
// of a raw copy: encryption (0), deflate options (1-2), UTF-8 names (11).
// Bit 3 (sizes in a trailing descriptor) does not: minizip writes the sizes
// into the local header.
constexpr uLong kKeptFlagBits = 0x0001 | 0x0006 | 0x0800;

ZipStatus copyOne(const ZipSource& source, zipFile target, const ZipEntry& entry, const unz_file_info64& info) {
    zip_fileinfo fileInfo{};
    fileInfo.tmz_date.tm_sec = info.tmu_date.tm_sec;
    fileInfo.tmz_date.tm_min = info.tmu_date.tm_min;
    fileInfo.tmz_date.tm_hour = info.tmu_date.tm_hour;
    fileInfo.tmz_date.tm_mday = info.tmu_date.tm_mday;
    fileInfo.tmz_date.tm_mon = info.tmu_date.tm_mon;
    fileInfo.tmz_date.tm_year = info.tmu_date.tm_year;
    fileInfo.dosDate = info.dosDate;
    fileInfo.internal_fa = info.internal_fa;
    fileInfo.external_fa = info.external_fa;
    const int zip64 = (info.uncompressed_size >= kZip64Threshold || info.compressed_size >= kZip64Threshold) ? 1 : 0;

    // Level 0: the option bits come from the source's flag, not from a level.
    if (zipOpenNewFileInZip4_64(target, entry.name.c_str(), &fileInfo, nullptr, 0, nullptr, 0, nullptr,
                                static_cast<int>(info.compression_method), 0, 1, -MAX_WBITS, DEF_MEM_LEVEL,
                                Z_DEFAULT_STRATEGY, nullptr, 0, info.version, info.flag & kKeptFlagBits,
                                zip64) != ZIP_OK) {
        return ZipStatus::NewEntryRefused;
    }
    int writeStatus = ZIP_OK;
    const ZipStatus status = readCurrentEntryRaw(source, entry, [&](const char* data, size_t size) {
        writeStatus = zipWriteInFileInZip(target, data, static_cast<unsigned>(size));
        return writeStatus == ZIP_OK;
    });
    const int closeStatus = zipCloseFileInZipRaw64(target, info.uncompressed_size, info.crc);
    if (writeStatus != ZIP_OK) return fromMinizip(writeStatus);
    return status != ZipStatus::Ok ? status : fromMinizip(closeStatus);
}

}  // namespace

ZipStatus copyEntriesRaw(const ZipSource& source, zipFile target, const EntrySkip& skip, int& kept) {
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
