#include "archive/torrent_zip_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <vector>

#include "archive/file_ops.h"
#include "archive/little_endian.h"
#include "archive/torrent_zip_names.h"
#include "archive/zip_signatures.h"
#include "archive/zip_entry_io.h"

namespace quorvane {
namespace {

constexpr uint16_t kMaximumCompressionFlag = 0x0002;
constexpr std::string_view kCommentPrefix = "TORRENTZIPPED-";
constexpr size_t kCommentSize = 22;

uint64_t readLittleAt(std::string_view text, size_t at, int bytes) {
    return readLittle(reinterpret_cast<const unsigned char*>(text.data()) + at, bytes);
}

uint16_t flagsOf(const TorrentZipRecord& record) {
    return static_cast<uint16_t>(kMaximumCompressionFlag | (record.utf8 ? kUtf8NameFlag : 0));
}

ZipRecord generalRecord(const TorrentZipRecord& record) {
    return {.name = record.name,
            .flags = flagsOf(record),
            .method = Z_DEFLATED,
            .dosDate = uint32_t{kTorrentZipDosDate} << 16 | kTorrentZipDosTime,
            .crc32 = record.crc32,
            .size = record.size,
            .compressedSize = record.compressedSize,
            .localHeaderOffset = record.localHeaderOffset};
}

// The hex digit of `c`, uppercase only; -1 for anything else.
int upperHexDigit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parseComment(const unsigned char* comment, uint32_t& crc) {
    if (!std::equal(kCommentPrefix.begin(), kCommentPrefix.end(), comment)) return false;
    crc = 0;
    for (size_t i = kCommentPrefix.size(); i < kCommentSize; ++i) {
        const int digit = upperHexDigit(comment[i]);
        if (digit < 0) return false;
        crc = (crc << 4) | static_cast<uint32_t>(digit);
    }
    return true;
}

// The ZIP64 block of a central record holds exactly the values that reach
// the marker, and nothing else is in the extra field.
bool zip64ExtraMatches(std::string_view extra, uint64_t size32, uint64_t compressed32, uint64_t offset32) {
    const size_t values = (size32 == kZip64Marker) + (compressed32 == kZip64Marker) + (offset32 == kZip64Marker);
    if (values == 0) return extra.empty();
    if (extra.size() != 4 + 8 * values || readLittleAt(extra, 0, 2) != kZip64ExtraId ||
        readLittleAt(extra, 2, 2) != 8 * values)
        return false;
    size_t at = 4;
    for (const uint64_t field : {size32, compressed32, offset32}) {
        if (field != kZip64Marker) continue;
        if (readLittleAt(extra, at, 8) < kZip64Marker) return false;
        at += 8;
    }
    return true;
}

}  // namespace

std::string localHeader(const TorrentZipRecord& record, bool zip64) {
    std::string out;
    appendLocalHeader(out, generalRecord(record), zip64);
    return out;
}

std::string centralRecord(const TorrentZipRecord& record) {
    std::string out;
    appendCentralRecord(out, generalRecord(record));
    return out;
}

std::string endRecords(uint64_t entries, uint64_t offset, uint64_t size, uint32_t directoryCrc) {
    char comment[kCommentSize + 1];
    std::snprintf(comment, sizeof comment, "TORRENTZIPPED-%08X", static_cast<unsigned>(directoryCrc));
    std::string out;
    appendEndRecords(out, entries, offset, size, std::string_view(comment, kCommentSize));
    return out;
}

bool readTorrentZipEnd(FileOps& ops, int fd, TorrentZipEnd& end) {
    const int64_t fileSize = ops.fileSize(fd);
    if (fileSize < static_cast<int64_t>(kEndRecordSize + kCommentSize)) return false;
    const uint64_t size = static_cast<uint64_t>(fileSize);
    // The locator, when there is one, sits right before the end record.
    const size_t tailSize =
        static_cast<size_t>(std::min<uint64_t>(size, kZip64LocatorSize + kEndRecordSize + kCommentSize));
    unsigned char tail[kZip64LocatorSize + kEndRecordSize + kCommentSize];
    if (!readAllAt(ops, fd, tail, tailSize, size - tailSize)) return false;
    const unsigned char* record = tail + tailSize - kEndRecordSize - kCommentSize;
    if (readLittle(record, 4) != kEndSignature || readLittle(record + 4, 2) != 0 || readLittle(record + 6, 2) != 0 ||
        readLittle(record + 8, 2) != readLittle(record + 10, 2) || readLittle(record + 20, 2) != kCommentSize)
        return false;
    if (!parseComment(record + kEndRecordSize, end.commentCrc)) return false;
    end.entries = readLittle(record + 10, 2);
    end.directorySize = readLittle(record + 12, 4);
    end.directoryOffset = readLittle(record + 16, 4);
    uint64_t directoryEnd = size - kEndRecordSize - kCommentSize;
    const unsigned char* locator = record - kZip64LocatorSize;
    if (tailSize == sizeof tail && readLittle(locator, 4) == kZip64LocatorSignature) {
        const uint64_t zip64End = readLittle(locator + 8, 8);
        unsigned char zip64[kZip64EndSize];
        if (readLittle(locator + 4, 4) != 0 || readLittle(locator + 16, 4) != 1 ||
            zip64End + kZip64EndSize + kZip64LocatorSize != directoryEnd ||
            !readAllAt(ops, fd, zip64, sizeof zip64, zip64End))
            return false;
        if (readLittle(zip64, 4) != kZip64EndSignature || readLittle(zip64 + 4, 8) != kZip64EndSize - 12 ||
            readLittle(zip64 + 16, 4) != 0 || readLittle(zip64 + 20, 4) != 0 ||
            readLittle(zip64 + 24, 8) != readLittle(zip64 + 32, 8))
            return false;
        end.entries = readLittle(zip64 + 32, 8);
        end.directorySize = readLittle(zip64 + 40, 8);
        end.directoryOffset = readLittle(zip64 + 48, 8);
        directoryEnd = zip64End;
    }
    return end.directoryOffset <= directoryEnd && end.directorySize == directoryEnd - end.directoryOffset;
}

bool directoryFollowsRules(std::string_view directory, uint64_t entries) {
    std::optional<EntryOrder> previous;
    std::vector<std::string> folders;
    std::set<std::string> names;
    size_t at = 0;
    for (uint64_t i = 0; i < entries; ++i) {
        if (directory.size() - at < kCentralFixedSize || readLittleAt(directory, at, 4) != kCentralSignature)
            return false;
        const uint64_t flags = readLittleAt(directory, at + 8, 2);
        const uint64_t compressed32 = readLittleAt(directory, at + 20, 4);
        const uint64_t size32 = readLittleAt(directory, at + 24, 4);
        const size_t nameLength = readLittleAt(directory, at + 28, 2);
        const size_t extraLength = readLittleAt(directory, at + 30, 2);
        const uint64_t offset32 = readLittleAt(directory, at + 42, 4);
        if (directory.size() - at - kCentralFixedSize < nameLength + extraLength) return false;
        const std::string_view stored = directory.substr(at + kCentralFixedSize, nameLength);
        const std::string_view extra = directory.substr(at + kCentralFixedSize + nameLength, extraLength);
        const bool zip64 = !extra.empty();
        if (readLittleAt(directory, at + 4, 2) != 0 ||
            readLittleAt(directory, at + 6, 2) != (zip64 ? kZip64Version : kPlainVersion) ||
            (flags & ~uint64_t{kUtf8NameFlag}) != kMaximumCompressionFlag ||
            readLittleAt(directory, at + 10, 2) != Z_DEFLATED ||
            readLittleAt(directory, at + 12, 2) != kTorrentZipDosTime ||
            readLittleAt(directory, at + 14, 2) != kTorrentZipDosDate || readLittleAt(directory, at + 32, 2) != 0 ||
            readLittleAt(directory, at + 34, 2) != 0 || readLittleAt(directory, at + 36, 2) != 0 ||
            readLittleAt(directory, at + 38, 4) != 0 || !zip64ExtraMatches(extra, size32, compressed32, offset32))
            return false;
        std::string name = entryNameUtf8(stored, static_cast<uint32_t>(flags));
        const StoredName expected = storedName(name);
        if (expected.bytes != stored || expected.utf8 != ((flags & kUtf8NameFlag) != 0)) return false;
        // The size comes first in a ZIP64 block.
        const uint64_t size = size32 == kZip64Marker ? readLittleAt(extra, 4, 8) : size32;
        if (isFolderEntry(name, size)) folders.push_back(name);
        EntryOrder order(name, static_cast<uint32_t>(readLittleAt(directory, at + 16, 4)), size);
        if (previous && !(*previous <= order)) return false;
        previous = std::move(order);
        names.insert(std::move(name));
        at += kCentralFixedSize + nameLength + extraLength;
    }
    if (at != directory.size()) return false;
    // A folder entry only for a folder that holds nothing else.
    for (const std::string& folder : folders) {
        if (folderHoldsEntries(names, folder)) return false;
    }
    return true;
}

}  // namespace quorvane
