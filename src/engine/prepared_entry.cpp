#include "engine/prepared_entry.h"

#include <fcntl.h>
#include <minizip/zip.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <limits>

#include "archive/dos_time.h"
#include "archive/minizip_io.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "archive/zip_writer.h"
#include "core/file_util.h"

namespace quorvane {
namespace {

// The deflate option bits (1-2) describe the stored stream, so a raw copy keeps them.
constexpr uLong kDeflateOptionBits = 0x0006;
constexpr uLong kEncryptedBit = 0x0001;

// The first entry that matches `key`, made current; false when there is none.
bool locateEntry(const ZipSource& source, const EntryKey& key, ZipEntry& entry, unz_file_info64& info) {
    for (int status = unzGoToFirstFile(source.zip); status == UNZ_OK; status = unzGoToNextFile(source.zip)) {
        if (readCurrentEntryInfo(source, entry, &info) != ZipStatus::Ok) return false;
        if (key.matches(entry)) return true;
    }
    return false;
}

// One raw entry into an archive being written; the caller closes the archive.
ZipStatus writeRawEntry(zipFile zip, const std::string& name, const zip_fileinfo& info, int method, uLong flagBits,
                        const std::string& bytes, uint64_t size, uint32_t crc) {
    int status = zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                         Z_DEFAULT_COMPRESSION, 1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                         nullptr, 0, 0, flagBits, 0);
    if (status != ZIP_OK) return fromMinizip(status);
    for (size_t at = 0; status == ZIP_OK && at < bytes.size(); at += kCopyBlockSize) {
        const size_t n = std::min(kCopyBlockSize, bytes.size() - at);
        status = zipWriteInFileInZip(zip, bytes.data() + at, static_cast<unsigned>(n));
    }
    const int closeEntry = zipCloseFileInZipRaw64(zip, size, crc);
    return fromMinizip(status != ZIP_OK ? status : closeEntry);
}

// As ZipWriter::addFile: the archive is written anew beside itself (an entry of
// that name left out) and put in place, never extended where it lies.
ZipStatus writeToArchive(const std::string& archivePath, const std::string& name, const zip_fileinfo& info,
                         uLong flagBits, const std::string& bytes, uint64_t size, uint32_t crc, ArchiveHolds holds) {
    return rewriteArchive(
        archivePath, name,
        [&](zipFile out) { return writeRawEntry(out, name, info, Z_DEFLATED, flagBits, bytes, size, crc); },
        fileOps(), holds);
}

}  // namespace

bool PreparedEntry::matches(const File& file) const {
    if (!ready || file.crc.size() != 8) return false;
    char* end = nullptr;
    const unsigned long long fileSize = std::strtoull(file.size.c_str(), &end, 10);
    if (file.size.empty() || *end != '\0' || fileSize != size) return false;
    return std::strtoul(file.crc.c_str(), &end, 16) == crc && *end == '\0';
}

bool prepareLooseFile(const std::string& path, PreparedEntry& out) {
    out = PreparedEntry{};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    std::string data;
    bool ok = ::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) <= kPrepareSizeLimit;
    if (ok) {
        // One byte more than its size shows a file that grew since: it is
        // left to the ordinary path. Sized to the file, not to the limit,
        // so that a small file does not cost a large cleared buffer.
        const auto expected = static_cast<size_t>(st.st_size);
        data.resize(expected + 1);
        size_t have = 0;
        for (;;) {
            const ssize_t n = ::read(fd, data.data() + have, data.size() - have);
            if (n < 0) ok = false;
            if (n <= 0) break;
            have += static_cast<size_t>(n);
            if (have == data.size()) break;
        }
        data.resize(have);
        ok = ok && have == expected;
    }
    ::close(fd);
    if (!ok) return false;

    // The settings minizip uses when ZipWriter::addFile deflates a file.
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.deflated.resize(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = reinterpret_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.deflated.data());
    z.avail_out = static_cast<uInt>(out.deflated.size());
    const int status = deflate(&z, Z_FINISH);
    out.deflated.resize(z.total_out);
    out.text = z.data_type == Z_TEXT;
    deflateEnd(&z);
    if (status != Z_STREAM_END) {
        out.deflated.clear();
        return false;
    }
    out.crc = static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()),
                                          static_cast<uInt>(data.size())));
    out.size = data.size();
    out.modified = st.st_mtim.tv_sec;
    out.ready = true;
    return true;
}

ZipStatus addPreparedEntry(const std::string& archivePath, const std::string& entryName, const PreparedEntry& entry,
                           ArchiveHolds holds) {
    if (!entry.ready) return ZipStatus::Error;
    zip_fileinfo info{};
    info.dosDate = timeToDosDate(entry.modified);
    info.internal_fa = entry.text ? 1 : 0;
    return writeToArchive(archivePath, entryName, info, 0, entry.deflated, entry.size, entry.crc, holds);
}

bool isDeflatedEntry(const std::string& sourceZip, const EntryKey& key) {
    unzFile unz = openUnzip(sourceZip, systemFileOps());
    if (!unz) return false;
    ZipEntry entry;
    unz_file_info64 info{};
    const bool deflated = locateEntry(ZipSource{unz, sourceZip, systemFileOps()}, key, entry, info) &&
                          entry.method == Z_DEFLATED && (entry.flag & kEncryptedBit) == 0 &&
                          entry.compressedSize <= kPrepareSizeLimit;
    unzClose(unz);
    return deflated;
}

ZipStatus copyEntryRaw(const std::string& sourceZip, const EntryKey& key, const std::string& archivePath,
                       const std::string& targetName, ArchiveHolds holds) {
    unzFile unz = openUnzip(sourceZip, systemFileOps());
    if (!unz) return ZipStatus::Error;
    const ZipSource source{unz, sourceZip, systemFileOps()};
    ZipEntry entry;
    unz_file_info64 info{};
    std::string bytes;
    ZipStatus status = ZipStatus::Error;
    const bool found = locateEntry(source, key, entry, info);
    if (!found) status = ZipStatus::EntryGone;
    if (found && entry.method == Z_DEFLATED && (entry.flag & kEncryptedBit) == 0 &&
        entry.compressedSize <= kPrepareSizeLimit) {
        bytes.reserve(entry.compressedSize);
        status = readCurrentEntryRaw(source, entry, [&](const char* data, size_t size) {
            bytes.append(data, size);
            return true;
        });
    }
    unzClose(unz);
    if (status != ZipStatus::Ok) return status;

    zip_fileinfo target{};
    target.dosDate = entry.dosDate;
    return writeToArchive(archivePath, targetName, target, entry.flag & kDeflateOptionBits, bytes,
                          entry.uncompressedSize, entry.crc32, holds);
}

}  // namespace quorvane
