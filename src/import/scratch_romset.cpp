#include "import/scratch_romset.h"

#include <algorithm>
#include <string_view>

#include "core/names.h"
#include "core/text.h"

namespace quorvane {

namespace {

constexpr std::string_view kUsesName = "\\uses";
constexpr char kDeviceSeparator = '/';
// Room for the devices a MAME list's machines name (most hold no ROM, so
// cost next to nothing) and the families near the game being copied; the
// rows held stay a few megabytes at most.
constexpr size_t kMaxHolders = 4096;
constexpr size_t kMaxHeldRows = 32768;
// A chain of parents and BIOS sets longer than this is a loop.
constexpr int kMaxChain = 8;

// What makes two ROMs of a family the same: crc + size compared as one
// text, as the CRC index files it, and for a row without a CRC its digests;
// the name follows behind its length so no two rows make the same key.
void presenceKey(std::string& out, const RomRow& rom) {
    out.assign(toLowerAscii(rom.crc));
    out += rom.size;
    if (rom.crc.empty()) {
        out.push_back('/');
        out += rom.sha1;
        out.push_back('/');
        out += rom.md5;
    }
    out.push_back('\0');
    out += std::to_string(rom.romName.size());
    out.push_back(':');
    out += rom.romName;
}

}  // namespace

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
    holders_.clear();
    heldRows_ = 0;
    if (scratch_.openDB() == StoreStatus::Ok) return true;
    context_.message(scratch_.lastError() + ". Nothing of " + context_.path() + " was imported.");
    return false;
}

StoreResult ScratchRomset::add(const DatRom& rom) {
    return context_.storeRom(scratch_, DatHeader{scratchGameKey(rom.game), {}, {}}, rom);
}

StoreResult ScratchRomset::addScratchRow(const RomRow& row) {
    if (scratch_.addRom(row)) return StoreResult::Stored;
    if (RowStore::encodeRow(row).empty()) return StoreResult::Skipped;
    context_.stopped(scratch_.lastError());
    return StoreResult::Failed;
}

StoreResult ScratchRomset::addSet(const DatSet& set) {
    // The set's ROMs have said why a name cannot be used.
    if (!isSafeGameName(set.game)) return StoreResult::Skipped;
    const std::string key = scratchGameKey(set.game);
    if (set.kind != SetKind::Game || !set.cloneOf.empty() || !set.romOf.empty()) {
        const GameFacts facts{set.game, set.kind, set.cloneOf, set.romOf};
        if (addScratchRow(Catalogue::factsRow(key, {}, {}, facts)) == StoreResult::Failed) return StoreResult::Failed;
    }
    std::vector<std::string> devices = set.devices;
    std::sort(devices.begin(), devices.end());
    devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
    // The names go as few rows as they fit in, '/' (which no game name
    // holds) between them: a MAME machine names dozens of devices.
    RomRow uses{.system = key, .game = set.game, .romName = std::string(kUsesName), .size = "-"};
    const auto flush = [&] {
        const bool failed = !uses.romOf.empty() && addScratchRow(uses) == StoreResult::Failed;
        uses.romOf.clear();
        return !failed;
    };
    for (const std::string& device : devices) {
        if (device == set.game || !isSafeGameName(device) || device.size() > RowStore::kMaxFieldLength) continue;
        if (uses.romOf.size() + 1 + device.size() > RowStore::kMaxFieldLength && !flush()) return StoreResult::Failed;
        if (!uses.romOf.empty()) uses.romOf.push_back(kDeviceSeparator);
        uses.romOf += device;
    }
    return flush() ? StoreResult::Stored : StoreResult::Failed;
}

ScratchRomset::ScratchGame ScratchRomset::readGame(const std::string& key) {
    ScratchGame game;
    scratch_.forEachSystemRowAndFacts(key, [&](const RomRow& row) {
        game.name = row.game;
        if (row.romName == kUsesName) {
            for (std::string_view rest = row.romOf; !rest.empty();) {
                const size_t end = std::min(rest.find(kDeviceSeparator), rest.size());
                game.devices.emplace_back(rest.substr(0, end));
                rest.remove_prefix(std::min(end + 1, rest.size()));
            }
        } else if (Catalogue::isFactsName(row.romName)) {
            game.hasFacts = true;
            game.facts = {row.game, Catalogue::kindOfFactsName(row.romName), row.cloneOf, row.romOf};
        } else {
            game.roms.push_back(row);
        }
    });
    return game;
}

