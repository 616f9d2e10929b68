#include "import/scratch_romset.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>

#include "catalogue/row_store.h"
#include "core/bounded_queue.h"
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
// Rows wait in memory up to this much, then go to the file in one write.
constexpr size_t kWriteBuffer = 1 << 20;
// Pass 2 hands games from its reading thread to the storing one in batches.
constexpr size_t kGamesPerBatch = 64;
constexpr size_t kBatchesAhead = 8;

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
    : context_(context), basePath_(context.settings().scratchDatabasePath()) {}

ScratchRomset::~ScratchRomset() { closeFile(); }

void ScratchRomset::closeFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    // Also the index files an older version or the desktop program made.
    RowStore(basePath_).deleteFiles();
}

bool ScratchRomset::open() {
    closeFile();
    games_.clear();
    lastRuns_ = nullptr;
    pending_.clear();
    end_ = 0;
    readError_.clear();
    holders_.clear();
    heldRows_ = 0;
    fd_ = ::open((basePath_ + ".rcf").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ >= 0) return true;
    context_.message("Cannot open database " + basePath_ + ": " + storeStatusText(StoreStatus::NotOpen) +
                     ". Nothing of " + context_.path() + " was imported.");
    return false;
}

StoreResult ScratchRomset::append(const RomRow& row) {
    return append(row.system, {row.system, row.game, row.crc, row.romName, row.size, row.md5, row.sha1, row.cloneOf,
                               row.romOf, row.version, row.author});
}

StoreResult ScratchRomset::append(const std::string& key, const RowStore::RowFields& fields) {
    const size_t start = pending_.size();
    if (!RowStore::appendRow(pending_, romStatusLetter(RomStatus::Missing), fields)) return StoreResult::Skipped;
    const size_t length = pending_.size() - start;
    if (!lastRuns_ || key != lastKey_) {
        lastRuns_ = &games_[key];
        lastKey_ = key;
    }
    // A run grows while its game's rows follow each other.
    if (!lastRuns_->empty() && lastRuns_->back().offset + lastRuns_->back().length == end_ &&
        lastRuns_->back().length <= UINT32_MAX - length)
        lastRuns_->back().length += static_cast<std::uint32_t>(length);
    else
        lastRuns_->push_back({end_, static_cast<std::uint32_t>(length)});
    end_ += length;
    if (pending_.size() >= kWriteBuffer && !flush()) return StoreResult::Failed;
    return StoreResult::Stored;
}

bool ScratchRomset::flush() {
    const char* at = pending_.data();
    size_t left = pending_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, at, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            context_.stopped("Cannot write " + basePath_ + ".rcf (" +
                             std::string(n < 0 ? std::strerror(errno) : "the disk is full") + ")");
            return false;
        }
        at += n;
        left -= static_cast<size_t>(n);
    }
    pending_.clear();
    return true;
}

StoreResult ScratchRomset::add(const DatRom& rom) {
    if (!context_.acceptNames(rom)) return StoreResult::Skipped;
    // The row as acceptRom() would make it, encoded straight from the DAT's fields.
    const std::string key = scratchGameKey(rom.game);
    const std::string size = Catalogue::normaliseSize(rom.size);
    const StoreResult result =
        append(key, {key, rom.game, rom.crc, rom.name, size, rom.md5, rom.sha1, rom.cloneOf, rom.romOf, {}, {}});
    if (result == StoreResult::Skipped) context_.rowTooLong(*context_.acceptRom(DatHeader{key, {}, {}}, rom));
    return result;
}

StoreResult ScratchRomset::addSet(const DatSet& set) {
    // The set's ROMs have said why a name cannot be used.
    if (!isSafeGameName(set.game)) return StoreResult::Skipped;
    const std::string key = scratchGameKey(set.game);
    if (set.kind != SetKind::Game || !set.cloneOf.empty() || !set.romOf.empty()) {
        const GameFacts facts{set.game, set.kind, set.cloneOf, set.romOf};
        if (append(Catalogue::factsRow(key, {}, {}, facts)) == StoreResult::Failed) return StoreResult::Failed;
    }
    std::vector<std::string> devices = set.devices;
    std::sort(devices.begin(), devices.end());
    devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
    // The names go as few rows as they fit in, '/' (which no game name
    // holds) between them: a MAME machine names dozens of devices.
    RomRow uses{.system = key, .game = set.game, .romName = std::string(kUsesName), .size = "-"};
    const auto flushUses = [&] {
        const bool failed = !uses.romOf.empty() && append(uses) == StoreResult::Failed;
        uses.romOf.clear();
        return !failed;
    };
    for (const std::string& device : devices) {
        if (device == set.game || !isSafeGameName(device) || device.size() > RowStore::kMaxFieldLength) continue;
        if (uses.romOf.size() + 1 + device.size() > RowStore::kMaxFieldLength && !flushUses())
            return StoreResult::Failed;
        if (!uses.romOf.empty()) uses.romOf.push_back(kDeviceSeparator);
        uses.romOf += device;
    }
    return flushUses() ? StoreResult::Stored : StoreResult::Failed;
}

