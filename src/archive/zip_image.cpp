#include "archive/zip_image.h"

#include <cstdint>

#include "archive/zip_signatures.h"

namespace quorvane {
namespace {

constexpr uint16_t kVersionNeeded = 20;
constexpr uint16_t kDeflated = 8;
constexpr size_t kMaxEntries = 0xFFFE;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;

void put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The fields local and central headers share, from "version needed" to the name's length.
void putCommon(std::string& out, std::string_view name, const DeflatedData& data) {
    put16(out, kVersionNeeded);
    put16(out, data.optionBits & kDeflateOptionBits);
    put16(out, kDeflated);
    put32(out, data.dosDate);
    put32(out, data.crc32);
    put32(out, static_cast<uint32_t>(data.bytes.size()));
    put32(out, static_cast<uint32_t>(data.size));
    put16(out, static_cast<uint32_t>(name.size()));
}

}  // namespace

bool ZipImage::add(std::string_view name, const DeflatedData& data) {
    const uint64_t offset = local_.size();
    const uint64_t localEnd = offset + kLocalHeaderSize + name.size() + data.bytes.size();
    const uint64_t centralSize = central_.size() + kCentralHeaderSize + name.size();
    if (entries_ >= kMaxEntries || name.size() > 0xFFFF || data.size >= kZip64Threshold ||
        localEnd + centralSize + kEndRecordSize >= kZip64Threshold)
        return false;
    put32(local_, kLocalSignature);
    putCommon(local_, name, data);
    put16(local_, 0);  // extra field
    local_.append(name);
    local_.append(data.bytes);

    put32(central_, kCentralSignature);
    put16(central_, 0);  // made by
    putCommon(central_, name, data);
    put16(central_, 0);  // extra field
    put16(central_, 0);  // comment
    put16(central_, 0);  // disk
    put16(central_, 0);  // internal attributes
    put32(central_, 0);  // external attributes
    put32(central_, static_cast<uint32_t>(offset));
    central_.append(name);
    ++entries_;
    return true;
}

const std::string& ZipImage::finish() {
    const auto centralOffset = static_cast<uint32_t>(local_.size());
    const auto centralSize = static_cast<uint32_t>(central_.size());
    local_.reserve(local_.size() + central_.size() + kEndRecordSize);
    local_.append(central_);
    central_.clear();
    put32(local_, kEndSignature);
    put16(local_, 0);  // this disk
    put16(local_, 0);  // the directory's disk
    put16(local_, static_cast<uint32_t>(entries_));
    put16(local_, static_cast<uint32_t>(entries_));
    put32(local_, centralSize);
    put32(local_, centralOffset);
    put16(local_, 0);  // comment
    return local_;
}

}  // namespace quorvane
