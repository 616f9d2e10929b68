#include "catalogue/catalogue.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <deque>
#include <numeric>
#include <unordered_map>

#include "core/text.h"

namespace quorvane {

namespace {

constexpr auto parseOffset = &RowStore::parseOffset;

// What getRomset needs of every set to tell whether a game's BIOS is whole.
struct SetSummary {
    std::string_view cloneOf, romOf;
    bool hasRoms = false;
    bool allHave = true;
};
using SetSummaries = std::unordered_map<std::string_view, SetSummary>;

// The set a game boots from: its own BIOS, or its parent's (and so on up).
const SetSummary* biosOf(const SetSummaries& sets, std::string_view game, std::string_view& bios) {
    for (int step = 0; step < 8; ++step) {
        const auto at = sets.find(game);
        if (at == sets.end()) return nullptr;
        if (!at->second.romOf.empty()) {
            bios = at->second.romOf;
            const auto found = sets.find(bios);
            return found == sets.end() ? nullptr : &found->second;
        }
        if (at->second.cloneOf.empty()) return nullptr;
        game = at->second.cloneOf;
    }
    return nullptr;
}

// A facts row gives the game its kind; a ROM row adds a ROM.
void addRowTo(Game& game, const RowStore::RowView& view) {
    if (Catalogue::isFactsName(view.romName)) {
        game.kind = Catalogue::kindOfFactsName(view.romName);
        return;
    }
    game.appendRom(Rom{std::string(view.crc), std::string(view.romName), std::string(view.size),
                       std::string(1, view.status), std::string(view.md5), std::string(view.sha1),
                       std::string(view.cloneOf), std::string(view.romOf)});
}

// Each game's status letters, in the order its rows come. A game's rows
// mostly follow one another: each run of them is kept as it comes, and the
// runs of a game met more than once are joined when visited.
class GameLetters {
public:
    void add(std::string_view game, char letter) {
        if (romStatusFromLetter(letter) != RomStatus::Have) anyNotHave = true;
        if (runs_.empty() || nameOf(runs_.back()) != game) {
            runs_.push_back({names_.size(), game.size(), letters_.size(), 0});
            names_.append(game);
        }
        letters_.push_back(letter);
        ++runs_.back().letterCount;
    }
    // Each game once, in the order first met.
    void visit(const std::function<void(std::string_view letters)>& to) const {
        std::vector<std::uint32_t> order(runs_.size());
        std::iota(order.begin(), order.end(), 0u);
        auto byName = [this](std::uint32_t a, std::uint32_t b) { return nameOf(runs_[a]) < nameOf(runs_[b]); };
        // Games come sorted from most lists: then no name can come twice.
        const bool oncePerGame = std::adjacent_find(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
                                     return !byName(a, b);
                                 }) == order.end();
        if (oncePerGame) {
            for (const Run& run : runs_) to(lettersOf(run));
            return;
        }
        std::stable_sort(order.begin(), order.end(), byName);
        constexpr std::uint32_t kAlone = ~0u, kJoined = ~0u - 1;
        std::vector<std::uint32_t> joinedAt(runs_.size(), kAlone);
        std::vector<std::string> joined;
        for (size_t i = 0; i < order.size();) {
            size_t end = i + 1;
            while (end < order.size() && nameOf(runs_[order[end]]) == nameOf(runs_[order[i]])) ++end;
            if (end - i > 1) {
                std::string& all = joined.emplace_back();
                for (size_t k = i; k < end; ++k) {
                    all.append(lettersOf(runs_[order[k]]));
                    joinedAt[order[k]] = kJoined;
                }
                joinedAt[order[i]] = static_cast<std::uint32_t>(joined.size() - 1);
            }
            i = end;
        }
        for (size_t r = 0; r < runs_.size(); ++r) {
            if (joinedAt[r] == kAlone) to(lettersOf(runs_[r]));
            else if (joinedAt[r] != kJoined) to(joined[joinedAt[r]]);
        }
    }
    bool anyNotHave = false;

private:
    struct Run {
        size_t nameAt, nameSize, lettersAt, letterCount;
    };
    std::string_view nameOf(const Run& run) const { return std::string_view(names_).substr(run.nameAt, run.nameSize); }
    std::string_view lettersOf(const Run& run) const {
        return std::string_view(letters_).substr(run.lettersAt, run.letterCount);
    }
    std::string names_, letters_;
    std::vector<Run> runs_;
};

}  // namespace

class Catalogue::Session {
public:
    explicit Session(Catalogue& db) : db_(db), lock_(db.mutex_), ok_(db.openForOperation()) {}
    ~Session() {
        if (ok_) db_.closeAfterOperation();
    }
    bool ok() const { return ok_; }

private:
    Catalogue& db_;
    std::lock_guard<std::recursive_mutex> lock_;
    bool ok_;
};

Catalogue::Catalogue(const std::string& basePath) : store_(basePath) {}

Catalogue::~Catalogue() {
    std::lock_guard lock(mutex_);
    store_.close();
}

void Catalogue::setError(std::string text) { lastError_ = std::move(text); }

std::string Catalogue::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

bool Catalogue::lastOpenFoundDamage() const {
    std::lock_guard lock(mutex_);
    return lastOpenStatus_ == StoreStatus::Damaged;
}

bool Catalogue::openForOperation() {
    lastError_.clear();
    lastOpenStatus_ = StoreStatus::Ok;
    if (keptOpen_ && store_.isOpen()) return true;
    const StoreStatus result = store_.open();
    lastOpenStatus_ = result;
    if (result != StoreStatus::Ok) {
        setError("Cannot open database " + store_.basePath() + ": " + storeStatusText(result));
        return false;
    }
    return true;
}

