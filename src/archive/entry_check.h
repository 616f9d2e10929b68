// The quick test of one entry's data: a whole-buffer inflate with libdeflate
// and its CRC-32, about twice as fast as zlib's streaming inflate. It only
// ever proves an entry sound; anything else (damage, an unusual entry) is
// left to the full read of zip_entry_io, so that every failing archive gets
// exactly that read's status.
#pragma once

#include <cstddef>

#include "archive/zip_listing.h"

namespace quorvane {

// Entries the quick test can judge: stored or deflated, not encrypted, no
// ZIP64 fields, both sizes at most ArchiveBytes::kSpanLimit, and an
// uncompressed size that the stored bytes could unpack to.
bool quickTestApplies(const ZipEntry& entry);

// True when `stored` (the entry's `entry.compressedSize` stored bytes)
// unpacks to exactly `entry.uncompressedSize` bytes with the recorded CRC.
bool quickTestPasses(const ZipEntry& entry, const unsigned char* stored);

// The same test keeping what it unpacks: `out` (room for the entry's
// uncompressed size) receives the entry's bytes. A stored entry is only
// checked: its bytes are `stored` already.
bool quickUnpack(const ZipEntry& entry, const unsigned char* stored, unsigned char* out);

}  // namespace quorvane
