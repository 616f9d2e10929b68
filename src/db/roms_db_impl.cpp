#include "db/roms_db_impl.h"

#include <algorithm>

#include "core/text.h"

namespace quorvane {

namespace {

constexpr auto parseOffset = &table::parseOffset;

}  // namespace

std::string RomsDBImpl::describe(int code) {
    switch (code) {
        case table::kNotOpen: return "the record file cannot be opened or created";
        case table::kRowTooLarge: return "a field is longer than 255 bytes or the row longer than 1024 bytes";
        case table::kWriteFailed: return "writing the record file failed";
        case table::kInUse: return "it is in use by another Quorvane process";
        case table::kBadRow: return "a row is damaged";
        case table::kIndexFailed: return "an index could not be updated";
        case table::kReadOnly: return "it is read-only";
        case table::kRollbackFailed:
            return "it is damaged: a change cut short by a crash cannot be rolled back (is the folder writable?)";
        case btreeImpl::kDamaged: return "it is damaged (quorvane check tells more; quorvane repair mends it)";
        case btreeImpl::kOpenFailed: return "an index file cannot be opened for writing (read-only?)";
        case btreeImpl::kFlushFailed: return "an index file could not be written";
        case btreeImpl::kCloseFailed: return "an index file could not be closed";
        default: return "error " + std::to_string(code);
    }
}

class RomsDBImpl::Session {
public:
    explicit Session(RomsDBImpl& db) : db_(db), lock_(db.mutex_), ok_(db.openForOperation()) {}
    ~Session() {
        if (ok_) db_.closeAfterOperation();
    }
    bool ok() const { return ok_; }

private:
    RomsDBImpl& db_;
    std::lock_guard<std::recursive_mutex> lock_;
    bool ok_;
};

RomsDBImpl::RomsDBImpl(const std::string& basePath) : table_(basePath) {}

RomsDBImpl::~RomsDBImpl() {
    std::lock_guard lock(mutex_);
    table_.close();
}

void RomsDBImpl::setError(std::string text) { lastError_ = std::move(text); }

std::string RomsDBImpl::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

bool RomsDBImpl::lastOpenFoundDamage() const {
    std::lock_guard lock(mutex_);
    return lastOpenStatus_ == btreeImpl::kDamaged;
}

bool RomsDBImpl::openForOperation() {
    lastError_.clear();
    lastOpenStatus_ = 0;
    if (keptOpen_ && table_.isOpen()) return true;
    const int result = table_.open();
    lastOpenStatus_ = result;
    if (result != 0) {
        setError("Cannot open database " + table_.basePath() + ": " + RomsDBImpl::describe(result));
        return false;
    }
    return true;
}

void RomsDBImpl::closeAfterOperation() {
    if (keptOpen_) return;
    const int result = table_.close();
    if (result != 0 && lastError_.empty())
        setError("Closing database " + table_.basePath() + " failed: " + RomsDBImpl::describe(result));
}

int RomsDBImpl::openDB() {
    std::lock_guard lock(mutex_);
    lastError_.clear();
    keptOpen_ = true;
    const int result = table_.open();
    if (result != 0) setError("Cannot open database " + table_.basePath() + ": " + RomsDBImpl::describe(result));
    return result;
}

int RomsDBImpl::closeDB() {
    std::lock_guard lock(mutex_);
    keptOpen_ = false;
    const int result = table_.close();
    if (result != 0) setError("Closing database " + table_.basePath() + " failed: " + RomsDBImpl::describe(result));
    return result;
}

bool RomsDBImpl::probe() {
    Session s(*this);
    return s.ok();
}

std::string RomsDBImpl::normaliseSize(const std::string& size) {
    if (size.empty() || size.size() > 20) return "-";
    bool nonZero = false;
    for (char c : size) {
        if (c < '0' || c > '9') return "-";
        if (c != '0') nonZero = true;
    }
    return nonZero ? size : "-";
}

bool RomsDBImpl::addRom(const std::string& system, const std::string& version, const std::string& author,
                        const std::string& game, const std::string& crc, const std::string& romName,
                        const std::string& size, const std::string& md5, const std::string& sha1,
                        const std::string& cloneOf, const std::string& romOf) {
    Session s(*this);
    if (!s.ok()) return false;
    SimpleRecord r;
    r.status = kStatusMissing;
    r.system = system;
    r.version = version;
    r.author = author;
    r.game = game;
    r.crc = crc;
    r.romName = romName;
    r.size = normaliseSize(size);
    r.md5 = md5;
    r.sha1 = sha1;
    r.cloneOf = cloneOf;
    r.romOf = romOf;
    const int result = table_.insertRecord(r);
    if (result != 0) {
        setError("Cannot store ROM " + romName + " of game " + game + ": " + RomsDBImpl::describe(result));
        return false;
    }
    return true;
}

void RomsDBImpl::collectSystemRows(const std::string& system, std::vector<std::uint64_t>& offsets) {
    std::string key, data;
    if (table_.sysIndex.find(system) != 0) return;
    do {
        std::uint64_t offset;
        if (table_.sysIndex.read(data) > 0 && parseOffset(data, offset)) offsets.push_back(offset);
    } while (table_.sysIndex.next(key) == 0 && key == system);
}

bool RomsDBImpl::deleteSystem(const std::string& system) {
    Session s(*this);
    if (!s.ok()) return false;
    std::string data, key;
    SimpleRecord row;
    bool ok = true;
    while (table_.sysIndex.find(system) == 0) {
        std::uint64_t offset;
        if (table_.sysIndex.read(data) <= 0 || !parseOffset(data, offset)) {
            // An unreadable entry is dropped so the loop cannot spin on it.
            if (table_.sysIndex.deleteCurrent() != 0) return false;
            continue;
        }
        if (table_.readRecord(offset, row) == 0) {
            if (table_.delIndex.insert(table::sizeKey(row), data) != 0) ok = false;
            const std::string crcKey = row.crc + row.size;
            if (table_.crcIndex.find(crcKey) == 0) {
                std::string entry;
                do {
                    if (table_.crcIndex.read(entry) > 0 && entry == data) {
                        table_.crcIndex.deleteCurrent();
                        break;
                    }
                } while (table_.crcIndex.next(key) == 0 && key == crcKey);
            }
        }
        // Re-find the system: the delete may have reshaped the tree.
        if (table_.sysIndex.find(system) != 0) break;
        if (table_.sysIndex.deleteCurrent() != 0) {
            setError("Cannot delete system " + system + ": an index could not be updated");
            return false;
        }
    }
    if (table_.sysCatIndex.find(system) == 0) table_.sysCatIndex.deleteCurrent();
    if (!ok) setError("Some freed rows of " + system + " could not be recorded for reuse");
    return ok;
}

std::string RomsDBImpl::getSystemVersion(const std::string& system) {
    Session s(*this);
    if (!s.ok()) return "0";
    std::string data;
    std::uint64_t offset;
    SimpleRecord row;
    if (table_.sysIndex.find(system) == 0 && table_.sysIndex.read(data) > 0 && parseOffset(data, offset) &&
        table_.readRecord(offset, row) == 0)
        return row.version;
    return "0";
}

bool RomsDBImpl::hasSystem(const std::string& system) {
    Session s(*this);
    return s.ok() && table_.sysCatIndex.find(system) == 0;
}

void RomsDBImpl::deleteDB() {
    std::lock_guard lock(mutex_);
    if (keptOpen_) {
        table_.close();
        keptOpen_ = false;
    }
    table_.close();
    table_.deleteFiles();
}

void RomsDBImpl::cleanStatus() {
    Session s(*this);
    if (!s.ok()) return;
    std::string key, data;
    if (table_.sysIndex.first(key) == 0) {
        do {
            std::uint64_t offset;
            if (table_.sysIndex.read(data) > 0 && parseOffset(data, offset))
                table_.writeStatus(offset, kStatusMissing);
        } while (table_.sysIndex.next(key) == 0);
    }
    if (table_.sysCatIndex.first(key) == 0) {
        do {
            if (table_.sysCatIndex.read(data) <= 0 || data != "N") table_.sysCatIndex.updateCurrent("N");
        } while (table_.sysCatIndex.next(key) == 0);
    }
}

void RomsDBImpl::cleanSystemStatus(const std::string& system) {
    Session s(*this);
    if (!s.ok()) return;
    std::vector<std::uint64_t> offsets;
    collectSystemRows(system, offsets);
    for (std::uint64_t offset : offsets) table_.writeStatus(offset, kStatusMissing);
    // Written only when it changes: an unchanged index costs the commit a sync.
    std::string old;
    if (table_.sysCatIndex.find(system) == 0 && (table_.sysCatIndex.read(old) <= 0 || old != "N"))
        table_.sysCatIndex.updateCurrent("N");
}

std::vector<std::string> RomsDBImpl::systemsWithStatus(const char* wanted) {
    std::vector<std::string> out;
    Session s(*this);
    if (!s.ok()) return out;
    std::string key, data;
    if (table_.sysCatIndex.first(key) == 0) {
        do {
            if (!wanted || (table_.sysCatIndex.read(data) > 0 && data == wanted)) out.push_back(key);
        } while (table_.sysCatIndex.next(key) == 0);
    }
    return out;
}

std::vector<std::string> RomsDBImpl::getSystems() { return systemsWithStatus(nullptr); }
std::vector<std::string> RomsDBImpl::getIncompleteSystems() { return systemsWithStatus("N"); }
std::vector<std::string> RomsDBImpl::getCompleteSystems() { return systemsWithStatus("C"); }

Romset RomsDBImpl::getRomset(const std::string& system, int mode) {
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
    table::RowBuffer buffer;
    table::RowView view;
    for (std::uint64_t offset : offsets) {
        size_t length = 0;
        if (table_.readRow(offset, buffer, view, &length) != 0) continue;
        if (view.status != kStatusHave) anyNotHave = true;
        rows.push_back({arena.size(), length, {}});
        arena.append(buffer, length);
    }
    for (Stored& row : rows) {
        table::parseRow(arena.data() + row.at, row.length, view);
        row.game = view.game;
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Stored& a, const Stored& b) { return a.game < b.game; });

