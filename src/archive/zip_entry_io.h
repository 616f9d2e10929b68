// Reading the current entry of an open minizip handle: its header with the
// full name (minizip's own lookups cut names at 256 bytes), and its data,
// checked for length and CRC. Entries that carry ZIP64 fields are read
// without minizip (see ZipEntry::readDirectly).
#pragma once

#include <minizip/unzip.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "archive/file_ops.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"

namespace quorvane {

// An open archive: the minizip handle and what it was opened from.
struct ZipSource {
    unzFile zip;
    const std::string& path;
    FileOps& ops;
    // The archive's descriptor (openUnzip's), when known: an entry's stored
    // bytes are then read from it straight, not through minizip's copy loop.
    int fd = -1;
    // The whole archive in memory (openUnzipInMemory's bytes), when the
    // handle reads from there: stored bytes are taken from it the same way.
    const unsigned char* image = nullptr;
    uint64_t imageSize = 0;
    bool readsStraight() const { return fd >= 0 || image != nullptr; }
};

// Fills `entry` from the current central-directory record; `raw` (optional)
// receives minizip's record with its sizes corrected. A minizip status.
ZipStatus readCurrentEntryInfo(const ZipSource& source, ZipEntry& entry, unz_file_info64* raw = nullptr);

// Block size for every data loop of the layer: large enough that a read or
// write call costs little beside the data it moves.
inline constexpr size_t kCopyBlockSize = 256 * 1024;

using BlockSink = std::function<bool(const char* data, size_t size)>;

// Passes the current entry's uncompressed bytes to `sink` in blocks. Ok on
// success; BadZipFile when the data ends before the recorded size,
// CrcError on a wrong CRC, another minizip status for damaged data,
// Error when `sink` returns false.
ZipStatus readCurrentEntryData(const ZipSource& source, const ZipEntry& entry, const BlockSink& sink);

// The same for the entry's stored (compressed) bytes, checked for length.
ZipStatus readCurrentEntryRaw(const ZipSource& source, const ZipEntry& entry, const BlockSink& sink);

}  // namespace quorvane
