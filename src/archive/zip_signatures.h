// The zip format's fixed numbers that its readers and writers share: the
// four-byte signatures that open its records, and the limits of its fields.
#pragma once

#include <cstdint>

namespace quorvane {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;

// A size or offset at or above this needs ZIP64 fields.
constexpr uint64_t kZip64Threshold = 0xFFFFFFFFu;
// The general-purpose flag bits that say how hard an entry was deflated.
constexpr uint32_t kDeflateOptionBits = 0x0006;

}  // namespace quorvane