void Catalogue::closeAfterOperation() {
    if (keptOpen_) return;
    const StoreStatus result = store_.close();
    if (result != StoreStatus::Ok && lastError_.empty())
        setError("Closing database " + store_.basePath() + " failed: " + storeStatusText(result));
}

StoreStatus Catalogue::openDB() {
    std::lock_guard lock(mutex_);
    lastError_.clear();
    keptOpen_ = true;
    const StoreStatus result = store_.open();
    if (result != StoreStatus::Ok)
        setError("Cannot open database " + store_.basePath() + ": " + storeStatusText(result));
    return result;
}

StoreStatus Catalogue::closeDB() {
    std::lock_guard lock(mutex_);
    keptOpen_ = false;
    crcTable_.clear();
    // A hold not written by now is dropped: its letters would outlive the rows they stand for.
    held_.reset();
    const StoreStatus result = store_.close();
    if (result != StoreStatus::Ok)
        setError("Closing database " + store_.basePath() + " failed: " + storeStatusText(result));
    return result;
}

StoreStatus Catalogue::commitDB() {
    std::lock_guard lock(mutex_);
    if (!keptOpen_) return StoreStatus::NotOpen;
    const StoreStatus result = store_.commit();
    if (result != StoreStatus::Ok) setError("Cannot write to database " + store_.basePath() + ": " + storeStatusText(result));
    return result;
}

bool Catalogue::probe() {
    Session s(*this);
    return s.ok();
}

std::string Catalogue::normaliseSize(const std::string& size) {
    if (size.empty() || size.size() > 20) return "-";
    bool nonZero = false;
    for (char c : size) {
        if (c < '0' || c > '9') return "-";
        if (c != '0') nonZero = true;
    }
    return nonZero ? size : "-";
}

bool Catalogue::addRom(const RomRow& row) {
    Session s(*this);
    if (!s.ok()) return false;
    StoreStatus result;
    if (row.status == RomStatus::Missing && normaliseSize(row.size) == row.size) {
        result = store_.insertRecord(row);
    } else {
        RomRow stored = row;
        stored.status = RomStatus::Missing;
        stored.size = normaliseSize(row.size);
        result = store_.insertRecord(stored);
    }
    if (result != StoreStatus::Ok) {
        setError("Cannot store ROM " + row.romName + " of game " + row.game + ": " + storeStatusText(result));
        return false;
    }
    return true;
}

void Catalogue::collectSystemRows(const std::string& system, std::vector<std::uint64_t>& offsets) {
    store_.sysIndex.findOffsets(system, offsets);
}

bool Catalogue::deleteSystem(const std::string& system) {
    Session s(*this);
    if (!s.ok()) return false;
    std::string data, key;
    RomRow row;
    bool ok = true;
    while (store_.sysIndex.find(system) == StoreStatus::Ok) {
        std::uint64_t offset;
        if (store_.sysIndex.read(data) != StoreStatus::Ok || !parseOffset(data, offset)) {
            // An unreadable entry is dropped so the loop cannot spin on it.
            if (store_.sysIndex.deleteCurrent() != StoreStatus::Ok) return false;
            continue;
        }
        if (store_.readRecord(offset, row) == StoreStatus::Ok) {
            if (store_.delIndex.insert(RowStore::sizeKey(row), data) != StoreStatus::Ok) ok = false;
            store_.removeIndexEntry(store_.gameIndex, RowStore::gameKey(row.system, row.game), data);
            const std::string crcKey = row.crc + row.size;
            if (store_.crcIndex.find(crcKey) == StoreStatus::Ok) {
                std::string entry;
                do {
                    if (store_.crcIndex.read(entry) == StoreStatus::Ok && entry == data) {
                        store_.crcIndex.deleteCurrent();
                        break;
                    }
                } while (store_.crcIndex.next(key) == StoreStatus::Ok && key == crcKey);
            }
        }
        // Re-find the system: the delete may have reshaped the tree.
        if (store_.sysIndex.find(system) != StoreStatus::Ok) break;
        if (store_.sysIndex.deleteCurrent() != StoreStatus::Ok) {
            setError("Cannot delete system " + system + ": an index could not be updated");
            return false;
        }
    }
    if (store_.sysCatIndex.find(system) == StoreStatus::Ok) store_.sysCatIndex.deleteCurrent();
    if (!ok) setError("Some freed rows of " + system + " could not be recorded for reuse");
    return ok;
}

std::string Catalogue::getSystemVersion(const std::string& system) {
    Session s(*this);
    if (!s.ok()) return "0";
    std::string data;
    std::uint64_t offset;
    RomRow row;
    if (store_.sysIndex.find(system) == StoreStatus::Ok && store_.sysIndex.read(data) == StoreStatus::Ok &&
        parseOffset(data, offset) && store_.readRecord(offset, row) == StoreStatus::Ok)
        return row.version;
    return "0";
}

bool Catalogue::hasSystem(const std::string& system) {
    Session s(*this);
    return s.ok() && store_.sysCatIndex.find(system) == StoreStatus::Ok;
}

void Catalogue::deleteDB() {
    std::lock_guard lock(mutex_);
    if (keptOpen_) {
        store_.close();
        keptOpen_ = false;
    }
    store_.close();
    store_.deleteFiles();
}

