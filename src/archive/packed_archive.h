// Archives other than zip, read through libarchive: 7z, RAR (4 and 5), gzip
// (one file), tar and compressed tar (.tar.gz/.tgz, .tar.bz2/.tbz2,
// .tar.xz/.txz). Zips never come here: the zip layer reads them faster and
// knows their damage better.
//
// Every function reads the archive from its start to its end in one pass, so
// a solid 7z block is decompressed once per call, never once per entry.
// Only regular files are entries; folders, links, devices and the like are
// left out. Names are kept as stored (with "/" separators), as UTF-8;
// nothing taken from an archive ever becomes a path outside the folder a
// caller names: extracted files are named by the caller or by the last
// component of the entry's name. Memory stays bounded whatever an entry
// claims (data is streamed), and an entry that yields more or fewer bytes
// than its header states is damaged (BadZipFile).
//
// Checks: 7z and compressed RAR entries are checked against their CRCs by
// libarchive, a gzip (and a .tar.gz) against each member's CRC and length
// here. libarchive does not check a stored RAR entry's CRC, and tar has
// none: such damage shows only as a CRC that no DAT expects.
//
// Reads go through fileOps() (archive/file_ops.h), as do the files written.
//
// How to use:
//   PackedListing list = listPacked(path, {.md5 = false, .sha1 = false});
//   if (list.status != ZipStatus::Ok) report zipStatusWithReason(list.status) and list.detail;
//   for (const PackedEntry& e : list.entries) ... e.name, e.size, e.crc32
//   extractPacked(path, {{key, folder + "/a.bin"}}, written);
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/zip_listing.h"
#include "archive/zip_status.h"

namespace quorvane {

enum class PackedFormat { None, SevenZip, Rar, Gzip, Tar };

// The format a file's name says it has (letter case ignored): ".7z",
// ".rar", ".gz" (not ".tar.gz"), ".tar", ".tar.gz", ".tgz", ".tar.bz2",
// ".tbz2", ".tar.xz", ".txz". None for anything else, zips included.
PackedFormat packedFormatOf(std::string_view fileName);

// `fileName` without its archive extension, ".zip" or one of the above
// ("Game.7z" -> "Game", "pack.tar.gz" -> "pack"); the name itself when it
// has none.
std::string packedStem(std::string_view fileName);

struct PackedEntry {
    std::string name;  // as stored; a gzip file's one entry is named after the file without ".gz"
    uint64_t size = 0;
    uint32_t crc32 = 0;  // computed while listing
    std::string md5;     // lowercase hex, when asked for
    std::string sha1;
    // The first bytes of the content (up to kPackedHeadBytes), for copier
    // header detection without a second read.
    std::string head;
};

constexpr size_t kPackedHeadBytes = 512;

struct PackedListing {
    // Ok, or why the archive cannot be read whole: BadZipFile (damaged or
    // truncated), Encrypted, UnsupportedMethod, CrcError, FileNotFound,
    // FileUnreadable. On failure `entries` is empty: a damaged archive never
    // yields half a listing.
    ZipStatus status = ZipStatus::Ok;
    std::string detail;  // libarchive's own words, when it gave any
    std::vector<PackedEntry> entries;
};

// Lists and tests the archive in one pass: every entry's data is read to its
// end and its CRC-32 (and the digests asked for) computed.
PackedListing listPacked(const std::string& path, bool wantMd5, bool wantSha1);
// The same for a file read as `format`, whatever its name says.
PackedListing listPacked(const std::string& path, PackedFormat format, bool wantMd5, bool wantSha1);

// Streams the data of the first entry that `key` matches (name, CRC and
// size) to `sink`; a sink returning false stops the read (Error). Ok,
// EntryGone when no entry matches, or why the read failed. An entry's CRC
// is known only once it is read, so the first entry of that name (and
// size, where the format states it) is streamed and checked against the
// key's CRC and size at its end (CrcError); the read stops as soon as it
// passes the key's size, so a gzip that inflates without end fills nothing.
ZipStatus readPackedEntry(const std::string& path, const EntryKey& key,
                          const std::function<bool(const void* data, size_t size)>& sink);

// One pass that writes each wanted entry into the file named with it (a
// new file; the caller picks a free path): first to a temporary file beside
// it, synced, then renamed without replacing anything (Error when the path
// is taken). Entries that match no key are skipped unread where the format
// allows; one entry may fill several keys that name the same content. Ok
// when every key was found and written; otherwise the first failing status
// (EntryGone for a key not found), and no partial file is left for the
// failing entry.
ZipStatus extractPacked(const std::string& path, const std::vector<std::pair<EntryKey, std::string>>& wanted);

// Writes every entry into `folder` under the last component of its name (a
// free variant "name (1).ext" when taken), as ZipReader::extractAll does, so
// "../x" and "/x" both land in `folder` as "x". An entry whose last
// component is empty, "." or ".." names no file and is passed over; an
// empty entry is written (it is a file, not a folder as in a zip). Each file
// goes through a temporary file in `folder`. Ok, or the first failing
// status (files written before it stay; the failing one leaves nothing).
ZipStatus extractAllPacked(const std::string& path, const std::string& folder);

}  // namespace quorvane
