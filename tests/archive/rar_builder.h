// Small RAR 4 and RAR 5 archives built byte by byte from the published
// format notes, since no RAR writer is packaged. Entries are stored
// (uncompressed) unless marked compressed, which only labels the bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane::testing {

struct RarEntry {
    std::string name;
    std::string data;
    // Labelled with a real compression method (RAR 4 "best", RAR 5 method
    // 3); `data` is then whatever junk the test wants decompressed.
    bool compressed = false;
    // When set, the data CRC written instead of the right one.
    bool wrongCrc = false;
    // The unpacked size the header states, when not the data's own.
    int64_t statedSize = -1;
    // RAR 4 only: flagged as needing a password.
    bool encrypted = false;
};

// Marker block, archive header, one file header per entry followed by its
// data, end-of-archive block; every header's CRC16 is the low 16 bits of
// the CRC-32 of the header after its CRC field.
std::string rar4Archive(const std::vector<RarEntry>& entries);

// Signature, then main, file and end headers, each: CRC-32 of what follows,
// then the header size, type and flags as vints (7 bits a byte, low first).
std::string rar5Archive(const std::vector<RarEntry>& entries);

std::string rarArchive(bool five, const std::vector<RarEntry>& entries);

}  // namespace quorvane::testing
