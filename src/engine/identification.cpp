#include "engine/identification.h"

#include <cstdlib>

#include "archive/content_digests.h"
#include "archive/copier_headers.h"
#include "archive/digest_set.h"
#include "core/names.h"
#include "engine/file_collection_ops.h"

namespace quorvane {
namespace {

ContentDigests contentOf(const ContainerFiles& container, const File& file) {
    if (container.isPacked) return ContentDigests(container.path, keyOf(file));
    return container.isZip ? ContentDigests(container.path, file.name) : ContentDigests(container.path);
}

bool digestsOf(ContentDigests content, bool isArchive, std::string& md5, std::string& sha1, DigestKinds kinds) {
    std::string crc;
    return isArchive ? content.digestEntry(md5, sha1, kinds.md5, kinds.sha1)
                 : content.digestFile(crc, md5, sha1, false, kinds.md5, kinds.sha1);
}

// Step 2 of identifyFile: true, with `file` describing what follows the
// header, when that content is a ROM.
bool findWithoutHeader(const ContainerFiles& container, File& file, const RomLookup& lookup,
                       std::vector<RomMatch>& matches) {
    char* end = nullptr;
    const std::uint64_t size = std::strtoull(file.size.c_str(), &end, 10);
    if (end == file.size.c_str() || *end != '\0' || !mayCarryCopierHeader(size)) return false;
    std::string head;
    ContentDigests content = contentOf(container, file);
    if (!content.readHead(head, kHeaderProbeBytes)) return false;
    const std::optional<CopierHeader> header = detectCopierHeader(head, size);
    if (!header) return false;
    const auto wholeCrc = static_cast<std::uint32_t>(std::strtoul(file.crc.c_str(), nullptr, 16));
    const std::string crc = crcHex(crcAfterHeader(wholeCrc, std::string_view(head).substr(0, header->bytes), size), false);
    const std::string restSize = std::to_string(size - header->bytes);
    // The file's own digests are of the headered content: compare like with like.
    std::string md5, sha1;
    const DigestKinds kinds{!file.md5.empty(), !file.sha1.empty()};
    content.skipHeader(header->bytes);
    if (kinds.any() && !digestsOf(content, !container.isLoose(), md5, sha1, kinds)) return false;
    lookup.find(matches, crc, restSize, md5, sha1);
    if (matches.empty()) return false;
    file.crc = crc;
    file.size = restSize;
    file.md5 = md5;
    file.sha1 = sha1;
    file.headerBytes = header->bytes;
    return true;
}

// Step 3 of identifyFile.
bool findByDigest(const ContainerFiles& container, File& file, const RomLookup& lookup,
                  std::vector<RomMatch>& matches) {
    if (!lookup.crcLessDigests) return false;
    DigestKinds kinds = lookup.crcLessDigests(file.size);
    if (!kinds.any()) return false;
    kinds.md5 = kinds.md5 && file.md5.empty();
    kinds.sha1 = kinds.sha1 && file.sha1.empty();
    if (kinds.any()) {
        std::string md5, sha1;
        if (!digestsOf(contentOf(container, file), !container.isLoose(), md5, sha1, kinds)) return false;
        if (kinds.md5) file.md5 = md5;
        if (kinds.sha1) file.sha1 = sha1;
    }
    lookup.find(matches, {}, file.size, file.md5, file.sha1);
    if (matches.empty()) return false;
    file.crc.clear();
    return true;
}

}  // namespace

RomLookup catalogueLookup(Catalogue& db) {
    return {[&db](std::vector<RomMatch>& found, const std::string& crc, const std::string& size,
                  const std::string& md5, const std::string& sha1) { db.findRom(found, crc, size, md5, sha1); },
            [&db](const std::string& size) { return db.digestsOfCrcLessRows(size); }};
}

std::vector<RomMatch> identifyFile(const ContainerFiles& container, File& file, const RomLookup& lookup) {
    std::vector<RomMatch> matches;
    identifyFile(container, file, lookup, matches);
    return matches;
}

void identifyFile(const ContainerFiles& container, File& file, const RomLookup& lookup,
                  std::vector<RomMatch>& matches) {
    matches.clear();
    lookup.find(matches, file.crc, file.size, file.md5, file.sha1);
    if (!matches.empty() || findWithoutHeader(container, file, lookup, matches) ||
        findByDigest(container, file, lookup, matches))
        return;
    file.size = std::string("-");  // not `= "-"`: GCC 12 warns wrongly (-Wrestrict) there
    lookup.find(matches, file.crc, file.size, file.md5, file.sha1);
}
bool isInPlace(const RomMatch& match, const std::string& system, const std::string& containerName,
               const std::string& entryName) {
    return isInPlace(match.system, match.game, match.name, system, containerName, entryName);
}

bool isInPlace(std::string_view romSystem, std::string_view romGame, std::string_view romName, std::string_view system,
               std::string_view containerName, std::string_view entryName) {
    return romSystem == system && isSetFileOf(containerName, romGame) && entryName == romName;
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
