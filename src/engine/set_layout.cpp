#include "engine/set_layout.h"

#include <map>
#include <vector>

namespace quorvane {

namespace {

// What a name holds, compared across the sets of one family.
std::string contentKey(const RomRow& row) { return row.crc + '/' + row.size + '/' + (row.crc.empty() ? row.sha1 : ""); }

}  // namespace

// A ROM row that names no other set: what its game's set holds under its name.
struct SetLayout::OwnRom {
    std::string game, name, content;
};

SetLayout SetLayout::load(Catalogue& db, const std::string& system, MergeMode mode) {
    SetLayout layout(mode);
    if (mode != MergeMode::Merged) return layout;
    // One pass over the system: the parents come from the facts rows, the
    // names each family uses from the ROM rows that name no other set.
    std::vector<OwnRom> own;
    bool referencesParents = false;
    db.forEachSystemRowAndFacts(system, [&](const RomRow& row) {
        if (Catalogue::isFactsName(row.romName)) {
            if (!row.cloneOf.empty() && row.cloneOf != row.game) layout.parentOf_[row.game] = row.cloneOf;
            return;
        }
        referencesParents |= !row.cloneOf.empty();
        if (row.cloneOf.empty() && row.romOf.empty() && !isDiskRow(row.romName, row.size))
            own.push_back({row.game, row.romName, contentKey(row)});
    });
    if (layout.parentOf_.empty()) {
        layout.lacksParents_ = referencesParents;
        return layout;
    }
    // A parent that is itself a clone: its clones join the top of the family.
    for (auto& [clone, parent] : layout.parentOf_) {
        for (int depth = 0; depth < 8; ++depth) {
            const auto up = layout.parentOf_.find(parent);
            if (up == layout.parentOf_.end() || up->second == clone) break;
            parent = up->second;
        }
    }
    layout.noteRenames(own);
    return layout;
}

void SetLayout::noteRenames(const std::vector<OwnRom>& own) {
    // Per family: the parent's own names first, then each clone's in clone
    // name order, so the same catalogue always gives the same names.
    struct Family {
        std::map<std::string, std::string> names;  // name → content
        std::map<std::string, std::vector<const OwnRom*>> clones;
    };
    std::unordered_map<std::string, Family> families;
    for (const auto& [clone, parent] : parentOf_) families[parent];
    for (const OwnRom& rom : own) {
        if (const auto family = families.find(rom.game); family != families.end()) {
            family->second.names.emplace(rom.name, rom.content);
        } else if (const auto parent = parentOf_.find(rom.game); parent != parentOf_.end()) {
            families[parent->second].clones[rom.game].push_back(&rom);
        }
    }
    for (auto& [parent, family] : families) {
        for (const auto& [clone, roms] : family.clones) {
            for (const OwnRom* rom : roms) {
                const auto [at, added] = family.names.emplace(rom->name, rom->content);
                if (added || at->second == rom->content) continue;
                renamed_.emplace(clone, rom->name);
                family.names.emplace(clone + '/' + rom->name, rom->content);
            }
        }
    }
}

const std::string& SetLayout::setOwnerOf(const std::string& game) const {
    if (mode_ != MergeMode::Merged) return game;
    const auto parent = parentOf_.find(game);
    return parent == parentOf_.end() ? game : parent->second;
}

Slot SetLayout::slotOf(const RomMatch& row) const {
    switch (mode_) {
        case MergeMode::Split:
            if (!row.romOf.empty()) return {row.romOf, row.name};
            if (!row.cloneOf.empty()) return {row.cloneOf, row.name};
            return {row.game, row.name};
        case MergeMode::NonMerged:
            if (!row.romOf.empty()) return {row.romOf, row.name};
            return {row.game, row.name};
        case MergeMode::FullNonMerged: return {row.game, row.name};
        case MergeMode::Merged: break;
    }
    if (!row.romOf.empty()) return {row.romOf, row.name};
    if (!row.cloneOf.empty()) return {setOwnerOf(row.cloneOf), row.name};
    const std::string& owner = setOwnerOf(row.game);
    if (owner != row.game && renamed_.count({row.game, row.name})) return {owner, row.game + '/' + row.name};
    return {owner, row.name};
}

}  // namespace quorvane
