#include "import/scratch_romset.h"

#include <string_view>

#include "core/text.h"

namespace quorvane {

std::string scratchGameKey(const std::string& game) {
    // The database refuses an empty system name; a block before any name
    // line has an empty game name. 0x01 keeps it first, as "" would sort.
    return game.empty() ? std::string(1, '\x01') : game;
}

ScratchRomset::ScratchRomset(ImportContext& context)
    : context_(context), scratch_(context.settings().scratchDatabasePath()) {
    scratch_.setScratch();
}

ScratchRomset::~ScratchRomset() { scratch_.deleteDB(); }

bool ScratchRomset::open() {
    scratch_.deleteDB();
    parentLoaded_ = false;
    parentRoms_.clear();
    if (scratch_.openDB() == StoreStatus::Ok) return true;
    context_.message(scratch_.lastError() + ". Nothing of " + context_.path() + " was imported.");
    return false;
}

StoreResult ScratchRomset::add(const DatRom& rom) {
    return context_.storeRom(scratch_, DatHeader{scratchGameKey(rom.game), {}, {}}, rom);
}

namespace {

// crc + size is compared as one text, as the CRC index files it; the name
// follows behind its length so no two pairs make the same entry.
void parentEntry(std::string& out, std::string_view crcSize, std::string_view name) {
    out.assign(crcSize);
    out.push_back('\0');
    out += std::to_string(name.size());
    out.push_back(':');
    out += name;
}

}  // namespace

void ScratchRomset::loadParent(const std::string& game) {
    if (parentLoaded_ && parentName_ == game) return;
    parentRoms_.clear();
    parentName_ = game;
    parentLoaded_ = true;
    std::string entry;
    scratch_.forEachSystemRow(scratchGameKey(game), [&](const RomRow& row) {
        if (row.game != game) return;
        parentEntry(entry, row.crc + row.size, row.romName);
        parentRoms_.insert(entry);
    });
}

bool ScratchRomset::presentIn(const Rom& rom, const std::string& game) {
    loadParent(game);
    parentEntry(probe_, toLowerAscii(rom.crc) + rom.size, rom.name);
    return parentRoms_.count(probe_) > 0;
}

void ScratchRomset::checkParents(const Rom& rom, DatRom& out) {
    out.cloneOf.clear();
    out.romOf.clear();
    if (!rom.romOf.empty() && presentIn(rom, rom.romOf)) {
        out.romOf = rom.romOf;
        return;
    }
    if (!rom.cloneOf.empty() && presentIn(rom, rom.cloneOf)) out.cloneOf = rom.cloneOf;
}

bool ScratchRomset::copyIntoCategory(const DatHeader& header) {
    const std::vector<std::string> keys = scratch_.getSystems();
    ProgressThrottle& progress = context_.progress();
    progress.setMaximum(keys.size());
    DatRom row;
    for (size_t i = 0; i < keys.size(); ++i) {
        progress.update(context_.path(), i);
        const Romset one = scratch_.getRomset(keys[i], 0);
        for (const Game& game : one.games) {
            row.game = game.name;
            for (const Rom& rom : game.roms) {
                row.name = rom.name;
                row.crc = rom.crc;
                row.size = rom.size;
                row.md5 = rom.md5;
                row.sha1 = rom.sha1;
                checkParents(rom, row);
                if (context_.storeRom(context_.category(), header, row) == StoreResult::Failed) return false;
            }
        }
    }
    progress.flush(context_.path(), keys.size());
    context_.finished();
    return true;
}

}  // namespace quorvane