const ScratchRomset::Holder& ScratchRomset::holder(const std::string& game) {
    if (const auto found = holders_.find(game); found != holders_.end()) return found->second;
    if (holders_.size() >= kMaxHolders || heldRows_ >= kMaxHeldRows) {
        holders_.clear();
        heldRows_ = 0;
    }
    Holder& held = holders_[game];
    std::string key;
    scratch_.forEachSystemRowAndFacts(scratchGameKey(game), [&](const RomRow& row) {
        if (row.game != game || row.romName == kUsesName) return;
        if (Catalogue::isFactsName(row.romName)) {
            held.cloneOf = row.cloneOf;
            held.romOf = row.romOf;
            return;
        }
        presenceKey(key, row);
        held.roms.insert(key);
        held.rows.push_back(row);
    });
    heldRows_ += held.rows.size();
    return held;
}

bool ScratchRomset::holds(const std::string& game, const RomRow& rom) {
    if (game.empty() || game == rom.game) return false;
    presenceKey(probe_, rom);
    return holder(game).roms.count(probe_) > 0;
}

void ScratchRomset::resolveReferences(const RomRow& rom, DatRom& out) {
    out.cloneOf.clear();
    out.romOf.clear();
    std::string at;
    bool bios = false;
    if (holds(rom.romOf, rom)) {
        at = rom.romOf;
        bios = true;
    } else if (holds(rom.cloneOf, rom)) {
        at = rom.cloneOf;
    } else {
        return;
    }
    for (int step = 0; step < kMaxChain; ++step) {
        // Copies: the next lookup may empty the cache.
        const std::string romOf = holder(at).romOf, cloneOf = holder(at).cloneOf;
        if (holds(romOf, rom)) {
            at = romOf;
            bios = true;
        } else if (holds(cloneOf, rom)) {
            at = cloneOf;
        } else {
            break;
        }
    }
    (bios ? out.romOf : out.cloneOf) = at;
}

void ScratchRomset::rowsOf(const ScratchGame& game, std::vector<DatRom>& out) {
    out.clear();
    std::unordered_set<std::string> listed;
    const auto take = [&](const RomRow& rom) {
        DatRom& row = out.emplace_back();
        row.game = rom.game;
        row.name = rom.romName;
        row.crc = rom.crc;
        row.size = rom.size;
        row.md5 = rom.md5;
        row.sha1 = rom.sha1;
        listed.insert(rom.romName + '\0' + toLowerAscii(rom.crc));
        return &row;
    };
    for (const RomRow& rom : game.roms) resolveReferences(rom, *take(rom));
    for (const std::string& device : game.devices) {
        for (const RomRow& deviceRom : holder(device).rows) {
            if (listed.count(deviceRom.romName + '\0' + toLowerAscii(deviceRom.crc))) continue;
            RomRow rom = deviceRom;
            rom.game = game.name;
            take(rom)->romOf = device;
        }
    }
}

bool ScratchRomset::copyIntoCategory(const DatHeader& header) {
    const std::vector<std::string> keys = scratch_.getSystems();
    ProgressThrottle& progress = context_.progress();
    progress.setMaximum(keys.size());
    std::vector<DatRom> rows;
    for (size_t i = 0; i < keys.size(); ++i) {
        progress.update(context_.path(), i);
        const ScratchGame game = readGame(keys[i]);
        rowsOf(game, rows);
        // A set with nothing to hold (a device without ROMs) needs no facts.
        if (rows.empty()) continue;
        if (game.hasFacts && context_.storeFacts(context_.category(), header, game.facts) == StoreResult::Failed)
            return false;
        for (const DatRom& row : rows)
            if (context_.storeRom(context_.category(), header, row) == StoreResult::Failed) return false;
    }
    progress.flush(context_.path(), keys.size());
    context_.finished();
    return true;
}

}  // namespace quorvane
