#include "damaged_set.h"

#include <filesystem>
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

std::map<std::string, std::string> inventoryOf(const std::string& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> paths;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string where = e.path().string().substr(root.size());
        if (e.is_symlink()) paths[where] = "link";
        else if (e.is_directory()) paths[where] = "folder";
        else if (e.is_regular_file()) paths[where] = readFile(e.path().string());
        else paths[where] = "link";
    }
    return paths;
}

}  // namespace quorvane::testing
