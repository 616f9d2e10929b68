#include "engine/identification.h"

namespace quorvane {

std::vector<RomMatch> identifyFile(File& file, const RomFinder& find) {
    std::vector<RomMatch> matches;
    find(matches, file.crc, file.size, file.md5, file.sha1);
    if (matches.empty()) {
        file.size = std::string("-");  // not `= "-"`: GCC 12 warns wrongly (-Wrestrict) there
        find(matches, file.crc, file.size, file.md5, file.sha1);
    }
    return matches;
}

bool isInPlace(const RomMatch& match, const std::string& system, const std::string& containerName,
               const std::string& entryName) {
    return match.system == system && containerName == match.game + ".zip" && entryName == match.name;
}

MatchClass classifyMatch(const RomMatch& match, const std::string& system, const std::string& containerName,
                         const std::string& entryName, PendingRule rule) {
    const bool pending = isPending(match, rule);
    if (match.system == system) {
        if (isInPlace(match, system, containerName, entryName)) return MatchClass::InPlace;
        return pending ? MatchClass::MisplacedMissing : MatchClass::MisplacedFound;
    }
    return pending ? MatchClass::ForeignMissing : MatchClass::ForeignFound;
}

}  // namespace quorvane
