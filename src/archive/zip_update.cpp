#include "archive/zip_update.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <utility>

#include "archive/dos_time.h"
#include "archive/minizip_io.h"
#include "archive/plain_deflate.h"
#include "archive/raw_copy.h"
#include "archive/raw_deflater.h"
#include "archive/zip_image.h"
#include "archive/zip_signatures.h"
#include "archive/zip_entry_io.h"
#include "core/file_util.h"

namespace quorvane {
namespace {

constexpr uint32_t kEncryptedBit = 0x0001;
// Deflate can grow incompressible data a little, so a source this close to
// 4 GiB is written with room for ZIP64 sizes.
constexpr uint64_t kZip64SourceThreshold = 0xFF000000u;

// A new archive of entries deflated ahead up to this size is made in
// memory and written at once.
constexpr uint64_t kInMemoryArchiveLimit = 16ull << 20;

// Closes a descriptor when it leaves scope.
struct FdCloser {
    FileOps& ops;
    int fd;
    ~FdCloser() {
        if (fd >= 0) ops.close(fd);
    }
};

struct UnzipCloser {
    unzFile zip;
    ~UnzipCloser() {
        if (zip) unzClose(zip);
    }
};

// Passes a source's data to a sink; Ok, or why the source cannot be taken.
using Producer = std::function<ZipStatus(const BlockSink& sink)>;

// What the write of one addition says: Ok, a fault of its source (the
// addition is left out and the archive written without it), or a fault of
// the archive being written.
struct Outcome {
    ZipStatus status = ZipStatus::Ok;
    bool sourceFault = false;
};

Outcome sourceFault(ZipStatus status) { return {status, true}; }
Outcome archiveFault(ZipStatus status) { return {status, false}; }

bool locateEntry(const ZipSource& source, const EntryKey& key, ZipEntry& entry, unz_file_info64& info) {
    for (int status = unzGoToFirstFile(source.zip); status == UNZ_OK; status = unzGoToNextFile(source.zip)) {
        if (readCurrentEntryInfo(source, entry, &info) != ZipStatus::Ok) return false;
        if (key.matches(entry)) return true;
    }
    return false;
}

bool isReusableStream(const ZipEntry& entry) { return entry.method == Z_DEFLATED && (entry.flag & kEncryptedBit) == 0; }

// A deflated entry whose compressed bytes are written as they are.
ZipRecord rawRecord(const std::string& name, uint32_t dosDate, uint32_t optionBits, uint32_t crc32, uint64_t size,
                    uint64_t compressedSize) {
    return {.name = name,
            .flags = static_cast<uint16_t>(optionBits & kDeflateOptionBits),
            .dosDate = dosDate,
            .crc32 = crc32,
            .size = size,
            .compressedSize = compressedSize};
}

Outcome writeDeflated(ZipFileWriter& out, const std::string& name, const DeflatedData& data) {
    const ZipRecord record = rawRecord(name, data.dosDate, data.optionBits, data.crc32, data.size, data.bytes.size());
    const bool ok = out.startEntry(record, localHeaderHasZip64(data.size, data.bytes.size())) &&
                    out.write(data.bytes.data(), data.bytes.size()) &&
                    out.finishEntry(data.crc32, data.size, data.bytes.size());
    return archiveFault(ok ? ZipStatus::Ok : ZipStatus::Error);
}

// Deflates what `produce` gives (`size` bytes, unless the source is at
// fault): in memory with libdeflate up to kWholeDeflateLimit, else streamed
// through zlib. With `expected`, other content is the source's fault.
Outcome deflateInto(ZipFileWriter& out, const std::string& name, uint32_t dosDate, uint64_t size,
                    const Producer& produce, const ExpectedContent* expected) {
    if (expected && expected->size != size) return sourceFault(ZipStatus::CrcError);
    if (size <= kWholeDeflateLimit) {
        std::string data;
        data.reserve(size);
        const ZipStatus read = produce([&](const char* block, size_t n) {
            if (data.size() + n > size) return false;
            data.append(block, n);
            return true;
        });
        if (read != ZipStatus::Ok) return sourceFault(read);
        if (data.size() != size) return sourceFault(ZipStatus::Error);
        DeflatedData deflated{.crc32 = zipCrc32(data.data(), data.size()), .size = size, .dosDate = dosDate};
        if (expected && expected->crc32 != deflated.crc32) return sourceFault(ZipStatus::CrcError);
        if (!deflateWhole(data.data(), data.size(), deflated.bytes)) return archiveFault(ZipStatus::MemoryError);
        return writeDeflated(out, name, deflated);
    }
    // The CRC and sizes go into the local header once the data is written.
    const ZipRecord record{.name = name, .dosDate = dosDate};
    if (!out.startEntry(record, size >= kZip64SourceThreshold)) return archiveFault(ZipStatus::Error);
    const int64_t offset = out.dataOffsetForDirectWrite();
    if (offset < 0) return archiveFault(ZipStatus::Error);
    RawDeflater deflater(out.ops(), out.descriptor(), static_cast<uint64_t>(offset), kPlainZipLevel);
    bool written = true;
    const ZipStatus read = produce([&](const char* block, size_t n) {
        written = deflater.write(block, n);
        return written;
    });
    if (!written) return archiveFault(ZipStatus::Error);
    if (read != ZipStatus::Ok) return sourceFault(read);
    if (deflater.size() != size || (expected && expected->crc32 != deflater.crc32()))
        return sourceFault(ZipStatus::CrcError);
    const bool ok = deflater.finish() && out.finishEntry(deflater.crc32(), deflater.size(), deflater.compressedSize());
    return archiveFault(ok ? ZipStatus::Ok : ZipStatus::Error);
}

Outcome writeFile(ZipFileWriter& out, FileOps& ops, const ZipUpdate::Addition& a) {
    time_t modified = 0;
    FdCloser source{ops, ops.openRead(a.source)};
    if (source.fd < 0 || ops.modifiedTime(a.source, modified) != 0) return sourceFault(ZipStatus::SourceMissing);
    const int64_t fileSize = ops.fileSize(source.fd);
    if (fileSize < 0) return sourceFault(ZipStatus::SourceMissing);
    if (a.skipBytes > static_cast<uint64_t>(fileSize)) return sourceFault(ZipStatus::Error);
    const uint64_t size = static_cast<uint64_t>(fileSize) - a.skipBytes;
    const Producer produce = [&](const BlockSink& sink) {
        std::unique_ptr<char[]> block(new (std::nothrow) char[kCopyBlockSize]);
        if (!block) return ZipStatus::MemoryError;
        uint64_t offset = a.skipBytes;
        for (;;) {
            const ssize_t n = ops.readAt(source.fd, block.get(), kCopyBlockSize, offset);
            if (n < 0) return ZipStatus::Error;
            if (n == 0) break;
            offset += static_cast<uint64_t>(n);
            if (!sink(block.get(), static_cast<size_t>(n))) return ZipStatus::Error;
        }
        // The source must not have shrunk or grown under us unnoticed.
        return offset == static_cast<uint64_t>(fileSize) ? ZipStatus::Ok : ZipStatus::Error;
    };
    return deflateInto(out, a.entryName, timeToDosDate(modified), size, produce, a.expected ? &*a.expected : nullptr);
}

// `original`: the archive being rewritten, already open; an entry of its
// own is taken from there.
Outcome writeEntryOf(ZipFileWriter& out, FileOps& ops, const ZipUpdate::Addition& a, const ZipSource* original) {
    int fd = -1;
    const bool own = original != nullptr && original->path == a.source;
    UnzipCloser unz{own ? nullptr : openUnzip(a.source, ops, &fd)};
    if (!own && !unz.zip) return sourceFault(ZipStatus::SourceMissing);
    const ZipSource source = own ? *original : ZipSource{unz.zip, a.source, ops, fd};
    ZipEntry entry;
    unz_file_info64 info{};
    if (!locateEntry(source, a.key, entry, info)) return sourceFault(ZipStatus::EntryGone);
    if (!isReusableStream(entry)) {
        const Producer produce = [&](const BlockSink& sink) { return readCurrentEntryData(source, entry, sink); };
        return deflateInto(out, a.entryName, entry.dosDate, entry.uncompressedSize, produce, nullptr);
    }
    const ZipRecord record = rawRecord(a.entryName, entry.dosDate, entry.flag, entry.crc32, entry.uncompressedSize,
                                       entry.compressedSize);
    bool readFailed = false;
    const ZipStatus status = copyStoredBytes(source, entry, record, out, readFailed);
    return readFailed ? sourceFault(status) : archiveFault(status);
}

// A new archive of additions all deflated already, written in one piece
// with the guarantees of rewriteArchive for an archive that replaces
// nothing. Empty when it cannot be written this way (rewriteArchive then
// writes it); else how the write went.
std::optional<ZipStatus> writeNewFromMemory(const std::string& path, const std::vector<ZipUpdate::Addition>& additions,
                                            const std::vector<size_t>& writing, FileOps& ops) {
    uint64_t bytes = 0;
    for (size_t i : writing) {
        if (additions[i].kind != ZipUpdate::Addition::Kind::Deflated) return std::nullopt;
        bytes += additions[i].data.bytes.size();
    }
    // The image is a second copy of the data: a large archive streams instead.
    if (bytes > kInMemoryArchiveLimit) return std::nullopt;
    ZipImage image;
    for (size_t i : writing) {
        if (!image.add(additions[i].entryName, additions[i].data)) return std::nullopt;
    }
    const std::string& archive = image.finish();
    const std::string temp = uniqueTempPath(dirName(path), baseName(path));
    const int fd = ops.createNew(temp);
    if (fd < 0) return ZipStatus::Error;
    bool written = writeAllAt(ops, fd, archive.data(), archive.size(), 0);
    if (ops.close(fd) != 0) written = false;
    // A new archive must not land on a file that appeared meanwhile.
    const ZipStatus status = !written                                  ? ZipStatus::Error
                             : ops.renameNoReplace(temp, path) != 0 ? ZipStatus::CannotReplace
                                                                    : ZipStatus::Ok;
    if (status != ZipStatus::Ok) ops.remove(temp);
    return status;
}

Outcome writeAddition(ZipFileWriter& out, FileOps& ops, const ZipUpdate::Addition& a, const ZipSource* original) {
    switch (a.kind) {
        case ZipUpdate::Addition::Kind::Deflated: return writeDeflated(out, a.entryName, a.data);
        case ZipUpdate::Addition::Kind::File: return writeFile(out, ops, a);
        case ZipUpdate::Addition::Kind::ZipEntry: return writeEntryOf(out, ops, a, original);
    }
    return archiveFault(ZipStatus::Error);
}

}  // namespace

ZipStatus readDeflatedEntry(const std::string& sourceZip, const EntryKey& key, DeflatedData& out, uint64_t limit,
                            FileOps& ops) {
    out = DeflatedData{};
    int fd = -1;
    UnzipCloser unz{openUnzip(sourceZip, ops, &fd)};
    if (!unz.zip) return ZipStatus::Error;
    const ZipSource source{unz.zip, sourceZip, ops, fd};
    ZipEntry entry;
    unz_file_info64 info{};
    if (!locateEntry(source, key, entry, info)) return ZipStatus::EntryGone;
    if (!isReusableStream(entry) || entry.compressedSize > limit) return ZipStatus::UnsupportedMethod;
    out.bytes.reserve(entry.compressedSize);
    const ZipStatus status = readCurrentEntryRaw(source, entry, [&](const char* data, size_t size) {
        out.bytes.append(data, size);
        return true;
    });
    if (status != ZipStatus::Ok) return status;
    out.crc32 = entry.crc32;
    out.size = entry.uncompressedSize;
    out.dosDate = entry.dosDate;
    out.optionBits = entry.flag & kDeflateOptionBits;
    return ZipStatus::Ok;
}

void ZipUpdate::addDeflated(std::string entryName, DeflatedData data) {
    bytesHeld_ += data.bytes.size();
    additions_.push_back({.kind = Addition::Kind::Deflated, .entryName = std::move(entryName), .data = std::move(data)});
}

void ZipUpdate::addFile(std::string sourcePath, std::string entryName, std::optional<ExpectedContent> expected,
                        uint64_t skipBytes) {
    additions_.push_back({.kind = Addition::Kind::File,
                          .entryName = std::move(entryName),
                          .source = std::move(sourcePath),
                          .expected = expected,
                          .skipBytes = skipBytes});
}

void ZipUpdate::addEntryOf(std::string sourceZip, EntryKey key, std::string entryName) {
    additions_.push_back({.kind = Addition::Kind::ZipEntry,
                          .entryName = std::move(entryName),
                          .source = std::move(sourceZip),
                          .key = std::move(key)});
}

void ZipUpdate::clear() {
    additions_.clear();
    leftOut_.clear();
    results_.clear();
    bytesHeld_ = 0;
    read_ = nullptr;
}

ZipStatus ZipUpdate::commit(FileOps& ops, ArchiveHolds holds) {
    results_.assign(additions_.size(), ZipStatus::Ok);
    created_ = false;
    // Once written, the archive is no longer those bytes.
    const ArchiveBytes* read = std::exchange(read_, nullptr);
    const bool existed = read != nullptr || pathExists(path_);
    // An addition whose source fails is dropped and the archive written
    // again without it: its name must not cost the entry it was to replace.
    for (;;) {
        std::set<std::string> names;
        std::vector<size_t> writing;  // the last addition standing of each name
        for (size_t i = additions_.size(); i-- > 0;) {
            if (results_[i] == ZipStatus::Ok && names.insert(additions_[i].entryName).second) writing.push_back(i);
        }
        if (writing.empty()) return ZipStatus::Ok;
        std::reverse(writing.begin(), writing.end());
        if (!existed && leftOut_.empty()) {
            if (const std::optional<ZipStatus> made = writeNewFromMemory(path_, additions_, writing, ops)) {
                created_ = *made == ZipStatus::Ok;
                for (ZipStatus& result : results_) {
                    if (result == ZipStatus::Ok) result = *made;
                }
                return *made;
            }
        }
        size_t refused = additions_.size();
        ZipStatus why = ZipStatus::Ok;
        // Only the first entry matching each key: a twin of it stays.
        std::vector<bool> droppedYet(leftOut_.size(), false);
        const auto leaveOut = [&](const ZipEntry& e) {
            if (names.count(e.name) != 0) return true;
            for (size_t k = 0; k < leftOut_.size(); ++k) {
                if (droppedYet[k] || !leftOut_[k].matches(e)) continue;
                droppedYet[k] = true;
                return true;
            }
            return false;
        };
        const ZipStatus status = rewriteArchive(
            path_, leaveOut,
            [&](ZipFileWriter& out, const ZipSource* original) {
                for (size_t i : writing) {
                    const Outcome outcome = writeAddition(out, ops, additions_[i], original);
                    if (outcome.status == ZipStatus::Ok) continue;
                    if (outcome.sourceFault) {
                        refused = i;
                        why = outcome.status;
                    }
                    return outcome.status;
                }
                return ZipStatus::Ok;
            },
            ops, holds, read);
        if (status == ZipStatus::Ok) {
            created_ = !existed;
            return ZipStatus::Ok;
        }
        if (refused < additions_.size()) {
            results_[refused] = why;
            continue;
        }
        for (ZipStatus& result : results_) {
            if (result == ZipStatus::Ok) result = status;
        }
        return status;
    }
}

}  // namespace quorvane
