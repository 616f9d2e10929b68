// TorrentZip: zips whose bytes follow only from their entries' names and
// contents, so that two people who hold the same set hold the same file.
//
// The rules, for every archive this file writes:
//   - entries sorted by lowercase name (byte order of the lower-cased UTF-8
//     name; see torrent_zip_names.h for ties), "/" as separator; a folder
//     entry ("name/") only for a folder that holds nothing else (a file or
//     a folder entry of its own);
//   - names stored in CP437 when every character has a CP437 form, else in
//     UTF-8 with general-purpose flag bit 11;
//   - every date and time the DOS value of 1996-12-24 23:32:00;
//   - "version made by" 0, "version needed" 20 (45 where ZIP64 is needed),
//     flags 2 (maximum compression), plus bit 11 for UTF-8 names;
//   - DEFLATE at level 9, raw 15-bit window, memory level 8, default
//     strategy; no data descriptors, no extra fields but ZIP64 ones where a
//     size or offset needs them, no file or entry comments;
//   - the archive comment "TORRENTZIPPED-XXXXXXXX", XXXXXXXX the CRC-32 of
//     the whole central directory in uppercase hex.
// The bytes themselves are laid out in torrent_zip_format.h.
//
// How to use:
//   if (!isTorrentZip(path)) torrentZipArchive(path, backupFolder);
#pragma once

#include <string>

#include "archive/file_ops.h"
#include "archive/zip_status.h"

namespace quorvane {

// Whether the zip at `path` ends with a TorrentZip comment ("TORRENTZIPPED-"
// and 8 uppercase hex digits, nothing after) whose CRC is that of its
// central directory, which runs straight to the end records. Reads the end
// of the file and the directory only; false for anything unreadable.
bool isTorrentZip(const std::string& path, FileOps& ops = fileOps());

// Rewrites the zip at `path` as TorrentZip with the same entries (names and
// contents). The new archive is written beside it, checked, synced and
// renamed over it; with `keepOriginalIn`, the original is first moved into
// that folder (under a free name) instead of being replaced, and
// `keptAs` receives where it went. An archive that is already valid
// TorrentZip, its directory following every rule above, is left alone (Ok,
// *changed false). Entries of one name are all kept.
//
// The data is read once and deflated straight into the new file; the new
// archive is listed again and its names, CRCs and sizes compared with the
// plan before it takes the original's place.
//
// Statuses: FileNotFound, ParamError (not a zip) and the reading statuses
// (BadZipFile, CrcError, DataError, ...) for an archive that cannot be read
// whole; Error when the new archive cannot be written or does not read
// back as written; CannotReplace when it cannot be put in place or the
// original cannot be moved into `keepOriginalIn`. On failure the original
// is where it was, unchanged, and no temporary file is left.
ZipStatus torrentZipArchive(const std::string& path, const std::string& keepOriginalIn = {},
                            bool* changed = nullptr, std::string* keptAs = nullptr);

}  // namespace quorvane
