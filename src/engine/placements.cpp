#include "engine/placements.h"

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
    if (allSplit_) return catalogueLookup(db_);
    RomLookup lookup = catalogueLookup(db_);
    lookup.find = [this](std::vector<RomMatch>& found, const std::string& crc, const std::string& size,
                         const std::string& md5, const std::string& sha1) { find(found, crc, size, md5, sha1); };
    return lookup;
}

void Placements::find(std::vector<RomMatch>& found, const std::string& crc, const std::string& size,
                      const std::string& md5, const std::string& sha1) {
    std::vector<RomMatch> rows;
    std::vector<std::uint64_t> offsets;
    db_.findRows(rows, crc, size, md5, sha1, &offsets);
    std::lock_guard lock(lastMutex_);
    last_.crc = crc;
    last_.size = size;
    last_.rows.clear();
    // A BIOS ROM is listed by every game that boots it: thousands of rows.
    std::unordered_map<std::string, size_t> placed;
    std::string key;
    for (size_t i = 0; i < rows.size(); ++i) {
        const RomMatch& row = rows[i];
        Slot slot = layoutOf(row.system).slotOf(row);
        last_.rows.push_back({offsets[i], row.system, slot.game, slot.name});
        key.assign(row.system).append(1, '\0').append(slot.game).append(1, '\0').append(slot.name);
        const auto [at, added] = placed.emplace(key, found.size());
        if (!added) {
            RomMatch& place = found[at->second];
            if (rank(row.status) < rank(place.status)) place.status = row.status;
            continue;
        }
        found.emplace_back(std::move(slot.name), std::move(slot.game), row.system, row.status, row.md5, row.sha1,
                           std::string(), std::string());
    }
}

void Placements::mark(const std::string& crc, const std::string& size, const std::string& name,
                      const std::string& game, const std::string& system, RomStatus status) {
    if (allSplit_) {
        if (status == RomStatus::Have) db_.setHave(crc, size, name, game, system);
        else db_.setPresent(crc, size, name, game, system);
        return;
    }
    {
        std::lock_guard lock(lastMutex_);
        if (last_.crc == crc && last_.size == size) {
            for (const PlacedRow& row : last_.rows)
                if (row.system == system && row.game == game && row.name == name) db_.setRowStatus(row.offset, status);
            return;
        }
    }
    const SetLayout& layout = layoutOf(system);
    const Slot place{game, name};
    db_.markRows(crc, size, status,
                 [&](const RomMatch& row) { return row.system == system && layout.slotOf(row) == place; });
}

}  // namespace quorvane