    auto offer = [&](Game&& game) {
        const GameState state = game.state();
        const bool keep = mode == 0 || (mode == 1 && state == GameState::Complete) ||
                          (mode == 2 && state == GameState::Missing) ||
                          (mode == 3 && state == GameState::Incomplete);
        if (keep) romset.games.push_back(std::move(game));
    };
    bool haveGame = false;
    Game current;
    for (const Stored& row : rows) {
        table::parseRow(arena.data() + row.at, row.length, view);
        if (!haveGame || view.game != current.name) {
            if (haveGame) offer(std::move(current));
            current = Game(std::string(view.game));
            haveGame = true;
        }
        current.appendRom(Rom{std::string(view.crc), std::string(view.romName), std::string(view.size),
                              std::string(1, view.status), std::string(view.md5), std::string(view.sha1),
                              std::string(view.cloneOf), std::string(view.romOf)});
    }
    if (haveGame) offer(std::move(current));

    // Written only when it changes: a listing should not cost a commit.
    const char* status = anyNotHave ? "N" : "C";
    std::string old;
    if (table_.sysCatIndex.find(system) == 0 && (table_.sysCatIndex.read(old) <= 0 || old != status))
        table_.sysCatIndex.updateCurrent(status);
    return romset;
}

void RomsDBImpl::collectCrcRows(const std::string& crc, const std::string& size) {
    crcKey_.clear();
    crcKey_.reserve(crc.size() + size.size());
    for (char c : crc) crcKey_.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    crcKey_ += size;
    crcOffsets_.clear();
    table_.crcIndex.findOffsets(crcKey_, crcOffsets_);
}

