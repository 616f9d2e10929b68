// CHD disk images (MAME's hard disk, CD-ROM and LaserDisc dumps). A DAT
// lists a disk by the SHA-1 its header carries, so a CHD is identified from
// its first bytes alone, never by reading or hashing the rest of the file.
//
// Header layout: integers big-endian, offsets from the start of the file,
// field sizes in bytes in brackets. Every version starts with
//   +0 tag "MComprHD" [8], +8 header length [4], +12 version [4]
// Version 3, 120 bytes:
//   +16 flags [4] (bit 0: has a parent, bit 1: writable), +20 compression [4],
//   +24 hunk count [4], +28 logical bytes [8], +36 metadata offset [8],
//   +44 MD5 [16], +60 parent's MD5 [16], +76 hunk bytes [4],
//   +80 SHA-1 [20], +100 parent's SHA-1 [20]
// Version 4, 108 bytes:
//   +16 flags [4], +20 compression [4], +24 hunk count [4],
//   +28 logical bytes [8], +36 metadata offset [8], +44 hunk bytes [4],
//   +48 SHA-1 of data and metadata [20], +68 parent's SHA-1 [20],
//   +88 SHA-1 of the data alone [20]
// Version 5, 124 bytes:
//   +16 compressors [4 x 4], +32 logical bytes [8], +40 map offset [8],
//   +48 metadata offset [8], +56 hunk bytes [4], +60 unit bytes [4],
//   +64 SHA-1 of the data alone [20], +84 SHA-1 of data and metadata [20],
//   +104 parent's SHA-1 [20] (zero when there is no parent)
// Versions 1 (76 bytes) and 2 (80 bytes) carry MD5s only; no DAT in use
// lists them, so they are refused like any unknown version.
//
// The SHA-1 a DAT lists is the one covering data and metadata (v4 +48, v5
// +84); a version 3 file has one SHA-1 (+80), which the DATs of its day list.
// The SHA-1s stay zero in a blank writable image (chdman createhd -s) and in
// one chdman did not finish: a valid header, but nothing a DAT can name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/file_ops.h"

namespace quorvane {

struct ChdHeader {
    unsigned version = 0;
    uint32_t headerLength = 0;
    uint64_t logicalBytes = 0;  // size of the disk the image holds
    uint32_t hunkBytes = 0;
    // Digests as lowercase hex; empty when this version has no such field.
    std::string sha1;        // what a DAT lists; empty when never set
    std::string rawSha1;     // the data without metadata (v4, v5)
    std::string md5;         // v3
    std::string parentSha1;  // empty unless the image is a diff on a parent

    bool hasParent() const { return !parentSha1.empty(); }
};

// The largest header of a supported version: all a caller ever has to read.
inline constexpr std::size_t kChdHeaderProbeBytes = 124;

// Why a header could not be read. A zip status is not used: its codes and
// words speak of zip archives, it cannot carry the version found, and a
// caller has to tell a damaged image (report it) from a disk that failed to
// read (say so, and leave the file alone).
enum class ChdHeaderError {
    None,
    FileNotFound,
    Unreadable,          // opening, sizing or reading failed
    NotChd,              // no "MComprHD" tag
    Truncated,           // the file ends before its header does
    WrongHeaderLength,   // the length field disagrees with the version's layout
    UnsupportedVersion,  // anything but 3, 4 and 5
};

struct ChdHeaderResult {
    ChdHeaderError error = ChdHeaderError::None;
    std::string reason;  // for a message; empty when ok()

    bool ok() const { return error == ChdHeaderError::None; }
    // The file is there and read, but its header is bad.
    bool damaged() const {
        return !ok() && error != ChdHeaderError::FileNotFound && error != ChdHeaderError::Unreadable;
    }
};

// Parses a file's first kChdHeaderProbeBytes bytes (the whole file when it
// is shorter). `out` is filled only when the result is ok().
ChdHeaderResult parseChdHeader(std::string_view head, ChdHeader& out);

// Reads the header of the file at `path`: at most kChdHeaderProbeBytes.
ChdHeaderResult readChdHeader(const std::string& path, ChdHeader& out, FileOps& ops = fileOps());

// Whether a file name (or path) names a CHD: ".chd" in any case.
bool looksLikeChd(std::string_view fileName);

}  // namespace quorvane
