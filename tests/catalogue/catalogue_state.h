// The whole state of a catalogue as one line: every row through the system
// index, the systems' catalogue status, one CRC through the CRC index and the
// counts. Two databases that print the same hold the same.
#pragma once

#include <string>
#include <vector>

#include "catalogue/catalogue.h"

namespace quorvane::testing {

inline std::string catalogueState(Catalogue& db, const std::string& crc, const std::string& size) {
    std::string out;
    for (const std::string& s : db.getCompleteSystems()) out += "[" + s + " C]";
    for (const std::string& s : db.getIncompleteSystems()) out += "[" + s + " N]";
    db.forEachRow([&](const RomRow& r) {
        out += " ";
        out += r.system + "/" + r.game + "/" + r.romName + "," + r.crc + "," + r.size + "=" + romStatusLetter(r.status);
    });
    std::vector<RomMatch> found;
    db.findRom(found, crc, size, "", "");
    for (const RomMatch& g : found) out += " found " + g.system + "/" + g.game + "/" + g.name;
    return out + " rows " + db.getCount(1) + " systems " + db.getCount(2);
}

}  // namespace quorvane::testing
