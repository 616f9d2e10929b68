// The two passes of a DAT whose sets name parents: every ROM goes first into
// the scratch database "TempDB", then game by game, sorted by name, into the
// category database, keeping a parent reference only where the named parent
// holds the same ROM (same name, CRC and size).
//
// In the scratch database a row's system field holds its game name, so that
// the system index doubles as a game index: the games come back sorted and
// one at a time, and memory stays bounded whatever the size of the DAT.
//
// How to use: open(); add() every ROM of the file; copyIntoCategory(). The
// scratch files are removed at both ends, so no row outlives one file.
#pragma once

#include <string>
#include <unordered_set>

#include "catalogue/catalogue.h"
#include "core/records.h"
#include "import/import_context.h"

namespace quorvane {

class ScratchRomset {
public:
    explicit ScratchRomset(ImportContext& context);
    ~ScratchRomset();
    ScratchRomset(const ScratchRomset&) = delete;
    ScratchRomset& operator=(const ScratchRomset&) = delete;

    // Empties and opens the scratch database; false after a message.
    bool open();
    // Pass 1: one ROM of the file, parents as the DAT names them.
    StoreResult add(const DatRom& rom);
    // Pass 2. False when the category database failed (after a message).
    bool copyIntoCategory(const DatHeader& header);

private:
    // True when `game` of this file holds a ROM with the same name, CRC and size.
    bool presentIn(const Rom& rom, const std::string& game);
    void checkParents(const Rom& rom, DatRom& out);

    // The ROMs of one parent game, loaded when a ROM first names it: clones
    // follow their parents closely in name order, so one query per parent
    // replaces one per ROM, and memory stays bounded by one game.
    void loadParent(const std::string& game);

    ImportContext& context_;
    Catalogue scratch_;
    bool parentLoaded_ = false;
    std::string parentName_;
    // Each ROM of the parent as crc + size, a 0 byte, then its name length and name.
    std::unordered_set<std::string> parentRoms_;
    std::string probe_;
};

// The system key under which the scratch database files a game.
std::string scratchGameKey(const std::string& game);

}  // namespace quorvane
