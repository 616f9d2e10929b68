// A whole zip archive built in memory from entries deflated already, so a
// new archive goes to disk in one write instead of through minizip's
// per-entry writes and header patches.
//
// Layout (PKWARE APPNOTE, no ZIP64, no data descriptors): for each entry a
// local header (signature 0x04034b50, version needed 20, the stream's
// option bits, method 8, DOS time and date, CRC-32, compressed and
// uncompressed size, name length, no extra field) then its name and
// compressed bytes; then a central directory header per entry (signature
// 0x02014b50, made by 0 and needed 20 as minizip writes them, the same
// fields, no comment, attributes 0, the local header's offset); then the
// end record (0x06054b50) with the entry count, the directory's size and
// offset and no comment. All numbers little-endian.
//
// How to use:
//   ZipImage image;
//   if (!image.add("a.bin", data)) ...   // too large for a plain zip: write it another way
//   const std::string& bytes = image.finish();
#pragma once

#include <string>
#include <string_view>

#include "archive/zip_update.h"

namespace quorvane {

class ZipImage {
public:
    // False, and nothing added, when the entry would need ZIP64 (sizes or
    // offsets past 4 GiB, or more than 65,534 entries) or its name is too long.
    bool add(std::string_view name, const DeflatedData& data);
    size_t count() const { return entries_; }
    // The archive: the entries, their directory and the end record.
    const std::string& finish();

private:
    std::string local_;
    std::string central_;
    size_t entries_ = 0;
};

}  // namespace quorvane
