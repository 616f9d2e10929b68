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
    last_.places.clear();
    last_.rows.clear();
    const size_t first = found.size();
    found.reserve(first + rows.size());
    // A BIOS ROM is listed by every game that boots it: thousands of rows.
    std::unordered_map<std::string, size_t> placed;
    std::string key;
    const SetLayout* layout = nullptr;
    std::string layoutSystem;
    for (size_t i = 0; i < rows.size(); ++i) {
        RomMatch& row = rows[i];
        if (!layout || row.system != layoutSystem) {
            layout = &layoutOf(row.system);
            layoutSystem = row.system;
        }
        Slot slot = layout->slotOf(row);
        key.assign(row.system).append(1, '\0').append(slot.game).append(1, '\0').append(slot.name);
        const auto [at, added] = placed.emplace(key, last_.places.size());
        last_.rows.emplace_back(offsets[i], at->second);
        if (!added) {
            RomMatch& place = found[first + at->second];
            if (rank(row.status) < rank(place.status)) place.status = row.status;
            continue;
        }
        last_.places.push_back({row.system, slot});
        row.game = std::move(slot.game);
        row.name = std::move(slot.name);
        row.cloneOf.clear();
        row.romOf.clear();
        found.push_back(std::move(row));
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
            for (size_t p = 0; p < last_.places.size(); ++p) {
                const auto& [placeSystem, slot] = last_.places[p];
                if (placeSystem != system || slot.game != game || slot.name != name) continue;
                for (const auto& [offset, place] : last_.rows)
                    if (place == p) db_.setRowStatus(offset, status);
            }
            return;
        }
    }
    const SetLayout& layout = layoutOf(system);
    const Slot place{game, name};
    db_.markRows(crc, size, status,
                 [&](const RomMatch& row) { return row.system == system && layout.slotOf(row) == place; });
}

}  // namespace quorvane
