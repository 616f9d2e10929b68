// Writing a 7z archive (LZMA2) through libarchive, for sets whose output
// format is 7z.
//
// How to use:
//   ZipStatus s = write7z(folder + "/Game.7z", {{"a.bin", stagedPathA}, {"b.bin", stagedPathB}});
//
// The archive is written to a temporary file beside its final path, read
// back and checked (every entry's CRC and size against its source), synced,
// and only then renamed to the final path, which must be free: at no moment
// is a half-written 7z under a set's name.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "archive/zip_status.h"

namespace quorvane {

struct SevenZipSource {
    std::string entryName;   // as stored in the archive
    std::string sourcePath;  // a loose file holding the content
};

// Ok, or the failing status (SourceMissing for an unreadable source, Error
// for a failed write, CannotReplace when the final path is taken); nothing
// is left behind on failure.
ZipStatus write7z(const std::string& path, const std::vector<SevenZipSource>& entries);

}  // namespace quorvane
