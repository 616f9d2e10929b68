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

void putVint(std::string& out, uint64_t value) {
    do {
        const auto low = static_cast<unsigned char>(value & 0x7F);
        value >>= 7;
        out += static_cast<char>(value ? (low | 0x80) : low);
    } while (value);
}

uint32_t dataCrc(const RarEntry& e) { return crcOf(e.data) ^ (e.wrongCrc ? 0xFFFFFFFFu : 0u); }

uint64_t unpackedSize(const RarEntry& e) {
    if (e.statedSize >= 0) return static_cast<uint64_t>(e.statedSize);
    return e.compressed ? e.data.size() * 4 : e.data.size();
}

// RAR 4: `body` is the header from its type byte on (its size field included).
std::string rar4Block(const std::string& body) {
    std::string out;
    putLe(out, crcOf(body) & 0xFFFF, 2);
    return out + body;
}

std::string rar4Body(uint8_t type, uint16_t flags, const std::string& fields) {
    std::string body;
    body += static_cast<char>(type);
    putLe(body, flags, 2);
    putLe(body, 7 + fields.size(), 2);
    return body + fields;
}

// RAR 5: `fields` is everything after the header size.
std::string rar5Block(const std::string& fields) {
    std::string sized;
    putVint(sized, fields.size());
    sized += fields;
    std::string out;
    putLe(out, crcOf(sized), 4);
    return out + sized;
}

}  // namespace

std::string rar4Archive(const std::vector<RarEntry>& entries) {
    std::string out("Rar!\x1a\x07\x00", 7);
    out += rar4Block(rar4Body(0x73, 0, std::string(6, '\0')));
    for (const RarEntry& e : entries) {
        std::string fields;
        putLe(fields, e.data.size(), 4);
        putLe(fields, unpackedSize(e), 4);
        fields += '\x03';  // made on Unix: the attributes are a mode
        putLe(fields, dataCrc(e), 4);
        putLe(fields, (44u << 25) | (6u << 21) | (15u << 16), 4);  // 2024-06-15, a DOS date
        fields += static_cast<char>(e.compressed ? 29 : 20);       // version needed to extract
        fields += static_cast<char>(e.compressed ? 0x35 : 0x30);
        putLe(fields, e.name.size(), 2);
        putLe(fields, 0100644, 4);
        fields += e.name;
        out += rar4Block(rar4Body(0x74, e.encrypted ? 0x8004 : 0x8000, fields)) + e.data;
    }
    return out + rar4Block(rar4Body(0x7B, 0x4000, ""));
}

std::string rar5Archive(const std::vector<RarEntry>& entries) {
    std::string out("Rar!\x1a\x07\x01\x00", 8);
    std::string main;
    putVint(main, 1);  // main archive header
    putVint(main, 0);
    putVint(main, 0);  // archive flags
    out += rar5Block(main);
    for (const RarEntry& e : entries) {
        std::string fields;
        putVint(fields, 2);       // file header
        putVint(fields, 0x0002);  // a data area follows
        putVint(fields, e.data.size());
        putVint(fields, 0x0004);  // the data CRC is present
        putVint(fields, unpackedSize(e));
        putVint(fields, 0100644);
        putLe(fields, dataCrc(e), 4);
        putVint(fields, e.compressed ? (3u << 7) : 0);  // method 3, or stored
        putVint(fields, 1);                             // made on Unix
        putVint(fields, e.name.size());
        fields += e.name;
        out += rar5Block(fields) + e.data;
    }
    std::string end;
    putVint(end, 5);
    putVint(end, 0);
    putVint(end, 0);
    return out + rar5Block(end);
}

}  // namespace quorvane::testing
