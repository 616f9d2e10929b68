#include "engine/placements.h"

#include <algorithm>
#include <unordered_map>

namespace quorvane {

namespace {

// The less had of two statuses: a place is had only when every row kept there is.
int rank(const std::string& status) {
    switch (romStatusOf(status).value_or(RomStatus::Missing)) {
        case RomStatus::Missing: return 0;
        case RomStatus::Present: return 1;
        case RomStatus::Have: return 2;
    }
    return 0;
}

// Split mode: a status given to (system, game, name) reaches the row itself,
// and the rows its clones and the games booting it file with a reference to it.
bool reachedInSplit(std::string_view rowSystem, std::string_view rowGame, std::string_view rowName,
                    std::string_view rowCloneOf, std::string_view rowRomOf, std::string_view system,
                    std::string_view game, std::string_view name) {
    const bool exact = rowName == name && rowGame == game && rowSystem == system;
    const bool inParentSet = rowSystem == system && (rowCloneOf == game || rowRomOf == game);
    return exact || inParentSet;
}

}  // namespace

Placements::Placements(Catalogue& db, const Settings& settings) : db_(db), settings_(settings) {
    allSplit_ = settings.mergeMode == MergeMode::Split;
    for (const auto& [system, mode] : settings.systemMergeMode) allSplit_ = allSplit_ && mode == MergeMode::Split;
}

const SetLayout& Placements::layoutOf(const std::string& system) {
    std::lock_guard lock(mutex_);
    auto& layout = layouts_[system];
    if (!layout) layout = std::make_unique<SetLayout>(SetLayout::load(db_, system, settings_.mergeModeFor(system)));
    return *layout;
}

RomLookup Placements::lookup() {
    RomLookup lookup = catalogueLookup(db_);
    lookup.find = [this](std::vector<RomMatch>& found, const std::string& crc, const std::string& size,
                         const std::string& md5, const std::string& sha1) { find(found, crc, size, md5, sha1); };
    return lookup;
}

void Placements::find(std::vector<RomMatch>& found, const std::string& crc, const std::string& size,
                      const std::string& md5, const std::string& sha1) {
    // The rows of the lookup before last lend their memory to this one:
    // scans look up every ROM.
    std::vector<Catalogue::FiledRow> rows;
    {
        std::lock_guard lock(lastMutex_);
        rows.swap(spareRows_);
    }
    const bool byDigest = crc.empty();
    if (!byDigest || !md5.empty() || !sha1.empty()) db_.rowsFiledUnder(crc, size, rows);
    else rows.clear();
    std::lock_guard lock(lastMutex_);
    last_.matched.assign(rows.size(), false);
    for (size_t i = 0; i < rows.size(); ++i)
        last_.matched[i] = Catalogue::digestsAnswer(md5, sha1, rows[i].row.md5, rows[i].row.sha1, byDigest);
    last_.keyed = true;
    last_.crc = crc;
    last_.size = size;
    last_.rows.swap(rows);
    spareRows_.swap(rows);
    settleLast();
    found.insert(found.end(), last_.matches.begin(), last_.matches.end());
}

void Placements::settleLast() {
    // Matches are copied over the last lookup's, whose strings they reuse.
    size_t used = 0;
    auto nextMatch = [this, &used](const RomMatch& row) -> RomMatch& {
        if (used == last_.matches.size()) last_.matches.emplace_back();
        return last_.matches[used++] = row;
    };
    last_.matchRow.clear();
    last_.rowMatch.assign(last_.rows.size(), kNone);
    if (allSplit_) {
        // The catalogue's own answer: a row filed with a parent or BIOS
        // reference is had in that set, and is no match of its own.
        for (size_t i = 0; i < last_.rows.size(); ++i) {
            const RomMatch& row = last_.rows[i].row;
            if (!last_.matched[i] || !row.cloneOf.empty() || !row.romOf.empty()) continue;
            nextMatch(row);
            last_.matchRow.push_back(i);
        }
        last_.matches.resize(used);
        return;
    }
    std::unordered_map<std::string, size_t> placed;
    std::string key;
    const SetLayout* layout = nullptr;
    std::string layoutSystem;
    for (size_t i = 0; i < last_.rows.size(); ++i) {
        if (!last_.matched[i]) continue;
        const RomMatch& row = last_.rows[i].row;
        if (!layout || row.system != layoutSystem) {
            layout = &layoutOf(row.system);
            layoutSystem = row.system;
        }
        Slot slot = layout->slotOf(row);
        key.assign(row.system).append(1, '\0').append(slot.game).append(1, '\0').append(slot.name);
        const auto [at, added] = placed.emplace(key, used);
        last_.rowMatch[i] = at->second;
        if (!added) {
            RomMatch& place = last_.matches[at->second];
            if (rank(row.status) < rank(place.status)) place.status = row.status;
            continue;
        }
        RomMatch& place = nextMatch(row);
        place.game = std::move(slot.game);
        place.name = std::move(slot.name);
        place.cloneOf.clear();
        place.romOf.clear();
    }
    last_.matches.resize(used);
}

void Placements::rowsOfPlace(const std::string& system, const std::string& game, const std::string& name,
                             std::vector<std::uint64_t>& offsets) const {
    offsets.clear();
    if (allSplit_) {
        // As Catalogue::setHave.
        for (const Catalogue::FiledRow& filed : last_.rows) {
            const RomMatch& row = filed.row;
            if (reachedInSplit(row.system, row.game, row.name, row.cloneOf, row.romOf, system, game, name))
                offsets.push_back(filed.offset);
        }
        return;
    }
    for (size_t p = 0; p < last_.matches.size(); ++p) {
        const RomMatch& place = last_.matches[p];
        if (place.system != system || place.game != game || place.name != name) continue;
        for (size_t i = 0; i < last_.rows.size(); ++i)
            if (last_.rowMatch[i] == p) offsets.push_back(last_.rows[i].offset);
    }
}

void Placements::addLastRows(FoundRowLists& out) {
    std::lock_guard lock(lastMutex_);
    if (!last_.matches.empty()) {
        for (size_t i = 0; i < last_.rows.size(); ++i) {
            // Outside split mode a row that did not answer takes no status.
            if (!allSplit_ && !last_.matched[i]) continue;
            out.add({last_.rows[i].offset, last_.matched[i]});
        }
    }
    out.endList();
}

bool Placements::recall(FoundRows rows, std::vector<RomMatch>& found) {
    std::vector<std::uint64_t> offsets;
    offsets.reserve(rows.size());
    for (const FoundRow& r : rows) offsets.push_back(r.offset);
    std::vector<Catalogue::FiledRow> filed;
    if (!db_.rowsAt(offsets, filed)) return false;
    std::lock_guard lock(lastMutex_);
    last_.keyed = false;
    last_.crc.clear();
    last_.size.clear();
    last_.rows = std::move(filed);
    last_.matched.assign(rows.size(), false);
    for (size_t i = 0; i < rows.size(); ++i) last_.matched[i] = rows[i].matched;
    settleLast();
    found.insert(found.end(), last_.matches.begin(), last_.matches.end());
    return true;
}

void Placements::markMatch(size_t index, RomStatus status, std::vector<std::uint64_t>* marked) {
    thread_local std::vector<std::uint64_t> offsets;
    {
        std::lock_guard lock(lastMutex_);
        if (index >= last_.matches.size()) return;
        const RomMatch& m = last_.matches[index];
        rowsOfPlace(m.system, m.game, m.name, offsets);
    }
    if (marked) marked->insert(marked->end(), offsets.begin(), offsets.end());
    db_.markRowsAt(offsets, status);
}

std::optional<bool> Placements::markInPlace(const File& file, const std::string& system,
                                            std::string_view containerName, FoundRowLists* found,
                                            std::vector<std::uint64_t>* marked) {
    thread_local Catalogue::FiledViews filed;
    thread_local std::vector<std::uint64_t> offsets;
    if (!allSplit_ || file.crc.empty()) return std::nullopt;
    db_.rowViewsFiledUnder(file.crc, file.size, filed);
    const std::vector<RowStore::RowView>& rows = filed.rows;
    auto answers = [&file](const RowStore::RowView& row) {
        return Catalogue::digestsAnswer(file.md5, file.sha1, row.md5, row.sha1, false);
    };
    // As settleLast: a row filed with a parent or BIOS reference is no match of its own.
    auto isMatch = [&](const RowStore::RowView& row) {
        return row.cloneOf.empty() && row.romOf.empty() && answers(row);
    };
    if (std::none_of(rows.begin(), rows.end(), isMatch)) return std::nullopt;
    bool allInPlace = true;
    offsets.clear();
    for (const RowStore::RowView& match : rows) {
        if (!isMatch(match)) continue;
        if (!isInPlace(match.system, match.game, match.romName, system, containerName, file.name)) {
            allInPlace = false;
            continue;
        }
        for (size_t i = 0; i < rows.size(); ++i) {
            const RowStore::RowView& row = rows[i];
            if (reachedInSplit(row.system, row.game, row.romName, row.cloneOf, row.romOf, match.system, match.game,
                               match.romName))
                offsets.push_back(filed.offsets[i]);
        }
    }
    if (found) {
        for (size_t i = 0; i < rows.size(); ++i) found->add({filed.offsets[i], answers(rows[i])});
        found->endList();
    }
    if (marked) marked->insert(marked->end(), offsets.begin(), offsets.end());
    db_.markRowsAt(offsets, RomStatus::Have);
    return allInPlace;
}

void Placements::mark(const std::string& crc, const std::string& size, const std::string& name,
                      const std::string& game, const std::string& system, RomStatus status) {
    {
        std::unique_lock lock(lastMutex_);
        if (last_.keyed && last_.crc == crc && last_.size == size) {
            std::vector<std::uint64_t> offsets;
            rowsOfPlace(system, game, name, offsets);
            lock.unlock();
            db_.markRowsAt(offsets, status);
            return;
        }
    }
    if (allSplit_) {
        if (status == RomStatus::Have) db_.setHave(crc, size, name, game, system);
        else db_.setPresent(crc, size, name, game, system);
        return;
    }
    const SetLayout& layout = layoutOf(system);
    const Slot place{game, name};
    db_.markRows(crc, size, status,
                 [&](const RomMatch& row) { return row.system == system && layout.slotOf(row) == place; });
}

}  // namespace quorvane
