#include "archive/zip_entry_io.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "archive/digest_set.h"
#include "archive/entry_check.h"
#include "archive/scratch_buffer.h"
#include "archive/zip64_reader.h"
#include "archive/zip_signatures.h"
#include "archive/zip_status.h"

namespace quorvane {
namespace {

bool hasZip64Extra(const std::string& extra) {
    for (size_t at = 0; at + 4 <= extra.size();) {
        const auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(extra[i])); };
        const unsigned id = byte(at) | (byte(at + 1) << 8);
        const unsigned length = byte(at + 2) | (byte(at + 3) << 8);
        if (id == kZip64ExtraId) return true;
        at += 4 + length;
    }
    return false;
}

}  // namespace

ZipStatus readCurrentEntryInfo(const ZipSource& source, ZipEntry& entry, unz_file_info64* raw) {
    unz_file_info64 info{};
    int status = unzGetCurrentFileInfo64(source.zip, &info, nullptr, 0, nullptr, 0, nullptr, 0);
    if (status != UNZ_OK) return fromMinizip(status);
    entry.name.assign(info.size_filename, '\0');
    std::string extra(info.size_file_extra, '\0');
    if (info.size_filename > 0 || info.size_file_extra > 0) {
        status = unzGetCurrentFileInfo64(source.zip, nullptr, entry.name.data(), info.size_filename, extra.data(),
                                         info.size_file_extra, nullptr, 0);
        if (status != UNZ_OK) return fromMinizip(status);
    }
    entry.readDirectly = false;
    entry.localHeaderOffset = 0;
    if (hasZip64Extra(extra)) {
        Zip64Record record;
        const CentralRecordSeen seen{static_cast<uint32_t>(info.crc), entry.name, extra};
        const ZipStatus read =
            readZip64CentralRecord(source.ops, source.path, unzGetOffset64(source.zip), seen, record);
        if (read != ZipStatus::Ok) return read;
        info.uncompressed_size = record.uncompressedSize;
        info.compressed_size = record.compressedSize;
        entry.localHeaderOffset = record.localHeaderOffset;
        entry.readDirectly = true;
    }
    entry.crc32 = static_cast<uint32_t>(info.crc);
    entry.crc = crcHex(entry.crc32, true);
    entry.uncompressedSize = info.uncompressed_size;
    entry.compressedSize = info.compressed_size;
    entry.size = std::to_string(info.uncompressed_size);
    entry.method = static_cast<int>(info.compression_method);
    entry.dosDate = static_cast<uint32_t>(info.dosDate);
    entry.flag = static_cast<uint32_t>(info.flag);
    if (raw) *raw = info;
    return ZipStatus::Ok;
}

namespace {

// A block for moving `size` bytes: a small entry's own size, so that it
// comes from the heap, reused, rather than from a fresh mapping.
size_t blockFor(uint64_t size) { return size < kCopyBlockSize ? static_cast<size_t>(size) + 1 : kCopyBlockSize; }

// minizip's read loop, raw or inflating; `expected` is the byte count the
// directory promises.
ZipStatus readWithMinizip(unzFile zip, bool rawBytes, uint64_t expected, const BlockSink& sink) {
    const size_t blockSize = blockFor(expected);
    std::unique_ptr<char[]> block(new (std::nothrow) char[blockSize]);
    if (!block) return ZipStatus::Error;
    ZipStatus status = fromMinizip(rawBytes ? unzOpenCurrentFile2(zip, nullptr, nullptr, 1) : unzOpenCurrentFile(zip));
    if (status != ZipStatus::Ok) return status;
    uint64_t total = 0;
    for (;;) {
        const int n = unzReadCurrentFile(zip, block.get(), static_cast<unsigned>(blockSize));
        if (n < 0) {
            status = fromMinizip(n);
            break;
        }
        if (n == 0) break;
        total += static_cast<uint64_t>(n);
        if (!sink(block.get(), static_cast<size_t>(n))) {
            status = ZipStatus::Error;
            break;
        }
    }
    // minizip checks the CRC on close only when the whole recorded size was
    // read, so a short stream must be caught here.
    if (status == ZipStatus::Ok && total != expected) status = ZipStatus::BadZipFile;
    const ZipStatus closeStatus = fromMinizip(unzCloseCurrentFile(zip));
    return status != ZipStatus::Ok ? status : closeStatus;
}

// Where the current entry's stored bytes start, once minizip has opened it
// raw (and so checked its local header); the caller closes it.
ZipStatus openStored(const ZipSource& source, uint64_t& at) {
    const ZipStatus status = fromMinizip(unzOpenCurrentFile2(source.zip, nullptr, nullptr, 1));
    if (status == ZipStatus::Ok) at = unzGetCurrentFileZStreamPos64(source.zip);
    return status;
}

// Bytes [at, at + size) of the archive's image in memory; null when they
// lie past its end (the archive is cut short).
const unsigned char* imageSpan(const ZipSource& source, uint64_t at, uint64_t size) {
    return at <= source.imageSize && size <= source.imageSize - at ? source.image + at : nullptr;
}

// The entry's stored bytes read from the archive's descriptor, or from its
// image in memory.
ZipStatus readRawDirectly(const ZipSource& source, uint64_t size, const BlockSink& sink) {
    uint64_t at = 0;
    ZipStatus status = openStored(source, at);
    if (status != ZipStatus::Ok) return status;
    if (source.image != nullptr) {
        const unsigned char* stored = imageSpan(source, at, size);
        if (stored == nullptr) status = ZipStatus::BadZipFile;
        for (uint64_t done = 0; status == ZipStatus::Ok && done < size;) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(kCopyBlockSize, size - done));
            if (!sink(reinterpret_cast<const char*>(stored + done), n)) status = ZipStatus::Error;
            done += n;
        }
    } else {
        const size_t blockSize = blockFor(size);
        std::unique_ptr<char[]> block(new (std::nothrow) char[blockSize]);
        if (!block) status = ZipStatus::Error;
        for (uint64_t left = size; status == ZipStatus::Ok && left > 0;) {
            const size_t want = left < blockSize ? static_cast<size_t>(left) : blockSize;
            const ssize_t n = source.ops.readAt(source.fd, block.get(), want, at);
            if (n <= 0) {
                status = n < 0 ? ZipStatus::Error : ZipStatus::BadZipFile;  // an error, or cut short
                break;
            }
            at += static_cast<uint64_t>(n);
            left -= static_cast<uint64_t>(n);
            if (!sink(block.get(), static_cast<size_t>(n))) status = ZipStatus::Error;
        }
    }
    const ZipStatus closeStatus = fromMinizip(unzCloseCurrentFile(source.zip));
    return status != ZipStatus::Ok ? status : closeStatus;
}