template <typename Visit>
bool ScratchRomset::forEachRow(const std::string& key, Visit visit) {
    const auto found = games_.find(key);
    if (found == games_.end()) return true;
    RowStore::RowView view;
    for (const Run& run : found->second) {
        readBuffer_.resize(run.length);
        size_t got = 0;
        while (got < run.length) {
            const ssize_t n = ::pread(fd_, readBuffer_.data() + got, run.length - got,
                                      static_cast<off_t>(run.offset + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (readError_.empty())
                    readError_ = "Cannot read " + basePath_ + ".rcf (" +
                                 std::string(n < 0 ? std::strerror(errno) : "it was cut short") + ")";
                return false;
            }
            got += static_cast<size_t>(n);
        }
        for (size_t at = 0, used = 0; at < run.length; at += used) {
            if (!RowStore::parseRow(readBuffer_.data() + at, run.length - at, view, &used) || used == 0) {
                if (readError_.empty()) readError_ = "Cannot read " + basePath_ + ".rcf (a row is damaged)";
                return false;
            }
            visit(view);
        }
    }
    return true;
}

bool ScratchRomset::readGame(const std::string& key, ScratchGame& game) {
    game = {};
    RomRow row;
    return forEachRow(key, [&](const RowStore::RowView& view) {
        game.name.assign(view.game);
        if (view.romName == kUsesName) {
            for (std::string_view rest = view.romOf; !rest.empty();) {
                const size_t end = std::min(rest.find(kDeviceSeparator), rest.size());
                game.devices.emplace_back(rest.substr(0, end));
                rest.remove_prefix(std::min(end + 1, rest.size()));
            }
        } else if (Catalogue::isFactsName(view.romName)) {
            game.hasFacts = true;
            game.facts = {std::string(view.game), Catalogue::kindOfFactsName(view.romName), std::string(view.cloneOf),
                          std::string(view.romOf)};
        } else {
            RowStore::copyRow(view, row);
            game.roms.push_back(row);
        }
    });
}

const ScratchRomset::Holder& ScratchRomset::holder(const std::string& game) {
    if (const auto found = holders_.find(game); found != holders_.end()) return found->second;
    if (holders_.size() >= kMaxHolders || heldRows_ >= kMaxHeldRows) {
        holders_.clear();
        heldRows_ = 0;
    }
    Holder& held = holders_[game];
    std::string key;
    RomRow row;
    forEachRow(scratchGameKey(game), [&](const RowStore::RowView& view) {
        if (view.game != game || view.romName == kUsesName) return;
        if (Catalogue::isFactsName(view.romName)) {
            held.cloneOf.assign(view.cloneOf);
            held.romOf.assign(view.romOf);
            return;
        }
        RowStore::copyRow(view, row);
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

void ScratchRomset::resolveReferences(const RomRow& rom, RomRow& out) {
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

void ScratchRomset::rowsOf(const ScratchGame& game, const DatHeader& header, std::vector<RomRow>& out) {
    out.clear();
    std::unordered_set<std::string> listed;
    const auto take = [&](const RomRow& rom) {
        RomRow& row = out.emplace_back(rom);
        row.status = RomStatus::Missing;
        row.system = header.name;
        row.version = header.version;
        row.author = header.author;
        row.cloneOf.clear();
        row.romOf.clear();
        listed.insert(rom.romName + '\0' + toLowerAscii(rom.crc));
        return &row;
    };
    for (const RomRow& rom : game.roms) resolveReferences(rom, *take(rom));
    for (const std::string& device : game.devices) {
        for (const RomRow& deviceRom : holder(device).rows) {
            if (listed.count(deviceRom.romName + '\0' + toLowerAscii(deviceRom.crc))) continue;
            RomRow* row = take(deviceRom);
            row->game = game.name;
            row->romOf = device;
        }
    }
}

bool ScratchRomset::copyIntoCategory(const DatHeader& header) {
    if (!flush()) return false;
    std::vector<const std::string*> keys;
    keys.reserve(games_.size());
    for (const auto& [key, runs] : games_) keys.push_back(&key);
    // Bytewise, as the category's indexes order names.
    std::sort(keys.begin(), keys.end(), [](const std::string* a, const std::string* b) { return *a < *b; });

    // Storing into the category's indexes takes most of the time: a second
    // thread reads and resolves the games ahead, in order. Only this thread
    // speaks to the host.
    struct Prepared {
        bool hasFacts = false;
        GameFacts facts;
        std::vector<RomRow> rows;  // as the category takes them
    };
    using Batch = std::vector<Prepared>;
    BoundedQueue<Batch> queue(kBatchesAhead);
    std::thread reader([&] {
        Batch batch;
        ScratchGame game;
        for (const std::string* key : keys) {
            if (!readGame(*key, game)) break;
            Prepared& prepared = batch.emplace_back();
            rowsOf(game, header, prepared.rows);
            if (!readError_.empty()) break;
            prepared.hasFacts = game.hasFacts;
            prepared.facts = std::move(game.facts);
            if (batch.size() == kGamesPerBatch) {
                if (!queue.push(std::move(batch))) break;
                batch = {};
            }
        }
        // A batch cut short by a read error is dropped: the file stops there.
        if (readError_.empty() && !batch.empty()) queue.push(std::move(batch));
        queue.close();
    });

    ProgressThrottle& progress = context_.progress();
    progress.setMaximum(keys.size());
    size_t position = 0;
    bool stored = true;
    Batch batch;
    while (stored && queue.pop(batch)) {
        for (const Prepared& game : batch) {
            progress.update(context_.path(), position++);
            // A set with nothing to hold (a device without ROMs) needs no facts.
            if (game.rows.empty()) continue;
            stored = !(game.hasFacts &&
                       context_.storeFacts(context_.category(), header, game.facts) == StoreResult::Failed);
            for (size_t i = 0; stored && i < game.rows.size(); ++i)
                stored = context_.storeRow(context_.category(), game.rows[i]) != StoreResult::Failed;
            if (!stored) break;
        }
    }
    queue.close();
    reader.join();
    if (!stored) return false;
    if (!readError_.empty()) {
        context_.stopped(readError_);
        return false;
    }
    progress.flush(context_.path(), keys.size());
    context_.finished();
    return true;
}

}  // namespace quorvane
