#include "archive/zip_image.h"

#include <cstdint>

#include "archive/zip_records.h"
#include "archive/zip_signatures.h"

namespace quorvane {
namespace {

constexpr size_t kMaxEntries = 0xFFFE;

}  // namespace

bool ZipImage::add(std::string_view name, const DeflatedData& data) {
    const uint64_t offset = local_.size();
    const uint64_t localEnd = offset + kLocalHeaderFixedSize + name.size() + data.bytes.size();
    const uint64_t centralSize = central_.size() + kCentralFixedSize + name.size();
    if (entries_ >= kMaxEntries || name.size() > 0xFFFF || data.size >= kZip64Threshold ||
        localEnd + centralSize + kEndRecordSize >= kZip64Threshold)
        return false;
    const ZipRecord record{.name = std::string(name),
                           .flags = static_cast<uint16_t>(data.optionBits & kDeflateOptionBits),
                           .dosDate = data.dosDate,
                           .crc32 = data.crc32,
                           .size = data.size,
                           .compressedSize = data.bytes.size(),
                           .localHeaderOffset = offset};
    appendLocalHeader(local_, record, false);
    local_.append(data.bytes);
    appendCentralRecord(central_, record);
    ++entries_;
    return true;
}

const std::string& ZipImage::finish() {
    const uint64_t centralOffset = local_.size();
    const uint64_t centralSize = central_.size();
    local_.reserve(local_.size() + central_.size() + kEndRecordSize);
    local_.append(central_);
    central_.clear();
    appendEndRecords(local_, entries_, centralOffset, centralSize, {});
    return local_;
}

}  // namespace quorvane