// Up to this size an entry is read whole and unpacked with libdeflate and
// its fast CRC, several times cheaper than minizip's zlib loop; the two
// blocks it needs stay small.
constexpr uint64_t kQuickReadLimit = uint64_t{8} << 20;

// Trims a thread's block on the way out: every thread of a fix reads
// entries, so each keeps no more than a copy block between them.
struct Trimmed {
    ScratchBuffer& buffer;
    ~Trimmed() { buffer.trim(kCopyBlockSize); }
};

// The entry read whole and passed on only when the quick test proves it
// sound (entry_check.h): Ok, or Error when `sink` refused it. Empty when not
// proven; minizip's read then gives the exact status of whatever is wrong.
std::optional<ZipStatus> readQuickly(const ZipSource& source, const ZipEntry& entry, const BlockSink& sink) {
    if (!source.readsStraight() || !quickTestApplies(entry) || entry.compressedSize > kQuickReadLimit ||
        entry.uncompressedSize > kQuickReadLimit)
        return std::nullopt;
    thread_local ScratchBuffer storedBlock, unpackedBlock;
    const Trimmed storedTrim{storedBlock}, unpackedTrim{unpackedBlock};
    const auto storedSize = static_cast<size_t>(entry.compressedSize);
    const auto size = static_cast<size_t>(entry.uncompressedSize);
    unsigned char* unpacked = unpackedBlock.reserve(size);
    uint64_t at = 0;
    if (unpacked == nullptr || openStored(source, at) != ZipStatus::Ok) return std::nullopt;
    // From an image the stored bytes are unpacked where they are.
    const unsigned char* stored = nullptr;
    if (source.image != nullptr) {
        stored = imageSpan(source, at, storedSize);
    } else if (unsigned char* block = storedBlock.reserve(storedSize);
               block != nullptr && readAllAt(source.ops, source.fd, block, storedSize, at)) {
        stored = block;
    }
    const bool closed = unzCloseCurrentFile(source.zip) == UNZ_OK;
    if (stored == nullptr || !closed || !quickUnpack(entry, stored, unpacked)) return std::nullopt;
    const unsigned char* data = entry.method == 0 ? stored : unpacked;
    for (size_t done = 0; done < size;) {
        const size_t n = std::min(kCopyBlockSize, size - done);
        if (!sink(reinterpret_cast<const char*>(data + done), n)) return ZipStatus::Error;
        done += n;
    }
    return ZipStatus::Ok;
}

}  // namespace

ZipStatus readCurrentEntryData(const ZipSource& source, const ZipEntry& entry, const BlockSink& sink) {
    if (entry.readDirectly) return readZip64EntryData(source.ops, source.path, entry, false, sink);
    if (const std::optional<ZipStatus> quick = readQuickly(source, entry, sink)) return *quick;
    return readWithMinizip(source.zip, false, entry.uncompressedSize, sink);
}

ZipStatus readCurrentEntryRaw(const ZipSource& source, const ZipEntry& entry, const BlockSink& sink) {
    if (entry.readDirectly) return readZip64EntryData(source.ops, source.path, entry, true, sink);
    if (source.readsStraight()) return readRawDirectly(source, entry.compressedSize, sink);
    return readWithMinizip(source.zip, true, entry.compressedSize, sink);
}

}  // namespace quorvane
