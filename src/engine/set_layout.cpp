#include "engine/set_layout.h"

#include <map>
#include <vector>

namespace quorvane {

namespace {

// What a name holds, compared across the sets of one family.
std::string contentKey(const RomRow& row) { return row.crc + '/' + row.size + '/' + (row.crc.empty() ? row.sha1 : ""); }

}  // namespace

SetLayout SetLayout::load(Catalogue& db, const std::string& system, MergeMode mode) {
    SetLayout layout(mode);
    if (mode != MergeMode::Merged) return layout;
    for (const GameFacts& facts : db.gameFacts(system))
        if (!facts.cloneOf.empty() && facts.cloneOf != facts.game) layout.parentOf_[facts.game] = facts.cloneOf;
    // A parent that is itself a clone: its clones join the top of the family.
    for (auto& [clone, parent] : layout.parentOf_) {
        for (int depth = 0; depth < 8; ++depth) {
            const auto up = layout.parentOf_.find(parent);
            if (up == layout.parentOf_.end() || up->second == clone) break;
            parent = up->second;
        }
    }
    if (!layout.parentOf_.empty()) {
        layout.noteRenames(db, system);
        return layout;
    }
    db.forEachSystemRow(system, [&](const RomRow& row) { layout.lacksParents_ |= !row.cloneOf.empty(); });
    return layout;
}

void SetLayout::noteRenames(Catalogue& db, const std::string& system) {
    // Per family: the parent's own names first, then each clone's in clone
    // name order, so the same catalogue always gives the same names.
    struct Family {
        std::map<std::string, std::string> names;                        // name → content
        std::map<std::string, std::vector<std::pair<std::string, std::string>>> clones;  // clone → (name, content)
    };
    std::unordered_map<std::string, Family> families;
    for (const auto& [clone, parent] : parentOf_) families[parent];
    db.forEachSystemRow(system, [&](const RomRow& row) {
        if (!row.cloneOf.empty() || !row.romOf.empty() || isDiskRow(row.romName, row.size)) return;
        if (const auto family = families.find(row.game); family != families.end()) {
            family->second.names.emplace(row.romName, contentKey(row));
        } else if (const auto parent = parentOf_.find(row.game); parent != parentOf_.end()) {
            families[parent->second].clones[row.game].emplace_back(row.romName, contentKey(row));
        }
    });
    for (auto& [parent, family] : families) {
        for (const auto& [clone, roms] : family.clones) {
            for (const auto& [name, content] : roms) {
                const auto [at, added] = family.names.emplace(name, content);
                if (added || at->second == content) continue;
                renamed_.emplace(clone, name);
                family.names.emplace(clone + '/' + name, content);
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
