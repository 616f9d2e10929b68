// The two passes of a DAT whose sets name parents, BIOS sets and devices:
// every ROM and every set's facts go first into the scratch database
// "TempDB", then game by game, sorted by name, into the category database.
//
// The scratch database is a catalogue whose system field holds the game
// name, so that the system index doubles as a game index: the games come
// back sorted and one at a time, and memory stays bounded whatever the size
// of the DAT. Besides its ROM rows a game there has
//   - its facts row as the category keeps it (row_store.h), when it has
//     facts: a BIOS or device set, or one naming a parent or a BIOS;
//   - rows named "\uses" with the names of the devices it names in romOf,
//     "/" between them (no game name holds one), as many as fit in a field.
//
// Pass 2 writes each game's facts row, then its ROMs, then its devices'
// ROMs. A ROM keeps a reference only to the set that holds it itself: when
// the named parent (cloneOf) or BIOS (romOf) holds the same ROM (same name,
// CRC and size; same name and digests for a row without a CRC), the
// reference follows that set's own references as long as they hold it too,
// so a clone's BIOS ROM names the BIOS, not its parent. A device's ROMs are
// added with romOf naming the device, unless the game lists one of the same
// name and CRC itself.
//
// How to use: open(); add() every ROM and addSet() every set of the file;
// copyIntoCategory(). The scratch files are removed at both ends, so no row
// outlives one file.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

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
    // Pass 1: a set's kind, parent, BIOS and devices (once per set).
    StoreResult addSet(const DatSet& set);
    // Pass 2. False when the category database failed (after a message).
    bool copyIntoCategory(const DatHeader& header);

private:
    // A game of the scratch database as pass 2 needs it.
    struct ScratchGame {
        std::string name;
        bool hasFacts = false;
        GameFacts facts;
        std::vector<RomRow> roms;
        std::vector<std::string> devices;
    };
    // What a parent, BIOS or device holds, for the presence checks.
    struct Holder {
        std::string cloneOf, romOf;
        // Each ROM as presenceKey() gives it.
        std::unordered_set<std::string> roms;
        std::vector<RomRow> rows;
    };

    ScratchGame readGame(const std::string& key);
    StoreResult addScratchRow(const RomRow& row);
    // The game's rows for the category: its own, then its devices'.
    void rowsOf(const ScratchGame& game, std::vector<DatRom>& out);
    // Sets out's cloneOf or romOf to the set that holds `rom` itself.
    void resolveReferences(const RomRow& rom, DatRom& out);
    // True when `game` of this file holds a ROM like `rom`.
    bool holds(const std::string& game, const RomRow& rom);
    // A parent, BIOS or device, read when first named. Sets close to each
    // other in name order name the same few: a cache serves them, emptied
    // when it grows, so memory stays bounded.
    const Holder& holder(const std::string& game);

    ImportContext& context_;
    Catalogue scratch_;
    std::unordered_map<std::string, Holder> holders_;
    size_t heldRows_ = 0;
    std::string probe_;
};

// The system key under which the scratch database files a game.
std::string scratchGameKey(const std::string& game);

}  // namespace quorvane
