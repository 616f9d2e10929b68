// A quick reader for the central directory of a plain archive, the layout
// nearly every zip tool writes: the end record as the file's last 22 bytes
// (no comment), the directory right before it, no ZIP64 records, nothing in
// front of the first entry. Anything else is declined, and the caller lists
// the archive with minizip; an archive read here lists exactly as minizip
// lists it, without minizip's byte-by-byte search of the last 64 KiB for a
// ZIP64 locator.
//
// End record (little-endian): 50 4B 05 06, disk +4 (2), directory's disk
// +6 (2), entries on this disk +8 (2), entries +10 (2), directory size +12
// (4), directory offset +16 (4), comment length +20 (2). Central record:
// see zip64_reader.h; flag +8, method +10, DOS time and date +12 (4), CRC
// +16, comment length +32. Local header: flag +6, method +8, CRC +14,
// compressed size +18, uncompressed size +22, name length +26, extra
// length +28.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/file_ops.h"
#include "archive/zip_listing.h"

namespace quorvane {

// How much of a file's end a caller must pass: minizip's whole search span
// for the ZIP64 locator (64 KiB back from the end, read in 1 KiB steps),
// rounded up.
inline constexpr uint64_t kLocatorSearchSpan = 0x10800;

// Whether minizip's search for a ZIP64 locator may find one in a file of
// `fileSize` bytes whose last `tailSize` bytes are `tail`: false only when
// the tail covers the whole search span and holds no locator signature.
bool minizipMayFindLocator(const unsigned char* tail, uint64_t tailSize, uint64_t fileSize);

struct PlainDirectory {
    std::vector<ZipEntry> entries;
    std::vector<uint64_t> localHeaderOffsets;  // one per entry
};

// `tail` holds the last `tailSize` bytes of a file of `fileSize` bytes
// (tailSize == fileSize for the whole file). True when the archive is plain
// and its directory lies within `tail`.
bool readPlainDirectory(const unsigned char* tail, uint64_t tailSize, uint64_t fileSize, PlainDirectory& out);

// Lists the plain archive `path` of `fileSize` bytes from its last few KiB
// (and one more read for a large directory); false when it is not plain or
// cannot be read. It does not look for what would make minizip list the
// archive otherwise (a ZIP64 locator's signature in its last 64 KiB), so it
// suits a caller that compares the listing with one it already holds.
bool listPlainArchive(FileOps& ops, const std::string& path, uint64_t fileSize, PlainDirectory& out);

// Where an entry's data starts, from the 30 fixed bytes of its local header
// at `localHeaderOffset`: 0 unless the header agrees with `entry`
// (signature, method, name length and, without a data descriptor, CRC and
// sizes), which covers everything minizip checks before reading the data.
uint64_t plainDataOffset(const unsigned char* localHeader, const ZipEntry& entry, uint64_t localHeaderOffset);

inline constexpr uint64_t kLocalHeaderSize = 30;

}  // namespace quorvane
