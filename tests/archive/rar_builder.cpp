#include "rar_builder.h"

#include <zlib.h>

namespace quorvane::testing {
namespace {

uint32_t crcOf(const std::string& bytes) {
    return static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

void putLe(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string vints(std::initializer_list<uint64_t> values) {
    std::string out;
    for (uint64_t value : values) {
        for (; value > 0x7F; value >>= 7) out += static_cast<char>((value & 0x7F) | 0x80);
        out += static_cast<char>(value);
    }
    return out;
}

uint32_t dataCrc(const RarEntry& e) { return crcOf(e.data) ^ (e.wrongCrc ? 0xFFFFFFFFu : 0u); }

uint64_t unpackedSize(const RarEntry& e) {
    return e.statedSize >= 0 ? static_cast<uint64_t>(e.statedSize) : e.data.size() * (e.compressed ? 4 : 1);
}

// RAR 4: CRC16, type, flags and size, then `fields`.
std::string rar4Block(uint8_t type, uint16_t flags, const std::string& fields) {
    std::string body(1, static_cast<char>(type)), out;
    putLe(body, flags, 2);
    putLe(body, 7 + fields.size(), 2);
    body += fields;
    putLe(out, crcOf(body) & 0xFFFF, 2);
    return out + body;
}

// RAR 5: CRC-32 of what follows, the size of `fields` as a vint, `fields`.
std::string rar5Block(const std::string& fields) {
    const std::string sized = vints({fields.size()}) + fields;
    std::string out;
    putLe(out, crcOf(sized), 4);
    return out + sized;
}

}  // namespace

std::string rar4Archive(const std::vector<RarEntry>& entries) {
    std::string out = std::string("Rar!\x1a\x07\x00", 7) + rar4Block(0x73, 0, std::string(6, '\0'));
    for (const RarEntry& e : entries) {
        std::string fields;
        putLe(fields, e.data.size(), 4);
        putLe(fields, unpackedSize(e), 4);
        fields += '\x03';  // made on Unix: the attributes are a mode
        putLe(fields, dataCrc(e), 4);
        putLe(fields, (44u << 25) | (6u << 21) | (15u << 16), 4);  // 2024-06-15, a DOS date
        fields += e.compressed ? "\x1d\x35" : "\x14\x30";          // version needed to extract, method
        putLe(fields, e.name.size(), 2);
        putLe(fields, 0100644, 4);
        out += rar4Block(0x74, e.encrypted ? 0x8004 : 0x8000, fields + e.name) + e.data;
    }
    return out + rar4Block(0x7B, 0x4000, "");
}

std::string rar5Archive(const std::vector<RarEntry>& entries) {
    std::string out = std::string("Rar!\x1a\x07\x01\x00", 8) + rar5Block(vints({1, 0, 0}));  // main header
    for (const RarEntry& e : entries) {
        // File header: a data area and a data CRC follow; sizes, a mode, the CRC.
        std::string fields = vints({2, 0x0002, e.data.size(), 0x0004, unpackedSize(e), 0100644});
        putLe(fields, dataCrc(e), 4);
        // Method 3 or stored, made on Unix, the name.
        fields += vints({e.compressed ? (3u << 7) : 0u, 1, e.name.size()}) + e.name;
        out += rar5Block(fields) + e.data;
    }
    return out + rar5Block(vints({5, 0, 0}));  // end of archive
}

std::string rarArchive(bool five, const std::vector<RarEntry>& entries) {
    return five ? rar5Archive(entries) : rar4Archive(entries);
}

}  // namespace quorvane::testing
