// Many entries added to one archive by a single rewrite: the additions are
// collected first, then commit() writes the new version of the archive once
// (its kept entries copied raw, the new ones after them) and renames it into
// place, with every safety property of rewriteArchive (zip_writer.h).
//
// How to use:
//   ZipUpdate update(archivePath);
//   update.addDeflated("a.bin", data);                 // deflated already
//   update.addFile(sourcePath, "b.bin", &expected);    // deflated at commit
//   update.addEntryOf(otherZip, key, "c.bin");         // copied from a zip
//   update.leaveOut(oldKey);                           // an entry dropped
//   if (update.commit() != ZipStatus::Ok) ...          // the archive failed
//   update.result(i)                                   // each addition's fate
//
// An addition replaces the archive's entries of its name. One that cannot be
// taken (its source is gone, unreadable or not the content expected) is left
// out and the others are written; when none is left, the archive is not
// touched. Entries are deflated with libdeflate (plain_deflate.h); an entry of
// another zip that is deflated already keeps its compressed bytes. A new
// archive whose additions were all deflated ahead is made in memory
// (zip_image.h) and written at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/file_ops.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "archive/zip_writer.h"

namespace quorvane {

class ArchiveBytes;

// An entry's data deflated ahead of its archive's rewrite.
struct DeflatedData {
    std::string bytes;  // raw deflate stream
    uint32_t crc32 = 0;
    uint64_t size = 0;  // uncompressed
    uint32_t dosDate = 0;
    uint32_t optionBits = 0;  // general-purpose bits 1-2, as the stream's maker set them
};

// The entry `key` of `sourceZip` as stored, when it is deflated (and not
// encrypted) and its compressed size at most `limit`: ready for
// addDeflated without inflating it. EntryGone when there is no such entry,
// UnsupportedMethod when it is stored another way or is too large.
ZipStatus readDeflatedEntry(const std::string& sourceZip, const EntryKey& key, DeflatedData& out, uint64_t limit,
                            FileOps& ops = fileOps());

class ZipUpdate {
public:
    explicit ZipUpdate(std::string archivePath) : path_(std::move(archivePath)) {}

    const std::string& path() const { return path_; }
    size_t count() const { return additions_.size(); }
    bool empty() const { return additions_.empty(); }
    // Bytes held in memory by additions waiting for commit.
    uint64_t bytesHeld() const { return bytesHeld_; }

    void addDeflated(std::string entryName, DeflatedData data);
    // The disk file `sourcePath` from byte `skipBytes` on, dated with its
    // last-write time; with `expected`, other content is refused (CrcError).
    void addFile(std::string sourcePath, std::string entryName, std::optional<ExpectedContent> expected = {},
                 uint64_t skipBytes = 0);
    // The entry `key` of the zip `sourceZip` (which may be this archive):
    // its compressed bytes when it is deflated, else its data deflated anew,
    // dated as the entry. EntryGone when the source holds no such entry.
    void addEntryOf(std::string sourceZip, EntryKey key, std::string entryName);
    // Leaves the archive's first entry matching `key` out of its new version,
    // when one is written (an entry renamed within the archive: added under
    // its new name from this archive, and left out under its old one).
    void leaveOut(EntryKey key) { leftOut_.push_back(std::move(key)); }
    // The archive's whole file as the caller has read it: commit takes the
    // kept entries (and this archive's own additions) from there instead of
    // reading the archive again. It must outlive the commit, and the caller
    // must know the archive unchanged since. The next commit alone uses it.
    void readFrom(const ArchiveBytes& bytes) { read_ = &bytes; }

    // Writes the archive once. Ok when every addition that could be taken is
    // in it (or none could); otherwise the archive's status (Error,
    // CannotReplace, ...) and the archive is as it was. Additions wait until
    // the next commit; clear() drops them.
    ZipStatus commit(FileOps& ops = fileOps(), ArchiveHolds holds = ArchiveHolds::UserFiles);
    // After commit: Ok for an addition now in the archive (or replaced by a
    // later one of its name), else why it is not.
    ZipStatus result(size_t index) const { return index < results_.size() ? results_[index] : ZipStatus::Error; }
    // After commit: whether it wrote the archive where there was none.
    bool created() const { return created_; }
    void clear();

    struct Addition {
        enum class Kind { Deflated, File, ZipEntry } kind;
        std::string entryName;
        DeflatedData data;             // Deflated
        std::string source;            // File: its path; ZipEntry: the zip's path
        std::optional<ExpectedContent> expected;  // File
        uint64_t skipBytes = 0;        // File
        EntryKey key;                  // ZipEntry
    };

private:
    std::string path_;
    std::vector<Addition> additions_;
    std::vector<EntryKey> leftOut_;
    std::vector<ZipStatus> results_;
    uint64_t bytesHeld_ = 0;
    bool created_ = false;
    const ArchiveBytes* read_ = nullptr;
};

}  // namespace quorvane
