#include "archive/packed_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "archive/gzip_source.h"
#include "archive/libarchive_api.h"
#include "archive/utf8_locale.h"
#include "core/file_util.h"

namespace quorvane {

namespace {

// Large enough that libarchive asks for few blocks, small enough that many
// readers at once stay cheap.
constexpr size_t kBlockSize = size_t{128} << 10;

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Whether the file is inflated here rather than by libarchive (see gzip_source.h).
bool isGzipped(PackedFormat format, std::string_view path) {
    if (format == PackedFormat::Gzip) return true;
    const std::string name = lowerCase(path);
    return format == PackedFormat::Tar && (endsWith(name, ".gz") || endsWith(name, ".tgz"));
}

// The compression filter libarchive must find, by the name of a tar.
int expectedFilter(PackedFormat format, std::string_view path) {
    if (format != PackedFormat::Tar) return ARCHIVE_FILTER_NONE;
    const std::string name = lowerCase(path);
    if (endsWith(name, ".bz2") || endsWith(name, ".tbz2")) return ARCHIVE_FILTER_BZIP2;
    if (endsWith(name, ".xz") || endsWith(name, ".txz")) return ARCHIVE_FILTER_XZ;
    return ARCHIVE_FILTER_NONE;
}

std::string kindOf(PackedFormat format, std::string_view path) {
    switch (format) {
        case PackedFormat::SevenZip: return "7z data";
        case PackedFormat::Rar: return "RAR data";
        case PackedFormat::Gzip: return "gzip data";
        case PackedFormat::Tar: break;
        case PackedFormat::None: return "an archive";
    }
    if (isGzipped(format, path)) return "tar data compressed with gzip";
    switch (expectedFilter(format, path)) {
        case ARCHIVE_FILTER_BZIP2: return "tar data compressed with bzip2";
        case ARCHIVE_FILTER_XZ: return "tar data compressed with xz";
        default: return "uncompressed tar data";
    }
}

}  // namespace

struct PackedReader::Source {
    FileOps* ops = nullptr;
    std::string path;
    int fd = -1;
    uint64_t offset = 0;
    uint64_t size = 0;
    std::unique_ptr<unsigned char[]> block;
    std::unique_ptr<GzipSource> gzip;
    // Why the file itself could not be read: libarchive may put its own
    // words ("truncated") over the error a callback sets.
    std::string readFailure;
};

namespace {

using Source = PackedReader::Source;

la_ssize_t readBlock(archive* a, void* data, const void** out) {
    auto* s = static_cast<Source*>(data);
    *out = s->block.get();
    if (s->gzip) {
        const ssize_t n = s->gzip->read(s->block.get(), kBlockSize);
        if (n < 0) {
            const int error = s->gzip->readErrno();
            if (error) s->readFailure = s->gzip->error();
            libArchiveLoaded().archive_set_error(a, error ? error : EILSEQ, "%s", s->gzip->error().c_str());
            return ARCHIVE_FATAL;
        }
        return n;
    }
    const ssize_t n = s->ops->readAt(s->fd, s->block.get(), kBlockSize, s->offset);
    if (n < 0) {
        const int error = errno;
        s->readFailure = "cannot read " + s->path + ": " + std::strerror(error);
        libArchiveLoaded().archive_set_error(a, error, "%s", s->readFailure.c_str());
        return ARCHIVE_FATAL;
    }
    s->offset += static_cast<uint64_t>(n);
    return n;
}

la_int64_t skipBytes(archive*, void* data, la_int64_t request) {
    auto* s = static_cast<Source*>(data);
    if (request <= 0) return 0;
    const uint64_t left = s->size > s->offset ? s->size - s->offset : 0;
    const uint64_t n = std::min(static_cast<uint64_t>(request), left);
    s->offset += n;
    return static_cast<la_int64_t>(n);
}

la_int64_t seekTo(archive* a, void* data, la_int64_t offset, int whence) {
    auto* s = static_cast<Source*>(data);
    const la_int64_t base = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? static_cast<la_int64_t>(s->offset)
                                                 : static_cast<la_int64_t>(s->size);
    if (base + offset < 0) {
        libArchiveLoaded().archive_set_error(a, EINVAL, "seek before the start of %s", s->path.c_str());
        return ARCHIVE_FATAL;
    }
    s->offset = static_cast<uint64_t>(base + offset);
    return base + offset;
}

}  // namespace

ZipStatus packedStatusFromText(std::string_view text, ZipStatus otherwise) {
    const std::string words = lowerCase(text);
    const auto has = [&words](const char* part) { return words.find(part) != std::string::npos; };
    if (has("crypt") || has("passphrase") || has("password")) return ZipStatus::Encrypted;
    // Only words about methods and filters: libarchive also says "unsupported"
    // of header fields that are merely damaged.
    for (const char* part :
         {"unsupported compression", "compression method not supported", "compression not supported", "codec id",
          "unsupported filter", "filters is unsupported", "many filters", "bcj2", "dictionary size is not supported"})
        if (has(part)) return ZipStatus::UnsupportedMethod;
    // A header's checksum guards the structure: that is damage, not a data CRC.
    if (has("header crc") || has("header checksum")) return otherwise;
    if (has("crc") || has("checksum")) return ZipStatus::CrcError;
    return otherwise;
}

PackedReader::PackedReader(FileOps& ops) : ops_(&ops) {}

PackedReader::~PackedReader() {
    const ScopedUtf8Locale utf8Names;
    if (archive_) libArchiveLoaded().archive_read_free(archive_);
    if (source_ && source_->fd >= 0) ops_->close(source_->fd);
}

ZipStatus PackedReader::fail(ZipStatus status, std::string detail) {
    detail_ = std::move(detail);
    return status;
}

ZipStatus PackedReader::failFromArchive(ZipStatus otherwise) {
    const char* text = libArchiveLoaded().archive_error_string(archive_);
    std::string words = text ? text : "damaged or cut short (libarchive gave no reason)";
    // A failing read of the file itself is no fault of the archive.
    if (!source_->readFailure.empty()) return fail(ZipStatus::FileUnreadable, source_->readFailure);
    if (first_ && words.find("Unrecognized archive format") != std::string::npos)
        words = "the content is not " + kindOf(format_, path_) + " (" + words + ")";
    const ZipStatus status = packedStatusFromText(words, otherwise);
    return fail(status, std::move(words));
}

ZipStatus PackedReader::open(const std::string& path, PackedFormat format) {
    const ScopedUtf8Locale utf8Names;
    path_ = path;
    format_ = format;
    source_ = std::make_unique<Source>();
    source_->ops = ops_;
    source_->path = path;
    source_->fd = ops_->openRead(path);
    if (source_->fd < 0) {
        const int error = errno;
        return fail(openFailure(error, ZipStatus::FileUnreadable), "cannot open " + path + ": " + std::strerror(error));
    }
    const int64_t size = ops_->fileSize(source_->fd);
    if (size < 0) return fail(ZipStatus::FileUnreadable, "cannot size " + path + ": " + std::strerror(errno));
    source_->size = static_cast<uint64_t>(size);
    source_->block.reset(new unsigned char[kBlockSize]);
    buffer_.reset(new unsigned char[kBlockSize]);
    if (isGzipped(format, path)) source_->gzip = std::make_unique<GzipSource>(*ops_, source_->fd, path);
    // A gzip is one file, not an archive: it is inflated here directly.
    if (format == PackedFormat::Gzip) return ZipStatus::Ok;

    if (libArchive() == nullptr)
        return fail(ZipStatus::Error, kindOf(format, path) + " is read through libarchive: " + libArchiveError());
    archive_ = libArchiveLoaded().archive_read_new();
    if (archive_ == nullptr) return fail(ZipStatus::MemoryError, "libarchive cannot start");
    switch (format) {
        case PackedFormat::SevenZip: libArchiveLoaded().archive_read_support_format_7zip(archive_); break;
        case PackedFormat::Rar:
            libArchiveLoaded().archive_read_support_format_rar(archive_);
            libArchiveLoaded().archive_read_support_format_rar5(archive_);
            break;
        case PackedFormat::Tar:
            libArchiveLoaded().archive_read_support_filter_bzip2(archive_);
            libArchiveLoaded().archive_read_support_filter_xz(archive_);
            libArchiveLoaded().archive_read_support_format_tar(archive_);
            break;
        case PackedFormat::Gzip:
        case PackedFormat::None: return fail(ZipStatus::BadZipFile, path + " is not an archive read here");
    }
    libArchiveLoaded().archive_read_set_callback_data(archive_, source_.get());
    libArchiveLoaded().archive_read_set_read_callback(archive_, readBlock);
    if (!source_->gzip) {
        libArchiveLoaded().archive_read_set_skip_callback(archive_, skipBytes);
        libArchiveLoaded().archive_read_set_seek_callback(archive_, seekTo);
    }
    if (libArchiveLoaded().archive_read_open1(archive_) != ARCHIVE_OK) return failFromArchive(ZipStatus::BadZipFile);
    // A tar reader takes any compression it knows: the name decides which
    // one is accepted.
    if (libArchiveLoaded().archive_filter_code(archive_, 0) != expectedFilter(format, path))
        return fail(ZipStatus::BadZipFile, "the content is not " + kindOf(format, path));
    return ZipStatus::Ok;
}

ZipStatus PackedReader::next() {
    const ScopedUtf8Locale utf8Names;
    if (format_ == PackedFormat::Gzip && source_ && source_->gzip) {
        // One entry, named as gzip itself would restore it: the file's name
        // without ".gz". What is left of it is never inflated for nothing.
        if (std::exchange(first_, false) == false) return ZipStatus::EndOfList;
        const std::string file = baseName(path_);
        name_ = endsWith(lowerCase(file), ".gz") ? file.substr(0, file.size() - 3) : file;
        sizeKnown_ = false;
        modifiedTime_ = -1;
        current_ = true;
        return ZipStatus::Ok;
    }
    if (archive_ == nullptr) return fail(ZipStatus::Error, "the archive is not open");
    const LibArchive& la = libArchiveLoaded();
    if (current_) {
        current_ = false;
        // libarchive 3.6.2's 7z skip loses its place in archives its own
        // writer made; reading the data through costs what the skip would
        // (a solid block is decompressed either way).
        if (format_ == PackedFormat::SevenZip) {
            char sink[64 * 1024];
            la_ssize_t n;
            while ((n = la.archive_read_data(archive_, sink, sizeof sink)) > 0) {}
            if (n < 0) return failFromArchive(ZipStatus::BadZipFile);
        } else if (la.archive_read_data_skip(archive_) != ARCHIVE_OK) {
            return failFromArchive(ZipStatus::BadZipFile);
        }
    }
    for (;;) {
        archive_entry* entry = nullptr;
        const int result = la.archive_read_next_header(archive_, &entry);
        if (result == ARCHIVE_EOF) return ZipStatus::EndOfList;
        // A warning (a name in another character set, say) still gives a usable entry.
        if (result < ARCHIVE_WARN) return failFromArchive(ZipStatus::BadZipFile);
        first_ = false;
        if (la.archive_entry_filetype(entry) != AE_IFREG || la.archive_entry_hardlink(entry) != nullptr) continue;
        const char* utf8 = la.archive_entry_pathname_utf8(entry);
        const char* name = utf8 ? utf8 : la.archive_entry_pathname(entry);
        name_ = name ? name : "";
        if (la.archive_entry_is_encrypted(entry)) return fail(ZipStatus::Encrypted, name_ + " needs a password");
        sizeKnown_ = la.archive_entry_size_is_set(entry) != 0;
        size_ = sizeKnown_ ? static_cast<uint64_t>(std::max<la_int64_t>(0, la.archive_entry_size(entry))) : 0;
        modifiedTime_ = la.archive_entry_mtime_is_set(entry) ? la.archive_entry_mtime(entry) : static_cast<time_t>(-1);
        current_ = true;
        return ZipStatus::Ok;
    }
}

ZipStatus PackedReader::read(const Sink& sink) {
    const ScopedUtf8Locale utf8Names;
    uint64_t total = 0;
    GzipSource* const gzip = format_ == PackedFormat::Gzip ? source_->gzip.get() : nullptr;
    if (gzip == nullptr && archive_ == nullptr) return fail(ZipStatus::Error, "the archive is not open");
    const LibArchive& la = libArchiveLoaded();
    for (;;) {
        const la_ssize_t n =
            gzip ? gzip->read(buffer_.get(), kBlockSize) : la.archive_read_data(archive_, buffer_.get(), kBlockSize);
        if (n < 0 && gzip) {
            if (gzip->readErrno() != 0) return fail(ZipStatus::FileUnreadable, gzip->error());
            return fail(packedStatusFromText(gzip->error(), ZipStatus::BadZipFile), gzip->error());
        }
        if (n == 0) {
            if (sizeKnown_ && total != size_)
                return fail(ZipStatus::BadZipFile, name_ + " ends after " + std::to_string(total) + " of the " +
                                                       std::to_string(size_) + " bytes the archive states");
            return ZipStatus::Ok;
        }
        if (n < 0) {
            const ZipStatus status = failFromArchive(ZipStatus::BadZipFile);
            if (status == ZipStatus::BadZipFile) detail_ = name_ + ": " + detail_;
            return status;
        }
        total += static_cast<uint64_t>(n);
        if (sizeKnown_ && total > size_)
            return fail(ZipStatus::BadZipFile,
                        name_ + " holds more data than the " + std::to_string(size_) + " bytes the archive states");
        if (!sink(buffer_.get(), static_cast<size_t>(n))) return fail(ZipStatus::Error, "stopped by the reader");
    }
}

}  // namespace quorvane