int RomsDBImpl::findRom(std::vector<GenericRom>& list, const std::string& crc, const std::string& size,
                        const std::string& md5, const std::string& sha1) {
    Session s(*this);
    if (!s.ok()) return 0;
    collectCrcRows(crc, size);
    table::RowBuffer buffer;
    table::RowView row;
    for (std::uint64_t offset : crcOffsets_) {
        if (table_.readRow(offset, buffer, row) != 0) continue;
        const bool md5Agrees = md5.empty() || row.md5.empty() || md5 == row.md5;
        const bool sha1Agrees = sha1.empty() || row.sha1.empty() || sha1 == row.sha1;
        if (!md5Agrees || !sha1Agrees) continue;
        if (!row.cloneOf.empty() || !row.romOf.empty()) continue;
        list.emplace_back(std::string(row.romName), std::string(row.game), std::string(row.system),
                          std::string(1, row.status), std::string(row.md5), std::string(row.sha1), std::string(),
                          std::string());
    }
    return 0;
}

int RomsDBImpl::countRom(int& count, const std::string& crc, const std::string& size, const std::string& romName,
                         const std::string& game, const std::string& system) {
    count = 0;
    Session s(*this);
    if (!s.ok()) return 0;
    collectCrcRows(crc, size);
    table::RowBuffer buffer;
    table::RowView row;
    for (std::uint64_t offset : crcOffsets_)
        if (table_.readRow(offset, buffer, row) == 0 && row.romName == romName && row.game == game &&
            row.system == system)
            ++count;
    return 0;
}

