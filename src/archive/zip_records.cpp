#include "archive/zip_records.h"

#include <algorithm>

#include "archive/little_endian.h"
#include "archive/zip_signatures.h"

namespace quorvane {
namespace {

constexpr uint64_t kCountMarker = 0xFFFF;

bool needsZip64(const ZipRecord& record) {
    return record.size >= kZip64Marker || record.compressedSize >= kZip64Marker ||
           record.localHeaderOffset >= kZip64Marker;
}

// Version needed through the CRC: the part both headers share.
void putSharedFields(std::string& out, const ZipRecord& record, bool zip64) {
    appendLittle(out, zip64 ? kZip64Version : kPlainVersion, 2);
    appendLittle(out, record.flags, 2);
    appendLittle(out, record.method, 2);
    appendLittle(out, record.dosDate, 4);
    appendLittle(out, record.crc32, 4);
}

uint64_t capped(uint64_t value, uint64_t marker) { return std::min(value, marker); }

}  // namespace

void appendLocalHeader(std::string& out, const ZipRecord& record, bool zip64) {
    out.reserve(out.size() + kLocalHeaderFixedSize + record.name.size() + kZip64LocalExtraSize);
    appendLittle(out, kLocalSignature, 4);
    putSharedFields(out, record, zip64 || needsZip64(record));
    appendLittle(out, zip64 ? kZip64Marker : record.compressedSize, 4);
    appendLittle(out, zip64 ? kZip64Marker : record.size, 4);
    appendLittle(out, record.name.size(), 2);
    appendLittle(out, zip64 ? kZip64LocalExtraSize : 0, 2);
    out += record.name;
    if (zip64) {
        appendLittle(out, kZip64ExtraId, 2);
        appendLittle(out, kZip64LocalExtraSize - 4, 2);
        appendLittle(out, record.size, 8);
        appendLittle(out, record.compressedSize, 8);
    }
}

void appendCentralRecord(std::string& out, const ZipRecord& record) {
    size_t values = 0;
    for (const uint64_t value : {record.size, record.compressedSize, record.localHeaderOffset}) {
        if (value >= kZip64Marker) ++values;
    }
    const size_t extraSize = values == 0 ? 0 : 4 + 8 * values;
    out.reserve(out.size() + kCentralFixedSize + record.name.size() + extraSize);
    appendLittle(out, kCentralSignature, 4);
    appendLittle(out, record.versionMadeBy, 2);
    putSharedFields(out, record, needsZip64(record));
    appendLittle(out, capped(record.compressedSize, kZip64Marker), 4);
    appendLittle(out, capped(record.size, kZip64Marker), 4);
    appendLittle(out, record.name.size(), 2);
    appendLittle(out, extraSize, 2);
    appendLittle(out, 0, 2);  // comment length
    appendLittle(out, 0, 2);  // disk
    appendLittle(out, record.internalAttributes, 2);
    appendLittle(out, record.externalAttributes, 4);
    appendLittle(out, capped(record.localHeaderOffset, kZip64Marker), 4);
    out += record.name;
    if (values == 0) return;
    appendLittle(out, kZip64ExtraId, 2);
    appendLittle(out, 8 * values, 2);
    for (const uint64_t value : {record.size, record.compressedSize, record.localHeaderOffset}) {
        if (value >= kZip64Marker) appendLittle(out, value, 8);
    }
}

void appendEndRecords(std::string& out, uint64_t entries, uint64_t offset, uint64_t size, std::string_view comment) {
    if (entries >= kCountMarker || offset >= kZip64Marker || size >= kZip64Marker) {
        const uint64_t recordOffset = offset + size;
        appendLittle(out, kZip64EndSignature, 4);
        appendLittle(out, kZip64EndSize - 12, 8);
        appendLittle(out, 0, 2);
        appendLittle(out, kZip64Version, 2);
        appendLittle(out, 0, 4);
        appendLittle(out, 0, 4);
        appendLittle(out, entries, 8);
        appendLittle(out, entries, 8);
        appendLittle(out, size, 8);
        appendLittle(out, offset, 8);
        appendLittle(out, kZip64LocatorSignature, 4);
        appendLittle(out, 0, 4);
        appendLittle(out, recordOffset, 8);
        appendLittle(out, 1, 4);
    }
    appendLittle(out, kEndSignature, 4);
    appendLittle(out, 0, 2);
    appendLittle(out, 0, 2);
    appendLittle(out, capped(entries, kCountMarker), 2);
    appendLittle(out, capped(entries, kCountMarker), 2);
    appendLittle(out, capped(size, kZip64Marker), 4);
    appendLittle(out, capped(offset, kZip64Marker), 4);
    appendLittle(out, comment.size(), 2);
    out += comment;
}

}  // namespace quorvane
