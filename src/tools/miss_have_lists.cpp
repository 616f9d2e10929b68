#include "tools/miss_have_lists.h"

#include "catalogue/catalogue.h"
#include "core/file_util.h"
#include "core/names.h"

namespace quorvane {

namespace {

constexpr const char* kEol = "\r\n";

std::string num(long long n) { return std::to_string(n); }

// Refuses what cannot be written: no base folder, or a system name that
// would address a file outside the list folder.
bool checkTarget(const std::string& basedir, const std::string& system, ListOutcome& out) {
    if (basedir.empty()) {
        out = {kListFailed, "No base folder is set; the lists of " + system + " were not written."};
        return false;
    }
    if (!isSafeFileName(system)) {
        out = {kListFailed, unsafeNameMessage("System name", system)};
        return false;
    }
    return true;
}

// A romset that could not be read must not overwrite a good list with an
// empty one.
bool loadRomset(Catalogue& db, const std::string& system, Romset& romset, ListOutcome& out) {
    romset = db.getRomset(system, 0);
    const std::string error = db.lastError();
    if (error.empty()) return true;
    out = {kListFailed, error};
    return false;
}

bool writeList(const std::string& folder, const std::string& path, const std::string& text, ListOutcome& out) {
    std::string error;
    if (!makeFolders(folder)) {
        out = {kListFailed, "Cannot create the folder " + folder};
        return false;
    }
    if (!writeFileAtomically(path, text, &error)) {
        out = {kListFailed, error};
        return false;
    }
    return true;
}

}  // namespace

bool isMissingGame(const Game& game) { return game.statusString.find_first_of("NP") != std::string::npos; }

ListCounts countList(const Romset& romset) {
    ListCounts c;
    for (const Game& g : romset.games) {
        ++c.games;
        if (isMissingGame(g)) ++c.missingGames;
        c.roms += static_cast<long long>(g.statusString.size());
        for (char letter : g.statusString)
            if (romStatusFromLetter(letter) != RomStatus::Have) ++c.missingRoms;
    }
    return c;
}

bool needsMissRomList(const ListCounts& counts) { return counts.roms != counts.games; }

std::string haveListPath(const std::string& basedir, const std::string& system) {
    return basedir + "/have/" + system + "have.txt";
}
std::string missListPath(const std::string& basedir, const std::string& system) {
    return basedir + "/miss/" + system + "miss.txt";
}
std::string missRomListPath(const std::string& basedir, const std::string& system) {
    return basedir + "/miss/" + system + "miss" + "rom.txt";
}

std::string haveListText(const Romset& romset, std::string& header) {
    const ListCounts c = countList(romset);
    header = " You have " + num(c.games - c.missingGames) + " of " + num(c.games) + " known " + romset.name + " ROMS";
    std::string text = header + kEol + kEol;
    for (const Game& g : romset.games)
        if (!isMissingGame(g)) text += g.name + kEol;
    return text;
}

std::string missListText(const Romset& romset, std::string& header) {
    const ListCounts c = countList(romset);
    header = " You are missing " + num(c.missingGames) + " of " + num(c.games) + " known " + romset.name + " ROMS";
    std::string text = header + kEol + kEol;
    for (const Game& g : romset.games)
        if (isMissingGame(g)) text += g.name + kEol;
    return text;
}

std::string missRomListText(const Romset& romset, std::string& header) {
    const ListCounts c = countList(romset);
    header = " You are missing " + num(c.missingRoms) + " roms (" + num(c.missingGames) + " games) of " +
             num(c.roms) + " known " + romset.name + " roms (" + num(c.games) + " games)";
    std::string text = header + kEol + kEol;
    for (const Game& g : romset.games) {
        if (!isMissingGame(g)) continue;
        text += g.name + kEol;
        for (const Rom& r : g.roms)
            if (romStatusOf(r.status) != RomStatus::Have) text += "   " + r.name + " (" + r.crc + ")" + kEol;
    }
    return text;
}

ListOutcome writeHaveList(Catalogue& db, const std::string& basedir, const std::string& system) {
    ListOutcome out;
    if (!checkTarget(basedir, system, out)) return out;
    Romset romset;
    if (!loadRomset(db, system, romset, out)) return out;
    const std::string text = haveListText(romset, out.summary);
    if (!writeList(basedir + "/have/", haveListPath(basedir, system), text, out)) return out;
    return out;
}

ListOutcome writeMissList(Catalogue& db, const std::string& basedir, const std::string& system) {
    ListOutcome out;
    if (!checkTarget(basedir, system, out)) return out;
    Romset romset;
    if (!loadRomset(db, system, romset, out)) return out;
    const std::string folder = basedir + "/miss/";
    const std::string text = missListText(romset, out.summary);
    if (!writeList(folder, missListPath(basedir, system), text, out)) return out;
    if (!needsMissRomList(countList(romset))) return out;
    const std::string romText = missRomListText(romset, out.summary);
    writeList(folder, missRomListPath(basedir, system), romText, out);
    return out;
}

}  // namespace quorvane