void Catalogue::cleanStatus() {
    Session s(*this);
    if (!s.ok()) return;
    std::string key, data;
    if (store_.sysIndex.first(key) == StoreStatus::Ok) {
        do {
            std::uint64_t offset;
            if (store_.sysIndex.read(data) == StoreStatus::Ok && parseOffset(data, offset))
                writeStatus(offset, RomStatus::Missing);
        } while (store_.sysIndex.next(key) == StoreStatus::Ok);
    }
    if (store_.sysCatIndex.first(key) == StoreStatus::Ok) {
        do {
            if (store_.sysCatIndex.read(data) != StoreStatus::Ok || data != "N") store_.sysCatIndex.updateCurrent("N");
        } while (store_.sysCatIndex.next(key) == StoreStatus::Ok);
    }
}

void Catalogue::cleanSystemStatus(const std::string& system) {
    Session s(*this);
    if (!s.ok()) return;
    std::vector<std::uint64_t> offsets;
    collectSystemRows(system, offsets);
    // Only rows not missing already are written: each write waits in memory
    // with the old bytes around it until the commit, and a big system whose
    // ROMs are mostly missing would hold its whole record file.
    const char missing = romStatusLetter(RomStatus::Missing);
    RowStore::RowBuffer buffer;
    RowStore::RowView view;
    for (std::uint64_t offset : offsets)
        if (readRow(offset, buffer, view) != StoreStatus::Ok || view.status != missing)
            writeStatus(offset, RomStatus::Missing);
    // Written only when it changes: an unchanged index costs the commit a sync.
    std::string old;
    if (store_.sysCatIndex.find(system) == StoreStatus::Ok &&
        (store_.sysCatIndex.read(old) != StoreStatus::Ok || old != "N"))
        store_.sysCatIndex.updateCurrent("N");
}

void Catalogue::holdSystemStatus(const std::string& system) {
    Session s(*this);
    if (!s.ok()) return;
    HeldStatuses held;
    collectSystemRows(system, held.offsets);
    // The index mostly gives them in order already.
    if (!std::is_sorted(held.offsets.begin(), held.offsets.end()))
        std::sort(held.offsets.begin(), held.offsets.end());
    held.offsets.erase(std::unique(held.offsets.begin(), held.offsets.end()), held.offsets.end());
    held.letters.assign(held.offsets.size(), romStatusLetter(RomStatus::Missing));
    const std::uint64_t last = held.offsets.empty() ? 0 : held.offsets.back();
    held.shift = std::bit_width(last / std::max<size_t>(held.offsets.size(), 1));
    held.bucketStart.resize(static_cast<size_t>(last >> held.shift) + 2);
    size_t i = 0;
    for (size_t b = 0; b < held.bucketStart.size(); ++b) {
        while (i < held.offsets.size() && (held.offsets[i] >> held.shift) < b) ++i;
        held.bucketStart[b] = static_cast<std::uint32_t>(i);
    }
    held.system = system;
    held_ = std::move(held);
    heldWrites_ = 0;
}

bool Catalogue::writeHeldStatus(const std::function<void(std::string_view letters)>& visitGames, bool* visited) {
    Session s(*this);
    if (!held_) return true;
    HeldStatuses held = std::move(*held_);
    held_.reset();
    heldWrites_ = 0;
    if (!s.ok()) return false;
    bool ok = true;
    GameLetters games;
    RowStore::RowBuffer buffer;
    RowStore::RowView view;
    for (size_t i = 0; i < held.offsets.size(); ++i) {
        const std::uint64_t offset = held.offsets[i];
        const char letter = held.letters[i];
        const bool read = store_.readRow(offset, buffer, view) == StoreStatus::Ok;
        if (read && visitGames && !isFactsName(view.romName)) games.add(view.game, letter);
        // As cleanSystemStatus: a row that cannot be read is written all the same.
        if (read && view.status == letter) continue;
        ++heldWrites_;
        if (store_.writeStatus(offset, romStatusFromLetter(letter).value_or(RomStatus::Missing)) != StoreStatus::Ok) {
            setError("Cannot write a status to " + store_.recordPath());
            ok = false;
        }
    }
    if (visitGames) {
        noteSystemState(held.system, games.anyNotHave);
        games.visit(visitGames);
        if (visited) *visited = true;
    }
    return ok;
}

char* Catalogue::heldLetter(std::uint64_t offset) {
    if (!held_) return nullptr;
    const size_t bucket = static_cast<size_t>(offset >> held_->shift);
    if (bucket + 1 >= held_->bucketStart.size()) return nullptr;
    const auto end = held_->offsets.begin() + held_->bucketStart[bucket + 1];
    const auto at = std::lower_bound(held_->offsets.begin() + held_->bucketStart[bucket], end, offset);
    if (at == end || *at != offset) return nullptr;
    return &held_->letters[static_cast<size_t>(at - held_->offsets.begin())];
}

StoreStatus Catalogue::readRow(std::uint64_t offset, RowStore::RowBuffer& buffer, RowStore::RowView& view,
                               size_t* length) {
    const StoreStatus result = store_.readRow(offset, buffer, view, length);
    if (result != StoreStatus::Ok) return result;
    if (const char* letter = heldLetter(offset)) view.status = buffer[0] = *letter;
    return result;
}

StoreStatus Catalogue::writeStatus(std::uint64_t offset, RomStatus status) {
    if (char* letter = heldLetter(offset)) {
        *letter = romStatusLetter(status);
        return StoreStatus::Ok;
    }
    return store_.writeStatus(offset, status);
}

std::vector<std::string> Catalogue::systemsWithStatus(const char* wanted) {
    std::vector<std::string> out;
    Session s(*this);
    if (!s.ok()) return out;
    std::string key, data;
    if (store_.sysCatIndex.first(key) == StoreStatus::Ok) {
        do {
            if (!wanted || (store_.sysCatIndex.read(data) == StoreStatus::Ok && data == wanted)) out.push_back(key);
        } while (store_.sysCatIndex.next(key) == StoreStatus::Ok);
    }
    return out;
}

