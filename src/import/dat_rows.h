// What a DAT reader hands to the import: the file's header and one ROM row
// at a time, already in the stored text forms.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace quorvane
