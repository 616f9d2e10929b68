#include "archive/zip64_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "archive/little_endian.h"
#include "archive/zip_signatures.h"
#include "archive/zip_status.h"

namespace quorvane {
namespace {

constexpr uint32_t kMarker = 0xFFFFFFFF;
constexpr size_t kLocalFixedSize = 30;

class Descriptor {
public:
    Descriptor(FileOps& ops, const std::string& path) : ops_(ops), fd_(ops.openRead(path)) {}
    ~Descriptor() {
        if (fd_ >= 0) ops_.close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }
    // Reads exactly `size` bytes at `offset`.
    bool readExactly(void* buffer, size_t size, uint64_t offset) { return readAllAt(ops_, fd_, buffer, size, offset); }

private:
    FileOps& ops_;
    int fd_;
};

}  // namespace

ZipStatus readZip64CentralRecord(FileOps& ops, const std::string& path, uint64_t offset, const CentralRecordSeen& seen,
                                 Zip64Record& record) {
    Descriptor file(ops, path);
    if (!file.ok()) return ZipStatus::Error;
    unsigned char fixed[kCentralFixedSize];
    if (!file.readExactly(fixed, sizeof fixed, offset)) return ZipStatus::BadZipFile;
    if (readLittle(fixed, 4) != kCentralSignature) return ZipStatus::BadZipFile;
    uint64_t compressed = readLittle(fixed + 20, 4);
    uint64_t uncompressed = readLittle(fixed + 24, 4);
    uint64_t local = readLittle(fixed + 42, 4);
    const size_t nameLength = readLittle(fixed + 28, 2);
    const size_t extraLength = readLittle(fixed + 30, 2);
    // The record must be the one minizip reported: with bytes in front of
    // the archive, minizip's offsets are shifted and would name another.
    if (readLittle(fixed + 16, 4) != seen.crc || nameLength != seen.name.size() || extraLength != seen.extra.size())
        return ZipStatus::BadZipFile;
    std::vector<unsigned char> stored(nameLength + extraLength);
    if (!stored.empty() && !file.readExactly(stored.data(), stored.size(), offset + kCentralFixedSize))
        return ZipStatus::BadZipFile;
    if (!std::equal(seen.name.begin(), seen.name.end(), stored.begin(),
                    [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; }) ||
        !std::equal(seen.extra.begin(), seen.extra.end(), stored.begin() + static_cast<ptrdiff_t>(nameLength),
                    [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; }))
        return ZipStatus::BadZipFile;
    const unsigned char* extra = stored.data() + nameLength;
    for (size_t at = 0; at + 4 <= extraLength;) {
        const uint64_t id = readLittle(extra + at, 2);
        const size_t length = readLittle(extra + at + 2, 2);
        if (at + 4 + length > extraLength) return ZipStatus::BadZipFile;
        if (id == 0x0001) {
            const unsigned char* p = extra + at + 4;
            const unsigned char* end = p + length;
            for (uint64_t* field : {&uncompressed, &compressed, &local}) {
                if (*field != kMarker) continue;
                if (end - p < 8) return ZipStatus::BadZipFile;
                *field = readLittle(p, 8);
                p += 8;
            }
            break;
        }
        at += 4 + length;
    }
    // The local header and the stored bytes must lie within the file.
    const int64_t fileSize = ops.fileSize(file.descriptor());
    if (fileSize < 0) return ZipStatus::Error;
    const uint64_t size = static_cast<uint64_t>(fileSize);
    if (local > size || size - local < kLocalFixedSize || compressed > size - local - kLocalFixedSize)
        return ZipStatus::BadZipFile;
    record.uncompressedSize = uncompressed;
    record.compressedSize = compressed;
    record.localHeaderOffset = local;
    return ZipStatus::Ok;
}

ZipStatus readZip64EntryData(FileOps& ops, const std::string& path, const ZipEntry& entry, bool rawBytes,
                             const BlockSink& sink) {
    if (!rawBytes && ((entry.flag & 1) != 0 || (entry.method != 0 && entry.method != Z_DEFLATED)))
        return ZipStatus::BadZipFile;  // encrypted or a method this layer cannot read
    Descriptor file(ops, path);
    if (!file.ok()) return ZipStatus::Error;
    unsigned char header[kLocalFixedSize];
    if (!file.readExactly(header, sizeof header, entry.localHeaderOffset)) return ZipStatus::BadZipFile;
    if (readLittle(header, 4) != kLocalSignature) return ZipStatus::BadZipFile;
    uint64_t position = entry.localHeaderOffset + kLocalFixedSize + readLittle(header + 26, 2) + readLittle(header + 28, 2);

    std::unique_ptr<char[]> in(new (std::nothrow) char[kCopyBlockSize]);
    std::unique_ptr<char[]> out(new (std::nothrow) char[kCopyBlockSize]);
    if (!in || !out) return ZipStatus::Error;
    const bool inflating = !rawBytes && entry.method == Z_DEFLATED;
    z_stream stream{};
    if (inflating && inflateInit2(&stream, -MAX_WBITS) != Z_OK) return ZipStatus::Error;
    struct InflateEnd {
        z_stream* s;
        ~InflateEnd() {
            if (s) inflateEnd(s);
        }
    } inflateEndGuard{inflating ? &stream : nullptr};

    uint64_t left = entry.compressedSize;
    uint64_t produced = 0;
    uint32_t crc = 0;
    bool ended = !inflating && left == 0;
    while (left > 0) {
        const size_t want = left < kCopyBlockSize ? static_cast<size_t>(left) : kCopyBlockSize;
        if (!file.readExactly(in.get(), want, position)) return ZipStatus::BadZipFile;
        position += want;
        left -= want;
        if (!inflating) {
            if (!rawBytes) crc = static_cast<uint32_t>(crc32_z(crc, reinterpret_cast<Bytef*>(in.get()), want));
            produced += want;
            if (!sink(in.get(), want)) return ZipStatus::Error;
            continue;
        }
        stream.next_in = reinterpret_cast<Bytef*>(in.get());
        stream.avail_in = static_cast<uInt>(want);
        // Keep inflating while input remains or the last call filled the
        // output block (more may be pending).
        do {
            stream.next_out = reinterpret_cast<Bytef*>(out.get());
            stream.avail_out = static_cast<uInt>(kCopyBlockSize);
            const int z = inflate(&stream, Z_NO_FLUSH);
            const size_t n = kCopyBlockSize - stream.avail_out;
            if (z == Z_BUF_ERROR && n == 0) break;
            if (z != Z_OK && z != Z_STREAM_END) return ZipStatus::BadZipFile;
            crc = static_cast<uint32_t>(crc32_z(crc, reinterpret_cast<Bytef*>(out.get()), n));
            produced += n;
            if (n > 0 && !sink(out.get(), n)) return ZipStatus::Error;
            ended = z == Z_STREAM_END;
        } while (!ended && (stream.avail_in > 0 || stream.avail_out == 0));
    }
    if (inflating && !ended) return ZipStatus::BadZipFile;
    if (rawBytes) return ZipStatus::Ok;
    if (produced != entry.uncompressedSize) return ZipStatus::BadZipFile;
    return crc == entry.crc32 ? ZipStatus::Ok : ZipStatus::CrcError;
}

}  // namespace quorvane
