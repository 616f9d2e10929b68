// One forward pass over an archive read through libarchive (see
// packed_archive.h), its bytes taken through a FileOps so that a test can
// fail any read. Only regular files are shown; folders, links and devices
// are stepped over. Gzip is inflated by GzipSource (gzip_source.h): a .gz
// directly, as its one entry, and a .tar.gz on its way to libarchive.
//
// How to use:
//   PackedReader reader;
//   ZipStatus s = reader.open(path, PackedFormat::SevenZip);
//   while ((s = reader.next()) == ZipStatus::Ok) {
//       ... reader.name(), reader.size();
//       s = reader.read([](const void* data, size_t n) { ...; return true; });
//   }
//   if (s != ZipStatus::EndOfList) report s and reader.detail();
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "archive/file_ops.h"
#include "archive/packed_archive.h"
#include "archive/zip_status.h"

struct archive;

namespace quorvane {

class PackedReader {
public:
    using Sink = std::function<bool(const void* data, size_t size)>;

    explicit PackedReader(FileOps& ops = fileOps());
    ~PackedReader();
    PackedReader(const PackedReader&) = delete;
    PackedReader& operator=(const PackedReader&) = delete;

    // Ok, FileNotFound or FileUnreadable, or BadZipFile when the content is
    // not of `format` (a tar's compression included).
    ZipStatus open(const std::string& path, PackedFormat format);

    // Moves to the next regular file, passing over what is left of the
    // current one: Ok, EndOfList after the last, or why the archive cannot
    // be read on (Encrypted for an entry that needs a password).
    ZipStatus next();

    // As stored; a gzip's one entry is named after the file without ".gz".
    const std::string& name() const { return name_; }
    // Whether the archive states the current entry's size (a gzip does not).
    bool sizeKnown() const { return sizeKnown_; }
    uint64_t size() const { return size_; }
    // The entry's last-write time, or -1 when the archive gives none.
    time_t modifiedTime() const { return modifiedTime_; }

    // Streams the current entry's data to `sink` in blocks of a fixed size:
    // Ok; Error when the sink returned false; BadZipFile when the data is
    // longer or shorter than the stated size; or the reason the data cannot be read (CrcError,
    // UnsupportedMethod, ...). A gzip's data (a .tar.gz's too) is checked
    // against its CRC; stored RAR entries are not (libarchive does not), so
    // their listed CRC is that of the data as it is.
    ZipStatus read(const Sink& sink);

    // libarchive's words (or ours) for the last failure.
    const std::string& detail() const { return detail_; }

    // Libarchive's callbacks reach the file through this.
    struct Source;

private:
    ZipStatus fail(ZipStatus status, std::string detail);
    ZipStatus failFromArchive(ZipStatus otherwise);

    FileOps* ops_;
    std::unique_ptr<Source> source_;
    archive* archive_ = nullptr;
    PackedFormat format_ = PackedFormat::None;
    std::string path_;
    bool first_ = true;     // no header read yet
    bool current_ = false;  // next() has shown an entry
    std::string name_;
    bool sizeKnown_ = false;
    uint64_t size_ = 0;
    time_t modifiedTime_ = -1;
    std::unique_ptr<unsigned char[]> buffer_;
    std::string detail_;
};

// The status libarchive's error text stands for: Encrypted for words about
// passwords and encryption, UnsupportedMethod for a method or filter it
// lacks, CrcError for a data checksum mismatch, otherwise `otherwise`.
ZipStatus packedStatusFromText(std::string_view text, ZipStatus otherwise);

}  // namespace quorvane