std::vector<std::string> Catalogue::getSystems() { return systemsWithStatus(nullptr); }
std::vector<std::string> Catalogue::getIncompleteSystems() { return systemsWithStatus("N"); }
std::vector<std::string> Catalogue::getCompleteSystems() { return systemsWithStatus("C"); }

Romset Catalogue::getRomset(const std::string& system, int mode) {
    Romset romset(system);
    Session s(*this);
    if (!s.ok()) return romset;
    std::vector<std::uint64_t> offsets;
    collectSystemRows(system, offsets);
    // The rows' bytes back to back: a big system's rows take a fraction of
    // the memory as bytes that they take as records.
    std::string arena;
    struct Stored {
        size_t at, length;
        std::string_view game;
    };
    std::vector<Stored> rows;
    rows.reserve(offsets.size());
    bool anyNotHave = false;
    RowStore::RowBuffer buffer;
    RowStore::RowView view;
    for (std::uint64_t offset : offsets) {
        size_t length = 0;
        if (readRow(offset, buffer, view, &length) != StoreStatus::Ok) continue;
        if (romStatusFromLetter(view.status) != RomStatus::Have && !isFactsName(view.romName)) anyNotHave = true;
        rows.push_back({arena.size(), length, {}});
        arena.append(buffer, length);
    }
    // Only a system with facts rows has BIOS sets to look at.
    SetSummaries sets;
    bool anyFacts = false;
    for (Stored& row : rows) {
        RowStore::parseRow(arena.data() + row.at, row.length, view);
        row.game = view.game;
        anyFacts = anyFacts || isFactsName(view.romName);
    }
    if (anyFacts) {
        for (const Stored& row : rows) {
            RowStore::parseRow(arena.data() + row.at, row.length, view);
            SetSummary& set = sets[row.game];
            if (isFactsName(view.romName)) {
                set.cloneOf = view.cloneOf;
                set.romOf = view.romOf;
            } else {
                set.hasRoms = true;
                set.allHave = set.allHave && romStatusFromLetter(view.status) == RomStatus::Have;
            }
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Stored& a, const Stored& b) { return a.game < b.game; });

    auto offer = [&](Game&& game) {
        if (game.roms.empty()) return;  // facts alone: a set with nothing to hold
        std::string_view bios;
        if (const SetSummary* set = anyFacts ? biosOf(sets, game.name, bios) : nullptr) {
            game.bios.assign(bios);
            game.biosIncomplete = set->hasRoms && !set->allHave;
        }
        const GameState state = game.state();
        const bool keep = mode == 0 || (mode == 1 && state == GameState::Complete) ||
                          (mode == 2 && state == GameState::Missing) ||
                          (mode == 3 && state == GameState::Incomplete);
        if (keep) romset.games.push_back(std::move(game));
    };
    bool haveGame = false;
    Game current;
    for (const Stored& row : rows) {
        RowStore::parseRow(arena.data() + row.at, row.length, view);
        if (!haveGame || view.game != current.name) {
            if (haveGame) offer(std::move(current));
            current = Game(std::string(view.game));
            haveGame = true;
        }
        addRowTo(current, view);
    }
    if (haveGame) offer(std::move(current));

    noteSystemState(system, anyNotHave);
    return romset;
}

void Catalogue::noteSystemState(const std::string& system, bool anyNotHave) {
    // Written only when it changes: a listing should not cost a commit.
    const char* status = anyNotHave ? "N" : "C";
    std::string old;
    if (store_.sysCatIndex.find(system) == StoreStatus::Ok &&
        (store_.sysCatIndex.read(old) != StoreStatus::Ok || old != status))
        store_.sysCatIndex.updateCurrent(status);
}

Romset Catalogue::listGames(const std::string& system, int mode) {
    Romset romset(system);
    Session s(*this);
    if (!s.ok()) return romset;
    std::vector<std::uint64_t> offsets;
    collectSystemRows(system, offsets);
    struct Listed {
        Game game;
        std::string cloneOf, romOf;  // from the facts row
    };
    // A deque keeps each game where it is, so the map can key on its name.
    std::deque<Listed> games;
    std::unordered_map<std::string_view, Listed*> byName;
    Listed* last = nullptr;
    bool anyNotHave = false;
    bool anyFacts = false;
    RowStore::RowBuffer buffer;
    RowStore::RowView view;
    for (std::uint64_t offset : offsets) {
        if (readRow(offset, buffer, view) != StoreStatus::Ok) continue;
        // A game's rows mostly follow one another: the last game is asked first.
        Listed* listed = last && last->game.name == view.game ? last : nullptr;
        if (!listed) {
            if (const auto at = byName.find(view.game); at != byName.end()) {
                listed = at->second;
            } else {
                listed = &games.emplace_back(Listed{Game(std::string(view.game)), {}, {}});
                byName.emplace(listed->game.name, listed);
            }
        }
        last = listed;
        if (isFactsName(view.romName)) {
            anyFacts = true;
            listed->game.kind = kindOfFactsName(view.romName);
            listed->cloneOf.assign(view.cloneOf);
            listed->romOf.assign(view.romOf);
            continue;
        }
        if (romStatusFromLetter(view.status) != RomStatus::Have) anyNotHave = true;
        listed->game.statusString.push_back(view.status);
    }
    std::vector<std::uint64_t>().swap(offsets);
    SetSummaries sets;
    if (anyFacts) {
        for (const Listed& listed : games) {
            SetSummary& set = sets[listed.game.name];
            set.cloneOf = listed.cloneOf;
            set.romOf = listed.romOf;
            set.hasRoms = !listed.game.statusString.empty();
            set.allHave = listed.game.statusString.find_first_not_of(romStatusLetter(RomStatus::Have)) ==
                          std::string::npos;
        }
    }
    std::vector<Listed*> order;
    order.reserve(games.size());
    for (Listed& listed : games)
        if (!listed.game.statusString.empty()) order.push_back(&listed);  // facts alone: a set with nothing to hold
    std::sort(order.begin(), order.end(), [](const Listed* a, const Listed* b) { return a->game.name < b->game.name; });
    // The summaries name the games: every BIOS is found before any game moves.
    for (Listed* listed : order) {
        Game& game = listed->game;
        std::string_view bios;
        if (const SetSummary* set = anyFacts ? biosOf(sets, game.name, bios) : nullptr) {
            game.bios.assign(bios);
            game.biosIncomplete = set->hasRoms && !set->allHave;
        }
    }
    for (Listed* listed : order) {
        Game& game = listed->game;
        const GameState state = game.state();
        const bool keep = mode == 0 || (mode == 1 && state == GameState::Complete) ||
                          (mode == 2 && state == GameState::Missing) ||
                          (mode == 3 && state == GameState::Incomplete);
        if (keep) romset.games.push_back(std::move(game));
    }

    noteSystemState(system, anyNotHave);
    return romset;
}

