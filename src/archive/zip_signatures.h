// The zip format's fixed numbers that its readers and writers share: the
// four-byte signatures that open its records, and the limits of its fields.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvane {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
// The id of the extra block that holds an entry's ZIP64 values.
constexpr uint16_t kZip64ExtraId = 0x0001;

// Fixed sizes of the records, before any name, extra field or comment.
constexpr size_t kCentralFixedSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kZip64LocatorSize = 20;

// A size or offset at or above this needs ZIP64 fields.
constexpr uint64_t kZip64Threshold = 0xFFFFFFFFu;
// The general-purpose flag bits that say how hard an entry was deflated.
constexpr uint32_t kDeflateOptionBits = 0x0006;

}  // namespace quorvane
