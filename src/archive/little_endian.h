// Zip records store integers little-endian, whatever the machine's order.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

// The `bytes`-byte integer at `p`.
inline uint64_t readLittle(const unsigned char* p, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

// Appends `value` as `bytes` bytes.
inline void appendLittle(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace quorvane
