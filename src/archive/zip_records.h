// The records every zip this program writes is made of, as bytes. All
// numbers little-endian; M is the ZIP64 marker FFFFFFFF (FFFF for counts).
//
// Local header: 50 4B 03 04, version needed (2), flags (2), method (2), DOS
// time (2), DOS date (2), CRC-32 (4), compressed size (4), size (4), name
// length (2), extra length (2), name, extra. The extra is empty, or the
// ZIP64 block 01 00 10 00 + size (8) + compressed size (8), with both 4-byte
// sizes set to M.
//
// Central record: 50 4B 01 02, version made by (2), then the local header's
// fields from "version needed" to "name length", extra length (2), comment
// length 0 (2), disk 0 (2), internal attributes (2), external attributes (4),
// local header offset (4), name, extra. The extra is empty, or the ZIP64
// block 01 00 with, in this order, just those of size, compressed size and
// offset that reach M (each set to M in its 4-byte field).
//
// Version needed is 20, or 45 for an entry with any value that reaches M
// (and for a local header with the ZIP64 block).
//
// End: when the entry count reaches FFFF or the directory's size or offset
// reach M, the ZIP64 end record (50 4B 06 06, record size 44 (8), version
// made by 0 (2), version needed 45 (2), disks 0 (4+4), entries (8+8),
// directory size (8), directory offset (8)) and its locator (50 4B 06 07,
// disk 0 (4), record offset (8), disks 1 (4)). Always the end record
// (50 4B 05 06, disks 0 (2+2), entries (2+2), directory size (4), directory
// offset (4), comment length (2)) and the comment. The directory runs from
// its offset straight to the end records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

inline constexpr uint64_t kZip64Marker = 0xFFFFFFFF;
inline constexpr size_t kLocalHeaderFixedSize = 30;
inline constexpr size_t kZip64LocalExtraSize = 20;
inline constexpr uint16_t kPlainVersion = 20;
inline constexpr uint16_t kZip64Version = 45;

// One entry's fields, as both of its headers hold them.
struct ZipRecord {
    std::string name;  // stored bytes
    uint16_t versionMadeBy = 0;
    uint16_t flags = 0;
    uint16_t method = 8;
    uint32_t dosDate = 0;  // date in the high 16 bits, time in the low
    uint32_t crc32 = 0;
    uint64_t size = 0;
    uint64_t compressedSize = 0;
    uint64_t localHeaderOffset = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
};

// Whether an entry of these sizes has the ZIP64 block in its local header.
inline bool localHeaderHasZip64(uint64_t size, uint64_t compressedSize) {
    return size >= kZip64Marker || compressedSize >= kZip64Marker;
}

// Appends the local header; `zip64` gives it the ZIP64 block (whatever the sizes).
void appendLocalHeader(std::string& out, const ZipRecord& record, bool zip64);
void appendCentralRecord(std::string& out, const ZipRecord& record);
// Appends what follows a directory of `entries` records, `size` bytes at `offset`.
void appendEndRecords(std::string& out, uint64_t entries, uint64_t offset, uint64_t size, std::string_view comment);

// Where in a local header the CRC-32 and the two 4-byte sizes start, and
// where in its ZIP64 block (after the name) the two 8-byte sizes do.
inline constexpr size_t kLocalCrcOffset = 14;
inline constexpr size_t kLocalZip64SizesOffset = 4;

}  // namespace quorvane