void Catalogue::forEachGame(const std::string& system, const std::function<void(const Game& game)>& visit) {
    Session s(*this);
    if (!s.ok()) return;
    // First walk, in stored order: each row's game as a number. Second walk,
    // a game at a time in name order: its rows read again, its records made.
    struct Placed {
        std::uint64_t offset;
        std::uint32_t game;
    };
    std::vector<Placed> rows;
    std::deque<std::string> names;  // a deque keeps each name where it is, so the map can key on it
    {
        std::vector<std::uint64_t> offsets;
        collectSystemRows(system, offsets);
        rows.reserve(offsets.size());
        std::unordered_map<std::string_view, std::uint32_t> ids;
        RowStore::RowBuffer buffer;
        RowStore::RowView view;
        bool anyNotHave = false;
        for (std::uint64_t offset : offsets) {
            if (readRow(offset, buffer, view) != StoreStatus::Ok) continue;
            if (romStatusFromLetter(view.status) != RomStatus::Have && !isFactsName(view.romName)) anyNotHave = true;
            // A game's rows mostly follow one another: the last game is asked first.
            std::uint32_t id;
            if (!rows.empty() && names[rows.back().game] == view.game) {
                id = rows.back().game;
            } else if (const auto at = ids.find(view.game); at != ids.end()) {
                id = at->second;
            } else {
                id = static_cast<std::uint32_t>(names.size());
                ids.emplace(names.emplace_back(view.game), id);
            }
            rows.push_back({offset, id});
        }
        noteSystemState(system, anyNotHave);
    }
    std::vector<std::uint32_t> rank(names.size());
    {
        std::vector<std::uint32_t> order(names.size());
        for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return names[a] < names[b]; });
        for (std::uint32_t i = 0; i < order.size(); ++i) rank[order[i]] = i;
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const Placed& a, const Placed& b) { return rank[a.game] < rank[b.game]; });
    std::vector<std::uint32_t>().swap(rank);
    RowStore::RowBuffer buffer;
    RowStore::RowView view;
    for (size_t i = 0; i < rows.size();) {
        Game game(names[rows[i].game]);
        const std::uint32_t id = rows[i].game;
        for (; i < rows.size() && rows[i].game == id; ++i)
            if (readRow(rows[i].offset, buffer, view) == StoreStatus::Ok) addRowTo(game, view);
        if (!game.roms.empty()) visit(game);  // facts alone: a set with nothing to hold
    }
}

void Catalogue::forEachGameStatus(const std::string& system,
                                  const std::function<void(std::string_view letters)>& visit) {
    Session s(*this);
    if (!s.ok()) return;
    std::vector<std::uint64_t> offsets;
    collectSystemRows(system, offsets);
    GameLetters games;
    RowStore::RowBuffer buffer;
    RowStore::RowView view;
    for (std::uint64_t offset : offsets)
        if (readRow(offset, buffer, view) == StoreStatus::Ok && !isFactsName(view.romName))
            games.add(view.game, view.status);
    noteSystemState(system, games.anyNotHave);
    games.visit(visit);
}

bool Catalogue::getGame(const std::string& system, const std::string& game, Game& out) {
    out = Game(game);
    Session s(*this);
    if (!s.ok()) return false;
    std::vector<std::uint64_t> offsets;
    store_.gameIndex.findOffsets(RowStore::gameKey(system, game), offsets);
    RowStore::RowBuffer buffer;
    RowStore::RowView view;
    for (std::uint64_t offset : offsets) {
        // Long names cut to the same key: the row itself says whose it is.
        if (readRow(offset, buffer, view) != StoreStatus::Ok || view.system != system || view.game != game)
            continue;
        addRowTo(out, view);
    }
    return !out.roms.empty();
}

