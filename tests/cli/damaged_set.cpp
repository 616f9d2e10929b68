#include "damaged_set.h"

#include <vector>

#include "catalogue/catalogue.h"
#include "cli_fixture.h"
#include "core/file_util.h"
#include "support/content_crc.h"

namespace quorvane::testing {

std::string damagedRom(int g, int r) {
    std::string out;
    for (int i = 0; i < 40 + 13 * g + r; ++i) out += "rom " + std::to_string(g) + "/" + std::to_string(r) + " ";
    return out;
}

std::string damagedRomName(int g, int r) { return "G" + std::to_string(g) + "r" + std::to_string(r) + ".bin"; }

bool makeDamagedSet(const std::string& home) {
    if (!makeFolders(home + "/databases")) return false;
    {
        Catalogue db(home + "/databases/roms");
        std::vector<RomRow> rows;
        for (int g = 0; g < 8; ++g)
            for (int r = 0; r < 2; ++r)
                rows.push_back(romRow("Sys", "G" + std::to_string(g), crcOf(damagedRom(g, r)), damagedRomName(g, r),
                                      std::to_string(damagedRom(g, r).size())));
        addRows(db, rows);
    }
    return runShell("python3 " QUORVANE_SOURCE_DIR "/tests/cli/make_damaged_set.py " + home + "/roms/Sys") == 0;
}

}  // namespace quorvane::testing
