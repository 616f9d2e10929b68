// Content digests of one archive entry or one loose file, as the catalogue
// stores them: CRC-32 of a loose file as 8 lowercase hex digits, MD5 and
// SHA-1 as lowercase hex. The data is read once for all digests asked for.
// (An entry's CRC-32 is never computed: ZipListing reads it from the archive.)
//
// How to use:
//   ContentDigests entry(archivePath, entryName);
//   std::string md5, sha1;
//   if (entry.digestEntry(md5, sha1, useMd5, useSha1)) ...
//
//   ContentDigests file(path);
//   file.digestFile(crc, md5, sha1, true, useMd5, useSha1);
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/file_ops.h"
#include "archive/zip_listing.h"

namespace quorvane {

class ContentDigests {
public:
    ContentDigests(std::string archivePath, std::string entryName, FileOps& ops = fileOps());
    explicit ContentDigests(std::string filePath, FileOps& ops = fileOps());
    // An entry of a 7z, RAR, gzip or tar archive, which is found by its
    // content as well as its name (see packed_archive.h).
    ContentDigests(std::string archivePath, const EntryKey& packedEntry, FileOps& ops = fileOps());

    // False, with empty texts, when the archive cannot be opened, has no
    // entry of exactly this name, or its data cannot be read whole and
    // with the right CRC. Texts not asked for stay empty.
    bool digestEntry(std::string& md5, std::string& sha1, bool wantMd5, bool wantSha1);

    // False, with empty texts, when the file cannot be opened or read.
    bool digestFile(std::string& crc, std::string& md5, std::string& sha1, bool wantCrc, bool wantMd5,
                    bool wantSha1);

    // The digests above leave out the content's first `bytes` bytes (a
    // copier header).
    void skipHeader(std::uint64_t bytes) { skip_ = bytes; }
    // The content's first `count` bytes (all of it when shorter); false when
    // it cannot be read.
    bool readHead(std::string& out, std::size_t count);

private:
    // The entry's data, block by block.
    ZipStatus readEntry(const std::function<bool(const char* data, size_t size)>& sink) const;

    std::string name_;  // entry name, or the loose file's path
    std::string archivePath_;
    FileOps* ops_;
    std::uint64_t skip_ = 0;
    bool packed_ = false;
    EntryKey packedKey_;
};

}  // namespace quorvane