void Catalogue::collectCrcRows(const std::string& crc, const std::string& size) {
    // Written in place: every ROM a scan looks up comes through here.
    crcKey_.resize(crc.size() + size.size());
    char* key = crcKey_.data();
    for (size_t i = 0; i < crc.size(); ++i) {
        const char c = crc[i];
        key[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    std::copy(size.begin(), size.end(), key + crc.size());
    crcKeySize_ = size.size();
    crcOffsets_.clear();
    if (keptOpen_ && !crcTable_.mirrors(store_.crcIndex)) considerCrcTable();
    if (crcTable_.mirrors(store_.crcIndex)) crcTable_.find(crcKey_, crcOffsets_);
    else store_.crcIndex.findOffsets(crcKey_, crcOffsets_);
}

void Catalogue::considerCrcTable(bool lookingUp) {
    // A descent costs about as much as reading five or six rows' worth of
    // index in one walk (rows are 50 to 200 bytes), and a job that has made
    // a tenth of its lookups goes on to make the rest. The table holds 50 to
    // 100 bytes a key: a record file over 64 MiB (a million short rows or
    // more) is left to the tree rather than walked until kMaxRows stops it.
    constexpr std::uint64_t kRecordBytesPerLookup = 2048;
    constexpr std::uint64_t kMinLookups = 256;
    constexpr std::uint64_t kMaxRecordBytes = std::uint64_t{64} << 20;
    constexpr size_t kMaxRows = 1'000'000;
    // Only lookups since the index last changed count: a job that adds
    // rows between its lookups would stale each table it built.
    if (crcLookupsAt_ != store_.crcIndex.generation()) {
        crcLookupsAt_ = store_.crcIndex.generation();
        crcLookups_ = 0;
    }
    if (lookingUp) {
        if (crcExpected_ > 0) --crcExpected_;
        ++crcLookups_;
    }
    const std::uint64_t lookups = crcLookups_ + crcExpected_;
    const std::uint64_t bytes = store_.recordBytes();
    if (lookups < kMinLookups || lookups * kRecordBytesPerLookup < bytes || bytes > kMaxRecordBytes ||
        crcTableRefusedAt_ == store_.crcIndex.generation())
        return;
    crcLookups_ = 0;
    crcExpected_ = 0;
    if (!crcTable_.build(store_.crcIndex, kMaxRows)) crcTableRefusedAt_ = store_.crcIndex.generation();
}

void Catalogue::expectCrcLookups(std::uint64_t count) {
    std::lock_guard lock(mutex_);
    crcExpected_ = count;
    if (keptOpen_ && store_.isOpen() && !crcTable_.mirrors(store_.crcIndex)) considerCrcTable(false);
}

bool Catalogue::filedUnderCrc(std::string_view rowCrc) const {
    return rowCrc == std::string_view(crcKey_).substr(0, crcKey_.size() - crcKeySize_);
}

int Catalogue::findRom(std::vector<RomMatch>& list, const std::string& crc, const std::string& size,
                        const std::string& md5, const std::string& sha1) {
    findMatching(list, crc, size, md5, sha1, false);
    return 0;
}

int Catalogue::findRows(std::vector<RomMatch>& list, const std::string& crc, const std::string& size,
                         const std::string& md5, const std::string& sha1, std::vector<std::uint64_t>* offsets) {
    findMatching(list, crc, size, md5, sha1, true, offsets);
    return 0;
}

void Catalogue::setRowStatus(std::uint64_t offset, RomStatus status) {
    Session s(*this);
    if (s.ok() && writeStatus(offset, status) != StoreStatus::Ok)
        setError("Cannot write a status to " + store_.recordPath());
}

void Catalogue::findMatching(std::vector<RomMatch>& list, const std::string& crc, const std::string& size,
                             const std::string& md5, const std::string& sha1, bool withReferences,
                             std::vector<std::uint64_t>* offsets) {
    Session s(*this);
    if (!s.ok()) return;
    const bool byDigest = crc.empty();
    if (byDigest && md5.empty() && sha1.empty()) return;
    collectCrcRows(crc, size);
    if (withReferences) list.reserve(list.size() + crcOffsets_.size());
    RowStore::RowBuffer buffer;
    RowStore::RowView row;
    for (std::uint64_t offset : crcOffsets_) {
        if (readRow(offset, buffer, row) != StoreStatus::Ok || !filedUnderCrc(row.crc)) continue;
        if (!digestsAnswer(md5, sha1, row.md5, row.sha1, byDigest) || isFactsName(row.romName)) continue;
        const bool referenced = !row.cloneOf.empty() || !row.romOf.empty();
        if (referenced && !withReferences) continue;
        list.emplace_back(std::string(row.romName), std::string(row.game), std::string(row.system),
                          std::string(1, row.status), std::string(row.md5), std::string(row.sha1),
                          withReferences ? std::string(row.cloneOf) : std::string(),
                          withReferences ? std::string(row.romOf) : std::string());
        if (offsets) offsets->push_back(offset);
    }
}

bool Catalogue::digestsAnswer(std::string_view md5, std::string_view sha1, std::string_view rowMd5,
                              std::string_view rowSha1, bool byDigest) {
    const bool md5Agrees = md5.empty() || rowMd5.empty() || md5 == rowMd5;
    const bool sha1Agrees = sha1.empty() || rowSha1.empty() || sha1 == rowSha1;
    if (!md5Agrees || !sha1Agrees) return false;
    // Without a CRC, a digest present on both sides is the whole evidence.
    return !byDigest || (!md5.empty() && md5 == rowMd5) || (!sha1.empty() && sha1 == rowSha1);
}

namespace {
// Fills the next of `used` rows of `out`, reusing an earlier row's strings:
// a scan fills the same few rows for every ROM it looks up.
void putFiledRow(std::vector<Catalogue::FiledRow>& out, size_t& used, const RowStore::RowView& row,
                 std::uint64_t offset) {
    Catalogue::FiledRow& filed = used < out.size() ? out[used] : out.emplace_back();
    ++used;
    filed.offset = offset;
    RomMatch& m = filed.row;
    m.name.assign(row.romName);
    m.game.assign(row.game);
    m.system.assign(row.system);
    m.status.assign(1, row.status);
    m.foundIn.archivePath.clear();
    m.md5.assign(row.md5);
    m.sha1.assign(row.sha1);
    m.cloneOf.assign(row.cloneOf);
    m.romOf.assign(row.romOf);
}
}  // namespace

void Catalogue::rowsFiledUnder(const std::string& crc, const std::string& size, std::vector<FiledRow>& out) {
    size_t used = 0;
    Session s(*this);
    if (s.ok()) {
        collectCrcRows(crc, size);
        RowStore::RowBuffer buffer;
        RowStore::RowView row;
        for (std::uint64_t offset : crcOffsets_) {
            if (readRow(offset, buffer, row) != StoreStatus::Ok || !filedUnderCrc(row.crc) ||
                isFactsName(row.romName))
                continue;
            putFiledRow(out, used, row, offset);
        }
    }
    out.resize(used);
}

void Catalogue::rowViewsFiledUnder(const std::string& crc, const std::string& size, FiledViews& out) {
    out.rows.clear();
    out.offsets.clear();
    Session s(*this);
    if (!s.ok()) return;
    collectCrcRows(crc, size);
    RowStore::RowView row;
    for (std::uint64_t offset : crcOffsets_) {
        if (out.buffers.size() == out.rows.size()) out.buffers.emplace_back();
        if (readRow(offset, out.buffers[out.rows.size()].bytes, row) != StoreStatus::Ok || !filedUnderCrc(row.crc) ||
            isFactsName(row.romName))
            continue;
        out.rows.push_back(row);
        out.offsets.push_back(offset);
    }
}

bool Catalogue::rowsAt(const std::vector<std::uint64_t>& offsets, std::vector<FiledRow>& out) {
    size_t used = 0;
    Session s(*this);
    bool ok = s.ok();
    RowStore::RowBuffer buffer;
    RowStore::RowView row;
    for (size_t i = 0; ok && i < offsets.size(); ++i) {
        ok = readRow(offsets[i], buffer, row) == StoreStatus::Ok && !isFactsName(row.romName);
        if (ok) putFiledRow(out, used, row, offsets[i]);
    }
    out.resize(used);
    return ok;
}

void Catalogue::markRowsAt(const std::vector<std::uint64_t>& offsets, RomStatus status) {
    if (offsets.empty()) return;
    Session s(*this);
    if (!s.ok()) return;
    RowStore::RowBuffer buffer;
    RowStore::RowView row;
    for (std::uint64_t offset : offsets) {
        // A held row needs no reading: its letter is set in memory either way.
        if (char* letter = heldLetter(offset)) {
            *letter = romStatusLetter(status);
            continue;
        }
        if (readRow(offset, buffer, row) != StoreStatus::Ok || row.status == romStatusLetter(status)) continue;
        if (writeStatus(offset, status) != StoreStatus::Ok)
            setError("Cannot write a status to " + store_.recordPath());
    }
}

std::string Catalogue::rowsStamp() {
    // The system-status index is left out: every scan rewrites it.
    std::string stamp;
    for (const std::string& path : store_.filePaths()) {
        if (path.ends_with("_sysCat.idx")) continue;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return {};
        const bool records = path == store_.recordPath();
        stamp += std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino) + ':' + std::to_string(st.st_size);
        // The record file takes every status write: its size and inode say enough.
        if (!records)
            stamp += ':' + std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec) + ':' +
                     std::to_string(st.st_ctim.tv_sec) + '.' + std::to_string(st.st_ctim.tv_nsec);
        stamp += ';';
    }
    return stamp;
}

