#include "engine/scan_outcome.h"

#include <libdeflate.h>

#include <cstring>
#include <string_view>

#include "core/file_util.h"
#include "engine/record_fields.h"

namespace quorvane {

namespace {

constexpr char kMagic[8] = {'Q', 'V', 'S', 'C', 'A', 'N', 'S', '\0'};

int* countsOf(StatusCounts& c, size_t i) {
    int* fields[] = {&c.gamesComplete, &c.gamesIncomplete, &c.gamesMissing, &c.romsHave, &c.romsMissing, &c.romsElsewhere};
    return fields[i];
}
constexpr size_t kCounts = 6;

}  // namespace

std::string ScanOutcome::pathFor(const std::string& cataloguePath, const std::string& system) {
    return cataloguePath + ".scans/" + system + ".status";
}

std::optional<ScanOutcome> ScanOutcome::read(const std::string& path) {
    std::string bytes;
    if (!readWholeFile(path, bytes) || bytes.size() < sizeof kMagic + 4) return std::nullopt;
    const size_t body = bytes.size() - 4;
    if (FieldReader(bytes.data() + body, 4).number(4) != libdeflate_crc32(0, bytes.data(), body) ||
        std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    FieldReader in(bytes.data() + sizeof kMagic, body - sizeof kMagic);
    if (in.number(4) != kVersion) return std::nullopt;
    ScanOutcome out;
    out.folder = in.text();
    out.catalogue = in.text();
    out.cacheSize = in.number(8);
    out.cacheCrc = static_cast<std::uint32_t>(in.number(4));
    out.records = readStamp(in);
    for (size_t i = 0; i < kCounts; ++i) *countsOf(out.counts, i) = static_cast<int>(in.number(8));
    if (!in.atEnd()) return std::nullopt;
    return out;
}

bool ScanOutcome::write(const std::string& path) const {
    FieldWriter out;
    out.raw(kMagic, sizeof kMagic);
    out.number(kVersion, 4);
    out.text(folder);
    out.text(catalogue);
    out.number(cacheSize, 8);
    out.number(cacheCrc, 4);
    writeStamp(out, records);
    StatusCounts c = counts;
    for (size_t i = 0; i < kCounts; ++i) out.number(static_cast<std::uint64_t>(*countsOf(c, i)), 8);
    out.number(libdeflate_crc32(0, out.bytes().data(), out.bytes().size()), 4);
    return makeFolders(dirName(path)) && writeFileAtomically(path, out.bytes());
}

bool ScanOutcome::holdsFor(const std::string& folderNow, const std::string& catalogueNow, std::uint64_t cacheSizeNow,
                           std::uint32_t cacheCrcNow, const FileStamp& recordsNow) const {
    return !catalogueNow.empty() && folder == folderNow && catalogue == catalogueNow && cacheSize == cacheSizeNow &&
           cacheCrc == cacheCrcNow && recordsNow.valid && records == recordsNow;
}

bool ScanOutcome::operator==(const ScanOutcome& other) const {
    StatusCounts a = counts, b = other.counts;
    for (size_t i = 0; i < kCounts; ++i)
        if (*countsOf(a, i) != *countsOf(b, i)) return false;
    return folder == other.folder && catalogue == other.catalogue && cacheSize == other.cacheSize &&
           cacheCrc == other.cacheCrc && records == other.records;
}

}  // namespace quorvane
