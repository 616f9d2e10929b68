// The records of a TorrentZip archive, written and read back. All numbers
// little-endian; M is the ZIP64 marker FFFFFFFF (FFFF for counts).
//
// Local header: 50 4B 03 04, version needed (2), flags (2), method 8 (2),
// time BC00 (2), date 2198 (2), CRC (4), compressed size (4), size (4),
// name length (2), extra length (2), name, extra. The extra is empty, or,
// for an entry whose sizes reach M, the ZIP64 block 01 00 10 00 + size (8)
// + compressed size (8), with both 4-byte sizes set to M.
//
// Central record: 50 4B 01 02, version made by 0 (2), then the local
// header's fields from "version needed" to "name length", extra length (2),
// comment length 0 (2), disk 0 (2), internal attributes 0 (2), external
// attributes 0 (4), local header offset (4), name, extra. The extra is
// empty, or the ZIP64 block 01 00 with, in this order, just those of size,
// compressed size and offset that reach M (each set to M in its 4-byte field).
//
// Version needed is 20, or 45 for an entry with any value that reaches M.
//
// End: when the entry count reaches FFFF or the directory's size or offset
// reach M, the ZIP64 end record (50 4B 06 06, record size 44 (8), version
// made by 0 (2), version needed 45 (2), disks 0 (4+4), entries (8+8),
// directory size (8), directory offset (8)) and its locator (50 4B 06 07,
// disk 0 (4), record offset (8), disks 1 (4)). Always the end record
// (50 4B 05 06, disks 0 (2+2), entries (2+2), directory size (4), directory
// offset (4), comment length 22 (2)) and the comment "TORRENTZIPPED-" + the
// directory's CRC-32 in 8 uppercase hex digits. The directory runs from its
// offset straight to the end records; its CRC covers its records only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/file_ops.h"

namespace quorvane {

inline constexpr uint16_t kTorrentZipDosTime = 0xBC00;  // 23:32:00
inline constexpr uint16_t kTorrentZipDosDate = 0x2198;  // 1996-12-24
inline constexpr uint64_t kZip64Marker = 0xFFFFFFFF;
inline constexpr size_t kLocalHeaderFixedSize = 30;
inline constexpr size_t kZip64LocalExtraSize = 20;

// One entry as written.
struct TorrentZipRecord {
    std::string name;  // stored bytes
    bool utf8 = false;
    uint32_t crc32 = 0;
    uint64_t size = 0;
    uint64_t compressedSize = 0;
    uint64_t localHeaderOffset = 0;
};

// Whether an entry of these sizes has the ZIP64 block in its local header.
inline bool localHeaderHasZip64(uint64_t size, uint64_t compressedSize) {
    return size >= kZip64Marker || compressedSize >= kZip64Marker;
}

// The local header; `zip64` gives it the ZIP64 block (whatever the sizes).
std::string localHeader(const TorrentZipRecord& record, bool zip64);
std::string centralRecord(const TorrentZipRecord& record);
// What follows a directory of `entries` records, `size` bytes at `offset`.
std::string endRecords(uint64_t entries, uint64_t offset, uint64_t size, uint32_t directoryCrc);

// Where the directory of an archive lies, from its end records.
struct TorrentZipEnd {
    uint64_t entries = 0;
    uint64_t directoryOffset = 0;
    uint64_t directorySize = 0;
    uint32_t commentCrc = 0;  // the CRC the comment claims
};

// Reads the end records of the open file `fd`: false unless it ends with a
// well-formed TorrentZip comment and the directory they point at lies in
// the file right before them.
bool readTorrentZipEnd(FileOps& ops, int fd, TorrentZipEnd& end);

// Whether the directory bytes hold `entries` records that follow every rule
// a central record can show (fields, name encoding, order, folder entries).
bool directoryFollowsRules(std::string_view directory, uint64_t entries);

}  // namespace quorvane