void Catalogue::markRows(const std::string& crc, const std::string& size, RomStatus status,
                         const std::function<bool(const RomMatch& row)>& wanted) {
    Session s(*this);
    if (!s.ok()) return;
    collectCrcRows(crc, size);
    RowStore::RowBuffer buffer;
    RowStore::RowView row;
    RomMatch match;
    for (std::uint64_t offset : crcOffsets_) {
        if (readRow(offset, buffer, row) != StoreStatus::Ok || row.status == romStatusLetter(status) ||
            !filedUnderCrc(row.crc) || isFactsName(row.romName))
            continue;
        match.name.assign(row.romName);
        match.game.assign(row.game);
        match.system.assign(row.system);
        match.cloneOf.assign(row.cloneOf);
        match.romOf.assign(row.romOf);
        if (wanted(match) && writeStatus(offset, status) != StoreStatus::Ok)
            setError("Cannot write a status to " + store_.recordPath());
    }
}

std::string_view Catalogue::factsNameOf(SetKind kind) {
    switch (kind) {
        case SetKind::Bios: return "\\bios";
        case SetKind::Device: return "\\device";
        case SetKind::Game: break;
    }
    return "\\game";
}

SetKind Catalogue::kindOfFactsName(std::string_view romName) {
    return romName == "\\bios" ? SetKind::Bios : romName == "\\device" ? SetKind::Device : SetKind::Game;
}

RomRow Catalogue::factsRow(const std::string& system, const std::string& version, const std::string& author,
                           const GameFacts& facts) {
    return RomRow{.system = system,
                  .game = facts.game,
                  .romName = std::string(factsNameOf(facts.kind)),
                  .size = "-",
                  .cloneOf = facts.cloneOf,
                  .romOf = facts.romOf,
                  .version = version,
                  .author = author};
}

bool Catalogue::addGameFacts(const std::string& system, const std::string& version, const std::string& author,
                             const GameFacts& facts) {
    return addRom(factsRow(system, version, author, facts));
}

