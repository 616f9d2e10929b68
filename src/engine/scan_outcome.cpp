#include "engine/scan_outcome.h"

#include <libdeflate.h>

#include <cstring>
#include <string_view>

#include "core/file_util.h"

namespace quorvane {

namespace {

constexpr char kMagic[8] = {'Q', 'V', 'S', 'C', 'A', 'N', 'S', '\0'};

void putNumber(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void putText(std::string& out, const std::string& text) {
    putNumber(out, text.size(), 4);
    out += text;
}

// Reads back what putNumber and putText wrote; once short, every read fails.
class Cursor {
public:
    explicit Cursor(std::string_view bytes) : left_(bytes) {}
    std::uint64_t number(int bytes) {
        if (left_.size() < static_cast<size_t>(bytes)) {
            ok_ = false;
            left_ = {};
            return 0;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) value |= std::uint64_t{static_cast<unsigned char>(left_[i])} << (8 * i);
        left_.remove_prefix(static_cast<size_t>(bytes));
        return value;
    }
    std::string text() {
        const std::uint64_t size = number(4);
        if (!ok_ || size > left_.size()) {
            ok_ = false;
            return {};
        }
        std::string out(left_.substr(0, static_cast<size_t>(size)));
        left_.remove_prefix(static_cast<size_t>(size));
        return out;
    }
    bool atEnd() const { return ok_ && left_.empty(); }

private:
    std::string_view left_;
    bool ok_ = true;
};

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
    if (Cursor(std::string_view(bytes).substr(body)).number(4) != libdeflate_crc32(0, bytes.data(), body) ||
        std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    Cursor in(std::string_view(bytes).substr(sizeof kMagic, body - sizeof kMagic));
    if (in.number(4) != kVersion) return std::nullopt;
    ScanOutcome out;
    out.folder = in.text();
    out.catalogue = in.text();
    out.cacheSize = in.number(8);
    out.cacheCrc = static_cast<std::uint32_t>(in.number(4));
    out.records.valid = true;
    out.records.device = in.number(8);
    out.records.inode = in.number(8);
    out.records.size = static_cast<long long>(in.number(8));
    out.records.modifiedNs = static_cast<long long>(in.number(8));
    out.records.changedNs = static_cast<long long>(in.number(8));
    for (size_t i = 0; i < kCounts; ++i) *countsOf(out.counts, i) = static_cast<int>(in.number(8));
    if (!in.atEnd()) return std::nullopt;
    return out;
}

bool ScanOutcome::write(const std::string& path) const {
    std::string out(kMagic, sizeof kMagic);
    putNumber(out, kVersion, 4);
    putText(out, folder);
    putText(out, catalogue);
    putNumber(out, cacheSize, 8);
    putNumber(out, cacheCrc, 4);
    putNumber(out, records.device, 8);
    putNumber(out, records.inode, 8);
    putNumber(out, static_cast<std::uint64_t>(records.size), 8);
    putNumber(out, static_cast<std::uint64_t>(records.modifiedNs), 8);
    putNumber(out, static_cast<std::uint64_t>(records.changedNs), 8);
    StatusCounts c = counts;
    for (size_t i = 0; i < kCounts; ++i) putNumber(out, static_cast<std::uint64_t>(*countsOf(c, i)), 8);
    putNumber(out, libdeflate_crc32(0, out.data(), out.size()), 4);
    return makeFolders(dirName(path)) && writeFileAtomically(path, out);
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
