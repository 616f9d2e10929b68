// The four-byte signatures that open a zip's records.
#pragma once

#include <cstdint>

namespace quorvane {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;

}  // namespace quorvane