void RomsDBImpl::markStatus(const std::string& crc, const std::string& size, const std::string& romName,
                            const std::string& game, const std::string& system, char status) {
    Session s(*this);
    if (!s.ok()) return;
    collectCrcRows(crc, size);
    table::RowBuffer buffer;
    table::RowView row;
    for (std::uint64_t offset : crcOffsets_) {
        if (table_.readRow(offset, buffer, row) != 0 || row.status == status) continue;
        const bool exact = row.romName == romName && row.game == game && row.system == system;
        const bool inParentSet = row.system == system && (row.cloneOf == game || row.romOf == game);
        if (exact || inParentSet) {
            if (table_.writeStatus(offset, status) != 0) setError("Cannot write a status to " + table_.recordPath());
        }
    }
}

void RomsDBImpl::setHave(const std::string& crc, const std::string& size, const std::string& romName,
                         const std::string& game, const std::string& system) {
    markStatus(crc, size, romName, game, system, kStatusHave);
}

void RomsDBImpl::setPresent(const std::string& crc, const std::string& size, const std::string& romName,
                            const std::string& game, const std::string& system) {
    markStatus(crc, size, romName, game, system, kStatusPresent);
}

std::string RomsDBImpl::getCount(int kind) {
    if (kind != 1 && kind != 2) return "0";
    Session s(*this);
    if (!s.ok()) return "0";
    btreeImpl& index = kind == 1 ? table_.crcIndex : table_.sysCatIndex;
    long long count = 0;
    std::string key;
    if (index.first(key) == 0) {
        do {
            ++count;
        } while (index.next(key) == 0);
    }
    return std::to_string(count);
}

void RomsDBImpl::forEachSystemRow(const std::string& system, const std::function<void(const SimpleRecord&)>& visit) {
    Session s(*this);
    if (!s.ok()) return;
    std::vector<std::uint64_t> offsets;
    collectSystemRows(system, offsets);
    SimpleRecord row;
    for (std::uint64_t offset : offsets)
        if (table_.readRecord(offset, row) == 0) visit(row);
}

void RomsDBImpl::forEachRow(const std::function<void(const SimpleRecord&)>& visit) {
    Session s(*this);
    if (!s.ok()) return;
    std::vector<std::uint64_t> offsets;
    std::string key, data;
    if (table_.sysIndex.first(key) == 0) {
        do {
            std::uint64_t offset;
            if (table_.sysIndex.read(data) > 0 && parseOffset(data, offset)) offsets.push_back(offset);
        } while (table_.sysIndex.next(key) == 0);
    }
    SimpleRecord row;
    for (std::uint64_t offset : offsets)
        if (table_.readRecord(offset, row) == 0) visit(row);
}

}  // namespace quorvane
