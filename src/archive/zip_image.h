// A whole zip archive built in memory from entries deflated already, so a
// new archive goes to disk in one write instead of through minizip's
// per-entry writes and header patches.
//
// The records are the general ones (zip_records.h) without ZIP64: version
// needed 20, the stream's option bits, method 8, made by 0, attributes 0,
// no extra field and no comment.
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
