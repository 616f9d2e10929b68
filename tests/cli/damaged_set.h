// The damaged Sys folder that the crash and undo tests start from
// (make_damaged_set.py), and its catalogue: games G0 to G7 of two ROMs each.
#pragma once

#include <string>

namespace quorvane::testing {

// ROM r of game g, and its name.
std::string damagedRom(int g, int r);
std::string damagedRomName(int g, int r);
// Writes the catalogue into `home`/databases and the folder to `home`/roms/Sys.
// False when either cannot be made.
bool makeDamagedSet(const std::string& home);

}  // namespace quorvane::testing
