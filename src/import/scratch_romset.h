// The two passes of a DAT whose sets name parents, BIOS sets and devices:
// every ROM and every set's facts go first into the scratch file, then game
// by game, sorted by name, into the category database.
//
// The scratch file is the scratch database's record file, "TempDB.rcf" beside
// the databases, without its indexes: rows as a record file holds them
// (row_store.h), back to back, each with its game's key (scratchGameKey) in
// the system field. Memory keeps, per game, the runs of adjacent rows it has
// in the file: a DAT lists a game's rows together, so a game costs one run
// and its name whatever its number of ROMs, and pass 2 reads each game with
// one read. Besides its ROM rows a game there has
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
// finishAdding(); copyIntoCategory(). The scratch files are removed at both ends, so no row
// outlives one file.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/row_store.h"
#include "core/records.h"
#include "import/import_context.h"

namespace quorvane {

class ScratchRomset {
public:
    explicit ScratchRomset(ImportContext& context);
    ~ScratchRomset();
    ScratchRomset(const ScratchRomset&) = delete;
    ScratchRomset& operator=(const ScratchRomset&) = delete;

    // Empties and opens the scratch file; false after a message.
    bool open();
    // Pass 1: one ROM of the file, parents as the DAT names them.
    StoreResult add(const DatRom& rom);
    // Pass 1: a set's kind, parent, BIOS and devices (once per set).
    StoreResult addSet(const DatSet& set);
    // Puts every row added on the disk; false after a message. A reader
    // calls it before it deletes the rows the file replaces.
    bool finishAdding() { return flush(); }
    // Pass 2. False when the category database failed (after a message).
    bool copyIntoCategory(const DatHeader& header);

private:
    // A game of the scratch file as pass 2 needs it.
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
    // Adjacent rows of one game in the scratch file.
    struct Run {
        std::uint64_t offset = 0;
        std::uint32_t length = 0;
    };

    // Appends a row (its system field the game's key); Skipped when too
    // long to store, Failed after a message when the file cannot be written.
    StoreResult append(const RomRow& row);
    StoreResult append(const std::string& key, const RowStore::RowFields& fields);
    bool flush();
    // Visits the rows filed under `key` in the order they were added; false
    // when the file cannot be read (readError_ says why).
    template <typename Visit>
    bool forEachRow(const std::string& key, Visit visit);
    bool readGame(const std::string& key, ScratchGame& game);
    // The game's rows for the category: its own, then its devices'. Their
    // names passed the checks when they were added.
    void rowsOf(const ScratchGame& game, const DatHeader& header, std::vector<RomRow>& out);
    // Sets out's cloneOf or romOf to the set that holds `rom` itself.
    void resolveReferences(const RomRow& rom, RomRow& out);
    // True when `game` of this file holds a ROM like `rom`.
    bool holds(const std::string& game, const RomRow& rom);
    // A parent, BIOS or device, read when first named. Sets close to each
    // other in name order name the same few: a cache serves them, emptied
    // when it grows, so memory stays bounded.
    const Holder& holder(const std::string& game);
    void closeFile();

    ImportContext& context_;
    std::string basePath_;
    int fd_ = -1;
    std::string pending_;     // rows not written yet
    std::uint64_t end_ = 0;   // the file's length, pending rows included
    std::unordered_map<std::string, std::vector<Run>> games_;
    std::vector<Run>* lastRuns_ = nullptr;  // the game added to last
    std::string lastKey_;
    std::string readBuffer_;
    std::string readError_;  // the first read that failed
    std::unordered_map<std::string, Holder> holders_;
    size_t heldRows_ = 0;
    std::string probe_;
};

// The key under which the scratch file files a game.
std::string scratchGameKey(const std::string& game);

}  // namespace quorvane
