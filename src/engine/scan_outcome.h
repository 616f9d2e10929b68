// What a scan left of one system's statuses, kept beside its scan cache: a
// re-scan that finds every file unchanged and its entries all in place would
// give each row the status it already has, so it need neither hold, read
// back nor write the system's rows, and takes its counts from here.
//
// How to use:
//   std::optional<ScanOutcome> kept = ScanOutcome::read(path);
//   if (kept && kept->holdsFor(folder, catalogue, cache, stampOf(recordFile))) ...
//   ScanOutcome{...}.write(path);
//
// Believed only while all of these are as it says: the scan cache is the
// very file the scan kept (its length and CRC-32) and the catalogue stamp
// (rows and merge modes) the same; the catalogue's record file is untouched
// since (device, inode, size, modification and status-change times, to the
// nanosecond), as every status write changes its times. It is written only
// when the record file's last change came a settle time before: a write in
// the same clock tick might leave the times as they were. What it cannot see:
// a status write that leaves the record file's times alike (a clock set
// back, times set by hand), or a cache forged with the same length and CRC.
//
// On disk, one file per system, every number little-endian:
//   magic     8 bytes  "QVSCANS" 0x00
//   version   u32      kVersion; any other version is ignored
//   folder    text     the system folder scanned
//   catalogue text     the catalogue stamp the scan ran under
//   cache     u64 length, u32 CRC-32 of the scan cache file
//   records   u64 device, inode; i64 size, modified ns, changed ns of the
//             catalogue's record file after the scan
//   counts    six i64: games complete, incomplete, missing; ROMs have,
//             missing, elsewhere
//   crc       u32      CRC-32 of every byte before it
// A text is a u32 byte count and that many bytes. A file of any other
// length, version or CRC is not used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/job_report.h"
#include "engine/ordered_loader.h"

namespace quorvane {

struct ScanOutcome {
    static constexpr std::uint32_t kVersion = 1;

    std::string folder;
    std::string catalogue;
    std::uint64_t cacheSize = 0;
    std::uint32_t cacheCrc = 0;
    FileStamp records;
    StatusCounts counts;

    // Where the outcome of `system` lives beside the catalogue with base
    // path `cataloguePath` (beside its scan cache).
    static std::string pathFor(const std::string& cataloguePath, const std::string& system);
    // The outcome at `path`; nothing when there is none or it is damaged.
    static std::optional<ScanOutcome> read(const std::string& path);
    // A temporary file renamed over `path`; false when it could not be written.
    bool write(const std::string& path) const;

    // Whether it still says what a scan of `folder` would leave, with the
    // catalogue at `catalogue`, the cache read of `cacheSize` bytes with
    // CRC `cacheCrc`, and the record file at `recordsNow`.
    bool holdsFor(const std::string& folderNow, const std::string& catalogueNow, std::uint64_t cacheSizeNow,
                  std::uint32_t cacheCrcNow, const FileStamp& recordsNow) const;
    bool operator==(const ScanOutcome& other) const;
};

}  // namespace quorvane
