// Which catalogue ROMs one file is, and whether it already sits where the
// catalogue wants it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/records.h"

namespace quorvane {

// The catalogue's content lookup (Catalogue::findRom in the jobs): appends
// the ROMs whose CRC-32 and size match and whose digests do not disagree.
using RomFinder = std::function<void(std::vector<RomMatch>& found, const std::string& crc, const std::string& size,
                                     const std::string& md5, const std::string& sha1)>;

// Looks `file` up by CRC and size; when nothing matches, again with the size
// "-" that the catalogue stores for ROMs without a usable size. In that case
// the file's size becomes "-" (whatever the second lookup finds), so every
// later status update for it names the same key.
std::vector<RomMatch> identifyFile(File& file, const RomFinder& find);

// The file named `entryName` inside the file `containerName` (a bare file
// name) is in place for `match` when the match belongs to `system`, the
// container is named after the match's game + ".zip" and the entry after the
// ROM. Case-sensitive throughout.
bool isInPlace(const RomMatch& match, const std::string& system, const std::string& containerName,
               const std::string& entryName);

enum class MatchClass {
    InPlace,           // right where it belongs
    MisplacedMissing,  // a missing ROM of this system, in the wrong place
    MisplacedFound,    // a ROM of this system that is already found
    ForeignMissing,    // a missing ROM of another system
    ForeignFound,      // a found ROM of another system
};

// Which status letters count as "still to be had". A scan leaves "P" (seen
// elsewhere) as found; a fix or a rebuild must still bring such a ROM to its
// set, so that "scan, then fix" gives what "fix" alone gives.
enum class PendingRule {
    OnlyMissing,      // "N"
    MissingOrElsewhere,  // "N" and "P": all but "Y"
};

MatchClass classifyMatch(const RomMatch& match, const std::string& system, const std::string& containerName,
                         const std::string& entryName, PendingRule rule = PendingRule::OnlyMissing);

inline bool isMissing(const RomMatch& match) { return romStatusOf(match.status) == RomStatus::Missing; }
inline bool isHad(const RomMatch& match) { return romStatusOf(match.status) == RomStatus::Have; }
inline bool isPending(const RomMatch& match, PendingRule rule) {
    return rule == PendingRule::OnlyMissing ? isMissing(match) : !isHad(match);
}

}  // namespace quorvane
