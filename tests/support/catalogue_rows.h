// Fills a catalogue from a table of rows, statuses included.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/catalogue.h"

namespace quorvane::testing {

// A ROM row: `name` of `game` in `system`, in a DAT of that version.
inline RomRow romRow(const std::string& system, const std::string& game, const std::string& crc,
                     const std::string& name, const std::string& size, RomStatus status = RomStatus::Missing,
                     const std::string& version = "1") {
    return {.status = status, .system = system, .game = game, .crc = crc, .romName = name, .size = size,
            .version = version};
}

// Adds `rows` (a new row is always missing), then marks those whose status
// is Have or Present as such.
inline void addRows(Catalogue& db, const std::vector<RomRow>& rows) {
    for (const RomRow& row : rows) ASSERT_TRUE(db.addRom(row)) << row.romName << ": " << db.lastError();
    for (const RomRow& r : rows) {
        const std::string size = r.size == "0" ? "-" : r.size;  // how an empty ROM's size is stored
        if (r.status == RomStatus::Have) db.setHave(r.crc, size, r.romName, r.game, r.system);
        if (r.status == RomStatus::Present) db.setPresent(r.crc, size, r.romName, r.game, r.system);
    }
}

}  // namespace quorvane::testing
