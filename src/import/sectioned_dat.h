// The sectioned DAT syntax: an INI-like header and a games section of rows
// whose fields are separated by the byte 0xAC ("¬" in Windows-1252; the
// UTF-8 form C2 AC is accepted as well):
//
//   [CREDITS]
//   author=Someone
//   version=20041231
//   [EMULATOR]
//   refname=System
//   [GAMES]
//   ¬set¬description¬clone¬description¬rom name¬crc¬size¬...
//   [RESOURCES]
//
// Only the rows between [GAMES] and [RESOURCES] are read; a row equal to the
// row before it is taken once. Field 1 is the set the ROM is filed under,
// fields 5, 6 and 7 the ROM name, CRC and size. Rows are stored directly,
// with no parent references.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "import/import_context.h"

namespace quorvane {

// False when the file has no [EMULATOR] refname (or it is "None"): the file
// is not in this syntax. True when it was dealt with.
bool importSectionedDat(ImportContext& context);

// One row of the games section, split into its fields after the leading
// separator. A field that no separator ends is empty.
struct SectionedRow {
    std::string_view game;     // field 1
    std::string_view romName;  // field 5
    std::string_view crc;      // field 6
    std::string_view size;     // field 7
};
SectionedRow splitSectionedRow(std::string_view line);

// Calls `visit` with every games row that counts, trimmed, in file order,
// and its line number (1 for the first line). False when the file cannot be read.
bool forEachSectionedRow(const std::string& path,
                         const std::function<bool(std::string_view row, std::uint64_t line)>& visit);

}  // namespace quorvane
