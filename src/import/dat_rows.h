// What a DAT reader hands to the import: the file's header, one ROM row at
// a time, already in the stored text forms, and each set's own facts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"

namespace quorvane {

struct DatHeader {
    std::string name;  // the system (romset)
    std::string version;
    std::string author;
    std::string headerRule;  // the copier-header rule file the DAT names, if any
};

struct DatRom {
    std::string game;
    std::string name;
    std::string crc;
    std::string size;
    std::string md5;
    std::string sha1;
    std::string cloneOf;
    std::string romOf;
    // The row's line in the DAT file (1 for the first); 0 when not known.
    std::uint64_t line = 0;
};

// A set as a whole: what kind it is, the parent and BIOS it names (romOf
// empty when it names the parent), and the devices whose ROMs it needs.
struct DatSet {
    std::string game;
    SetKind kind = SetKind::Game;
    std::string cloneOf;
    std::string romOf;
    std::vector<std::string> devices;
};

}  // namespace quorvane
