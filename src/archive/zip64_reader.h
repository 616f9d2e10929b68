// Reads entries whose central record uses ZIP64 extra fields, without
// minizip (see ZipEntry::readDirectly).
//
// Central directory record (little-endian): signature 50 4B 01 02 at +0,
// compressed size +20 (4), uncompressed size +24 (4), name length +28 (2),
// extra length +30 (2), local header offset +42 (4), name at +46, extra
// after it. A size or offset of FFFFFFFF means "see the ZIP64 extra block"
// (id 0x0001), which holds 8-byte values for just those fields, in the order
// uncompressed size, compressed size, local header offset.
// Local header: signature 50 4B 03 04 at +0, name length +26 (2), extra
// length +28 (2); the data follows name and extra.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/file_ops.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_status.h"

namespace quorvane {

struct Zip64Record {
    uint64_t uncompressedSize = 0;
    uint64_t compressedSize = 0;
    uint64_t localHeaderOffset = 0;
};

// What minizip read of the current central record.
struct CentralRecordSeen {
    uint32_t crc = 0;
    std::string_view name;
    std::string_view extra;
};

// Decodes the central record at `offset` of the archive `path`, which must be
// the record `seen` (minizip's directory offsets leave out bytes in front of
// the archive; such an archive's ZIP64 entries are not found and it counts as
// damaged). Ok, or BadZipFile (also when the entry's local header or
// stored bytes would lie past the end of the file) / Error.
ZipStatus readZip64CentralRecord(FileOps& ops, const std::string& path, uint64_t offset, const CentralRecordSeen& seen,
                                 Zip64Record& record);

// Passes the entry's stored bytes (`rawBytes`) or its uncompressed bytes
// (stored or deflated entries) to `sink`, checking length and CRC like the
// minizip path does.
ZipStatus readZip64EntryData(FileOps& ops, const std::string& path, const ZipEntry& entry, bool rawBytes,
                             const BlockSink& sink);

}  // namespace quorvane
