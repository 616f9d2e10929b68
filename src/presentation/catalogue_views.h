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

}  // namespace quorvane
