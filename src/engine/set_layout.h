// Where each ROM of a system belongs under the system's merge mode: the set
// (a game's archive, or its folder for a disk image) and the name in it.
//
//   split            a game's set holds its own ROMs; a ROM its parent or
//                    BIOS also holds (the row's cloneOf or romOf) is had
//                    in that set only
//   non-merged       a game's set holds every ROM but its BIOS and device
//                    ROMs (romOf), which stay in those sets
//   full non-merged  a game's set holds every ROM it lists
//   merged           a clone has no set: its ROMs are in its parent's, under
//                    their own name unless the parent's set holds other
//                    content under it, then as "<clone>/<name>"; BIOS and
//                    device ROMs stay in their sets
// A BIOS or device set holds its own ROMs in every mode.
#pragma once

#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/records.h"
#include "core/settings.h"

namespace quorvane {

struct Slot {
    std::string game;
    std::string name;
    bool operator==(const Slot&) const = default;
};

class SetLayout {
public:
    explicit SetLayout(MergeMode mode = MergeMode::Split) : mode_(mode) {}
    // Reads what `mode` needs of `system`: merged needs its games' parents
    // and every name its families use; the other modes need nothing.
    static SetLayout load(Catalogue& db, const std::string& system, MergeMode mode);

    MergeMode mode() const { return mode_; }
    // Where the ROM row `row` (game, name, cloneOf and romOf) belongs.
    Slot slotOf(const RomMatch& row) const;
    // Merged mode on a catalogue imported without its games' parents (rows
    // name a parent, no game facts do): clones would keep sets of their own.
    bool lacksParents() const { return lacksParents_; }
    // The game whose set holds `game`'s own ROMs: its parent in merged mode.
    const std::string& setOwnerOf(const std::string& game) const;

private:
    struct OwnRom;
    // Finds the clones' ROMs whose names their parent's set holds other content under.
    void noteRenames(const std::vector<OwnRom>& own);

    MergeMode mode_;
    bool lacksParents_ = false;
    std::unordered_map<std::string, std::string> parentOf_;  // merged: clone → parent
    std::set<std::pair<std::string, std::string>> renamed_;  // merged: (clone, ROM) kept as "clone/ROM"
};

}  // namespace quorvane
