// Miss/have lists of one system, written from the status letters a scan left
// in the catalogue.
//
// Files, below the base folder (the "basedir" setting), all with CR LF line
// ends and rewritten whole on every run (a failed run leaves the previous
// file, never a truncated one):
//   have/<system>have.txt      " You have H of G known <system> ROMS", "", then
//                              one line per had game
//   miss/<system>miss.txt      " You are missing M of G known <system> ROMS", "",
//                              then one line per missing game
//   miss/<system>missrom.txt   only when the system has more ROMs than games:
//                              " You are missing MR roms (M games) of R known
//                              <system> roms (G games)", "", then per missing
//                              game its name and "   rom (crc)" for every ROM
//                              whose own letter is not "Y"
// A game is missing when its status string holds "N" or "P"; otherwise
// (an empty one included) it is had.
#pragma once

#include <string>

#include "core/records.h"

namespace quorvane {

class Catalogue;

inline constexpr const char* kListFailed = "-1";

struct ListOutcome {
    // The header line that sums the list up, or "-1" when it was not written.
    std::string summary;
    // Why it was not written; empty on success.
    std::string error;
};

struct ListCounts {
    long long games = 0;
    long long missingGames = 0;
    long long roms = 0;
    long long missingRoms = 0;
};

bool isMissingGame(const Game& game);
ListCounts countList(const Romset& romset);

std::string haveListPath(const std::string& basedir, const std::string& system);
std::string missListPath(const std::string& basedir, const std::string& system);
std::string missRomListPath(const std::string& basedir, const std::string& system);

// The file contents; `header` receives the summary line.
std::string haveListText(const Romset& romset, std::string& header);
std::string missListText(const Romset& romset, std::string& header);
std::string missRomListText(const Romset& romset, std::string& header);
// True when the rom-level list is written (ROMs and games differ in number).
bool needsMissRomList(const ListCounts& counts);

ListOutcome writeHaveList(Catalogue& db, const std::string& basedir, const std::string& system);
ListOutcome writeMissList(Catalogue& db, const std::string& basedir, const std::string& system);

}  // namespace quorvane
