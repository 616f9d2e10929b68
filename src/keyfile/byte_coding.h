// Big-endian integers and the 1-to-5-byte variable-length numbers of the key
// file format. Decoders take an end pointer and never read at or past it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvane {

inline uint16_t getU16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

inline void putU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

inline uint32_t getU32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

inline void putU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

inline constexpr int kMaxVarintSize = 5;

inline int varintSize(uint32_t v) {
    if (v < (1u << 7)) return 1;
    if (v < (1u << 14)) return 2;
    if (v < (1u << 21)) return 3;
    if (v < (1u << 28)) return 4;
    return 5;
}

// Writes v at p (room for kMaxVarintSize bytes); returns the bytes written.
inline int putVarint(uint8_t* p, uint32_t v) {
    switch (varintSize(v)) {
    case 1:
        p[0] = static_cast<uint8_t>(v);
        return 1;
    case 2:
        p[0] = static_cast<uint8_t>(0x80 | (v >> 8));
        p[1] = static_cast<uint8_t>(v);
        return 2;
    case 3:
        p[0] = static_cast<uint8_t>(0xC0 | (v >> 16));
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v);
        return 3;
    case 4:
        p[0] = static_cast<uint8_t>(0xE0 | (v >> 24));
        p[1] = static_cast<uint8_t>(v >> 16);
        p[2] = static_cast<uint8_t>(v >> 8);
        p[3] = static_cast<uint8_t>(v);
        return 4;
    default:
        p[0] = 0xF0;
        putU32(p + 1, v);
        return 5;
    }
}

// The length of the number starting with byte `first`, from that byte alone.
inline int varintLength(uint8_t first) {
    if (!(first & 0x80)) return 1;
    if (!(first & 0x40)) return 2;
    if (!(first & 0x20)) return 3;
    if (!(first & 0x10)) return 4;
    return 5;
}

// Reads a number from [p, end). Returns its length, or 0 when it does not
// fit before `end`.
inline int getVarint(const uint8_t* p, const uint8_t* end, uint32_t* v) {
    if (p >= end) return 0;
    const int n = varintLength(p[0]);
    if (end - p < n) return 0;
    switch (n) {
    case 1: *v = p[0]; break;
    case 2: *v = (uint32_t{p[0] & 0x3Fu} << 8) | p[1]; break;
    case 3: *v = (uint32_t{p[0] & 0x1Fu} << 16) | (uint32_t{p[1]} << 8) | p[2]; break;
    case 4: *v = (uint32_t{p[0] & 0x0Fu} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]; break;
    default: *v = getU32(p + 1); break;
    }
    return n;
}

}  // namespace quorvane
