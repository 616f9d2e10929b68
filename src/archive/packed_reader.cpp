#include "archive/packed_reader.h"

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

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

// The compression a tar's name says it has, as libarchive names it.
int expectedFilter(PackedFormat format, std::string_view path) {
    if (format == PackedFormat::Gzip) return ARCHIVE_FILTER_GZIP;
    if (format != PackedFormat::Tar) return ARCHIVE_FILTER_NONE;
    const std::string name = lowerCase(path);
    if (endsWith(name, ".gz") || endsWith(name, ".tgz")) return ARCHIVE_FILTER_GZIP;
    if (endsWith(name, ".bz2") || endsWith(name, ".tbz2")) return ARCHIVE_FILTER_BZIP2;
    if (endsWith(name, ".xz") || endsWith(name, ".txz")) return ARCHIVE_FILTER_XZ;
    return ARCHIVE_FILTER_NONE;
}

std::string kindOf(PackedFormat format, int filter) {
    switch (format) {
        case PackedFormat::SevenZip: return "7z data";
        case PackedFormat::Rar: return "RAR data";
        case PackedFormat::Gzip: return "gzip data";
        case PackedFormat::Tar: break;
        case PackedFormat::None: return "an archive";
    }
    switch (filter) {
        case ARCHIVE_FILTER_GZIP: return "tar data compressed with gzip";
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
};

namespace {

using Source = PackedReader::Source;

la_ssize_t readBlock(archive* a, void* data, const void** out) {
    auto* s = static_cast<Source*>(data);
    const ssize_t n = s->ops->readAt(s->fd, s->block.get(), kBlockSize, s->offset);
    if (n < 0) {
        const int error = errno;
        archive_set_error(a, error, "cannot read %s: %s", s->path.c_str(), std::strerror(error));
        return ARCHIVE_FATAL;
    }
    s->offset += static_cast<uint64_t>(n);
    *out = s->block.get();
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
        archive_set_error(a, EINVAL, "seek before the start of %s", s->path.c_str());
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
    for (const char* part : {"unsupported compression", "compression method not supported", "compression not supported",
                             "codec id", "unsupported filter", "filters is unsupported", "many filters", "bcj2",
                             "dictionary size is not supported"})
        if (has(part)) return ZipStatus::UnsupportedMethod;
    // A header's checksum guards the structure: that is damage, not a data CRC.
    if (has("header crc") || has("header checksum")) return otherwise;
    if (has("crc") || has("checksum")) return ZipStatus::CrcError;
    return otherwise;
}

PackedReader::PackedReader(FileOps& ops) : ops_(&ops) {}

PackedReader::~PackedReader() {
    const ScopedUtf8Locale utf8Names;
    if (archive_) archive_read_free(archive_);
    if (source_ && source_->fd >= 0) ops_->close(source_->fd);
}

ZipStatus PackedReader::fail(ZipStatus status, std::string detail) {
    detail_ = std::move(detail);
    return status;
}

ZipStatus PackedReader::failFromArchive(ZipStatus otherwise) {
    const char* text = archive_error_string(archive_);
    std::string words = text ? text : "damaged or cut short (libarchive gave no reason)";
    // A failing read of the file itself is no fault of the archive.
    if (archive_errno(archive_) > 0 && words.rfind("cannot read ", 0) == 0)
        return fail(ZipStatus::FileUnreadable, std::move(words));
    if (first_ && words.find("Unrecognized archive format") != std::string::npos)
        words = "the content is not " + kindOf(format_, expectedFilter(format_, path_)) + " (" + words + ")";
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

    archive_ = archive_read_new();
    if (archive_ == nullptr) return fail(ZipStatus::MemoryError, "libarchive cannot start");
    switch (format) {
        case PackedFormat::SevenZip: archive_read_support_format_7zip(archive_); break;
        case PackedFormat::Rar:
            archive_read_support_format_rar(archive_);
            archive_read_support_format_rar5(archive_);
            break;
        case PackedFormat::Gzip:
            archive_read_support_filter_gzip(archive_);
            archive_read_support_format_raw(archive_);
            break;
        case PackedFormat::Tar:
            archive_read_support_filter_gzip(archive_);
            archive_read_support_filter_bzip2(archive_);
            archive_read_support_filter_xz(archive_);
            archive_read_support_format_tar(archive_);
            break;
        case PackedFormat::None: return fail(ZipStatus::BadZipFile, path + " is not an archive read here");
    }
    archive_read_set_callback_data(archive_, source_.get());
    archive_read_set_read_callback(archive_, readBlock);
    archive_read_set_skip_callback(archive_, skipBytes);
    archive_read_set_seek_callback(archive_, seekTo);
    if (archive_read_open1(archive_) != ARCHIVE_OK) return failFromArchive(ZipStatus::BadZipFile);
    // With no filter bidding, the raw format would take any bytes at all, and
    // a tar reader any compression: the name decides what is accepted.
    const int expected = expectedFilter(format, path);
    if (archive_filter_code(archive_, 0) != expected)
        return fail(ZipStatus::BadZipFile, "the content is not " + kindOf(format, expected));
    return ZipStatus::Ok;
}

ZipStatus PackedReader::next() {
    const ScopedUtf8Locale utf8Names;
    if (archive_ == nullptr) return fail(ZipStatus::Error, "the archive is not open");
    if (current_) {
        current_ = false;
        // A gzip holds one entry: skipping what is left of it could mean
        // inflating gigabytes for nothing.
        if (format_ == PackedFormat::Gzip) return ZipStatus::EndOfList;
        if (archive_read_data_skip(archive_) != ARCHIVE_OK) return failFromArchive(ZipStatus::BadZipFile);
    }
    for (;;) {
        archive_entry* entry = nullptr;
        const int result = archive_read_next_header(archive_, &entry);
        if (result == ARCHIVE_EOF) return ZipStatus::EndOfList;
        // A warning (a name in another character set, say) still gives a usable entry.
        if (result < ARCHIVE_WARN) return failFromArchive(ZipStatus::BadZipFile);
        first_ = false;
        if (archive_entry_filetype(entry) != AE_IFREG || archive_entry_hardlink(entry) != nullptr) continue;
        const char* utf8 = archive_entry_pathname_utf8(entry);
        const char* name = utf8 ? utf8 : archive_entry_pathname(entry);
        name_ = name ? name : "";
        if (format_ == PackedFormat::Gzip) {
            // What gzip itself would restore: the file's name without ".gz".
            const std::string file = baseName(path_);
            name_ = endsWith(lowerCase(file), ".gz") ? file.substr(0, file.size() - 3) : file;
        }
        if (archive_entry_is_encrypted(entry)) return fail(ZipStatus::Encrypted, name_ + " needs a password");
        sizeKnown_ = archive_entry_size_is_set(entry) != 0 && format_ != PackedFormat::Gzip;
        size_ = sizeKnown_ ? static_cast<uint64_t>(std::max<la_int64_t>(0, archive_entry_size(entry))) : 0;
        modifiedTime_ = archive_entry_mtime_is_set(entry) ? archive_entry_mtime(entry) : static_cast<time_t>(-1);
        current_ = true;
        return ZipStatus::Ok;
    }
}

ZipStatus PackedReader::checkGzipTrailer(uint32_t crc, uint64_t size) {
    unsigned char trailer[8];
    if (source_->size < sizeof trailer ||
        ops_->readAt(source_->fd, trailer, sizeof trailer, source_->size - sizeof trailer) != sizeof trailer)
        return fail(ZipStatus::FileUnreadable, "cannot read the end of " + path_);
    const auto le32 = [&trailer](int at) {
        return uint32_t{trailer[at]} | uint32_t{trailer[at + 1]} << 8 | uint32_t{trailer[at + 2]} << 16 |
               uint32_t{trailer[at + 3]} << 24;
    };
    // The trailer speaks for the last member only: a file of several members
    // (whose stored length then differs) cannot be checked this way.
    if (le32(4) == static_cast<uint32_t>(size) && le32(0) != crc)
        return fail(ZipStatus::CrcError, name_ + ": the data does not match the CRC the gzip file stores");
    return ZipStatus::Ok;
}

ZipStatus PackedReader::read(const Sink& sink) {
    const ScopedUtf8Locale utf8Names;
    uint64_t total = 0;
    // libarchive does not check a gzip's CRC.
    const bool gzip = format_ == PackedFormat::Gzip;
    uint32_t crc = gzip ? static_cast<uint32_t>(crc32_z(0, nullptr, 0)) : 0;
    for (;;) {
        const la_ssize_t n = archive_read_data(archive_, buffer_.get(), kBlockSize);
        if (n == 0) return gzip ? checkGzipTrailer(crc, total) : ZipStatus::Ok;
        if (n < 0) {
            const ZipStatus status = failFromArchive(ZipStatus::BadZipFile);
            if (status == ZipStatus::BadZipFile) detail_ = name_ + ": " + detail_;
            return status;
        }
        total += static_cast<uint64_t>(n);
        if (sizeKnown_ && total > size_)
            return fail(ZipStatus::BadZipFile,
                        name_ + " holds more data than the " + std::to_string(size_) + " bytes the archive states");
        if (gzip) crc = static_cast<uint32_t>(crc32_z(crc, buffer_.get(), static_cast<size_t>(n)));
        if (!sink(buffer_.get(), static_cast<size_t>(n))) return fail(ZipStatus::Error, "stopped by the reader");
    }
}

}  // namespace quorvane
