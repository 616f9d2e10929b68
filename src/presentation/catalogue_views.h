// The texts of the catalogue views shared by the desktop program and the
// command line: the systems captions and the four games views.
#pragma once

#include <string>

#include "core/records.h"

namespace quorvane {

enum class SystemsView { All, Incomplete, Complete };
// "Total sets: N", "Incomplete sets: N", "Complete sets: N".
std::string systemsCaption(SystemsView view, size_t count);

enum class GamesView { All, Missing, Incomplete, Available };

struct GamesViewInfo {
    int mode;               // getRomset mode
    const char* emptyText;  // after the system name when no game is listed
    const char* countText;  // after the count otherwise
};
GamesViewInfo gamesViewInfo(GamesView view);

// name + " (" + version + "): " + count + count text, or name + empty text.
std::string gamesCaption(GamesView view, const Romset& romset, const std::string& version);

// The games window's icon: 0 complete, 1 missing, 2 incomplete.
int gameIconIndex(const Game& game);

const char* gameStateName(GameState state);

// "game", "bios" or "device".
const char* setKindName(SetKind kind);

// Leaves the BIOS and device sets out of a listing, for a view of the games alone.
void hideBiosAndDeviceSets(Romset& romset);

// What a listing says after a game's name: "BIOS" or "device" for such a
// set, "BIOS <name> incomplete" for a game whose BIOS set lacks ROMs; empty
// for a plain game.
std::string gameRemark(const Game& game);
// The name, and the remark in parentheses after it when there is one.
std::string gameListText(const Game& game);

}  // namespace quorvane
