// Which catalogue ROMs one file is, and whether it already sits where the
// catalogue wants it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/records.h"
#include "engine/found_rows.h"

namespace quorvane {

// The catalogue's content lookup (Catalogue::findRom in the jobs): appends
// the ROMs whose CRC-32 and size match and whose digests do not disagree
// (with an empty CRC: the CRC-less ROMs of that size with an equal digest).
using RomFinder = std::function<void(std::vector<RomMatch>& found, const std::string& crc, const std::string& size,
                                     const std::string& md5, const std::string& sha1)>;

struct RomLookup {
    RomFinder find;
    // Which digests the catalogue's CRC-less ROMs of a size carry
    // (Catalogue::digestsOfCrcLessRows); none when unset.
    std::function<DigestKinds(const std::string& size)> crcLessDigests;
};

// The lookup of `db`, for a job that is its only user.
RomLookup catalogueLookup(Catalogue& db);

// Looks `file` (one of `container`'s files, as loaded) up, in this order,
// stopping at the first that finds something:
//   1. by CRC and size;
//   2. when it starts with a copier header, by the CRC and size of what
//      follows it (and its digests, when the file's were computed);
//   3. when CRC-less ROMs of its size exist, by the digests they carry,
//      computed now: only such a file is read again;
//   4. by CRC and the size "-" that the catalogue stores for ROMs without a
//      usable size.
// The file's texts then name the key its ROMs are filed under, so every later
// status update finds them: after 2 they describe the content after the
// header (headerBytes says how much was left out), after 3 its CRC is empty,
// and when it comes to 4 its size is "-" whatever that lookup finds.
std::vector<RomMatch> identifyFile(const ContainerFiles& container, File& file, const RomLookup& lookup);
// As above, into `matches` (emptied first), whose memory a caller that
// identifies many files keeps.
void identifyFile(const ContainerFiles& container, File& file, const RomLookup& lookup,
                  std::vector<RomMatch>& matches);

// The file named `entryName` inside the file `containerName` (a bare file
// name) is in place for `match` when the match belongs to `system`, the
// container is a set of the match's game (isSetFileOf) and the entry after the
// ROM. Case-sensitive throughout.
bool isInPlace(const RomMatch& match, const std::string& system, const std::string& containerName,
               const std::string& entryName);
// The same for a ROM of `romSystem` and `romGame` named `romName`.
bool isInPlace(std::string_view romSystem, std::string_view romGame, std::string_view romName, std::string_view system,
               std::string_view containerName, std::string_view entryName);

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