std::vector<GameFacts> Catalogue::gameFacts(const std::string& system) {
    std::vector<GameFacts> out;
    Session s(*this);
    if (!s.ok()) return out;
    std::vector<std::uint64_t> offsets;
    collectSystemRows(system, offsets);
    RowStore::RowBuffer buffer;
    RowStore::RowView row;
    for (std::uint64_t offset : offsets) {
        if (readRow(offset, buffer, row) != StoreStatus::Ok || !isFactsName(row.romName)) continue;
        GameFacts& facts = out.emplace_back();
        facts.game.assign(row.game);
        facts.kind = kindOfFactsName(row.romName);
        facts.cloneOf.assign(row.cloneOf);
        facts.romOf.assign(row.romOf);
    }
    return out;
}

DigestKinds Catalogue::digestsOfCrcLessRows(const std::string& size) {
    DigestKinds kinds;
    Session s(*this);
    if (!s.ok()) return kinds;
    collectCrcRows({}, size);
    RowStore::RowBuffer buffer;
    RowStore::RowView row;
    for (std::uint64_t offset : crcOffsets_) {
        if (readRow(offset, buffer, row) != StoreStatus::Ok || !row.crc.empty()) continue;
        kinds.md5 = kinds.md5 || !row.md5.empty();
        kinds.sha1 = kinds.sha1 || !row.sha1.empty();
    }
    return kinds;
}

int Catalogue::countRom(int& count, const std::string& crc, const std::string& size, const std::string& romName,
                         const std::string& game, const std::string& system) {
    count = 0;
    Session s(*this);
    if (!s.ok()) return 0;
    collectCrcRows(crc, size);
    RowStore::RowBuffer buffer;
    RowStore::RowView row;
    for (std::uint64_t offset : crcOffsets_)
        if (readRow(offset, buffer, row) == StoreStatus::Ok && filedUnderCrc(row.crc) &&
            row.romName == romName && row.game == game && row.system == system)
            ++count;
    return 0;
}

void Catalogue::markStatus(const std::string& crc, const std::string& size, const std::string& romName,
                           const std::string& game, const std::string& system, RomStatus status) {
    Session s(*this);
    if (!s.ok()) return;
    collectCrcRows(crc, size);
    RowStore::RowBuffer buffer;
    RowStore::RowView row;
    for (std::uint64_t offset : crcOffsets_) {
        if (readRow(offset, buffer, row) != StoreStatus::Ok || row.status == romStatusLetter(status) ||
            !filedUnderCrc(row.crc) || isFactsName(row.romName))
            continue;
        const bool exact = row.romName == romName && row.game == game && row.system == system;
        const bool inParentSet = row.system == system && (row.cloneOf == game || row.romOf == game);
        if (exact || inParentSet) {
            if (writeStatus(offset, status) != StoreStatus::Ok)
                setError("Cannot write a status to " + store_.recordPath());
        }
    }
}

void Catalogue::setHave(const std::string& crc, const std::string& size, const std::string& romName,
                         const std::string& game, const std::string& system) {
    markStatus(crc, size, romName, game, system, RomStatus::Have);
}

void Catalogue::setPresent(const std::string& crc, const std::string& size, const std::string& romName,
                            const std::string& game, const std::string& system) {
    markStatus(crc, size, romName, game, system, RomStatus::Present);
}

std::string Catalogue::getCount(int kind) {
    if (kind != 1 && kind != 2) return "0";
    Session s(*this);
    if (!s.ok()) return "0";
    KeyIndex& index = kind == 1 ? store_.crcIndex : store_.sysCatIndex;
    long long count = 0;
    std::string key, data;
    RowStore::RowBuffer buffer;
    RowStore::RowView row;
    std::uint64_t offset;
    if (index.first(key) == StoreStatus::Ok) {
        do {
            // Facts rows, filed with no CRC and no size, are no ROMs.
            const bool factsKey = kind == 1 && key == "-";
            if (factsKey && index.read(data) == StoreStatus::Ok && parseOffset(data, offset) &&
                readRow(offset, buffer, row) == StoreStatus::Ok && isFactsName(row.romName))
                continue;
            ++count;
        } while (index.next(key) == StoreStatus::Ok);
    }
    return std::to_string(count);
}

void Catalogue::visitSystemRows(const std::string& system, bool withFacts,
                                const std::function<void(const RomRow&)>& visit) {
    Session s(*this);
    if (!s.ok()) return;
    std::vector<std::uint64_t> offsets;
    collectSystemRows(system, offsets);
    RomRow row;
    for (std::uint64_t offset : offsets)
        if (store_.readRecord(offset, row) == StoreStatus::Ok && (withFacts || !isFactsName(row.romName))) visit(row);
}

void Catalogue::forEachSystemRow(const std::string& system, const std::function<void(const RomRow&)>& visit) {
    visitSystemRows(system, false, visit);
}

void Catalogue::forEachSystemRowAndFacts(const std::string& system, const std::function<void(const RomRow&)>& visit) {
    visitSystemRows(system, true, visit);
}

void Catalogue::forEachRow(const std::function<void(const RomRow&)>& visit) {
    Session s(*this);
    if (!s.ok()) return;
    std::vector<std::uint64_t> offsets;
    std::string key, data;
    if (store_.sysIndex.first(key) == StoreStatus::Ok) {
        do {
            std::uint64_t offset;
            if (store_.sysIndex.read(data) == StoreStatus::Ok && parseOffset(data, offset)) offsets.push_back(offset);
        } while (store_.sysIndex.next(key) == StoreStatus::Ok);
    }
    RomRow row;
    for (std::uint64_t offset : offsets)
        if (store_.readRecord(offset, row) == StoreStatus::Ok && !isFactsName(row.romName)) visit(row);
}

}  // namespace quorvane
