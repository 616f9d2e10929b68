// The records of a TorrentZip archive, written and read back. All numbers
// little-endian; M is the ZIP64 marker FFFFFFFF (FFFF for counts).
//
// TorrentZip fixes the general records (zip_records.h) further: every entry
// is deflated (method 8) with flags 2 (maximum compression, bit 11 for a
// UTF-8 name), dated 1996-12-24 23:32:00, made by 0, with attributes 0 and
// an extra field only when ZIP64 needs one. The end record's comment is
// "TORRENTZIPPED-" + the directory's CRC-32 in 8 uppercase hex digits; the
// CRC covers the directory's records only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/file_ops.h"
#include "archive/zip_records.h"

namespace quorvane {

inline constexpr uint16_t kTorrentZipDosTime = 0xBC00;  // 23:32:00
inline constexpr uint16_t kTorrentZipDosDate = 0x2198;  // 1996-12-24

// One entry as written.
struct TorrentZipRecord {
    std::string name;  // stored bytes
    bool utf8 = false;
    uint32_t crc32 = 0;
    uint64_t size = 0;
    uint64_t compressedSize = 0;
    uint64_t localHeaderOffset = 0;
};

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
