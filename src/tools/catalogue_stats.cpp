#include "tools/catalogue_stats.h"

#include <charconv>
#include <cstdint>
#include <map>
#include <set>
#include <optional>

#include "catalogue/catalogue.h"

namespace quorvane {

namespace {

const std::array<StatRow, kStatCount> kRows = {{
    {1, "totalnumroms", "Total number of roms:"},
    {2, "totalnumsets", "Total number of sets:"},
    {3, "totalnumgames", "Total number of games:"},
    {5, "biggestset", "Biggest set (# of roms):"},
    {4, "biggestsetnum", "Biggest set (size bytes):"},
    {6, "smallestsetnum", "Smallest set (# of roms):"},
    {7, "smallestset", "Smallest set (size bytes):"},
    {8, "incompletesetsnum", "Number of incomplete sets:"},
    {9, "availroms", "Number of availbale roms:"},
    {10, "dbsize", "Complete DB size bytes:"},
    {11, "romssize", "Available roms size bytes:"},
    {12, "missingromsnum", "Number of missing roms:"},
    {13, "biggestrom", "Biggest rom (size bytes):"},
    {14, "smallestrom", "Smallest rom (size bytes):"},
}};

std::optional<std::uint64_t> knownSize(const std::string& text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

struct SetTally {
    std::uint64_t roms = 0;
    std::uint64_t bytes = 0;
    bool anySizeKnown = false;
    bool complete = true;
};

// Keeps the smallest and largest value seen.
struct Extremes {
    std::optional<std::uint64_t> low, high;
    void see(std::uint64_t v) {
        if (!low || v < *low) low = v;
        if (!high || v > *high) high = v;
    }
};

std::string text(std::optional<std::uint64_t> v) { return std::to_string(v.value_or(0)); }

}  // namespace

const std::array<StatRow, kStatCount>& statRowsTopToBottom() { return kRows; }

const StatRow& statRow(int number) {
    for (const StatRow& row : kRows)
        if (row.number == number) return row;
    return kRows[0];
}

void CatalogueStats::collect(Catalogue& db) {
    std::map<std::string, SetTally> sets;
    std::set<std::pair<std::string, std::string>> games;
    std::uint64_t available = 0, missing = 0, dbBytes = 0, availableBytes = 0;
    Extremes romSize;
    db.forEachRow([&](const RomRow& row) {
        SetTally& set = sets[row.system];
        games.emplace(row.system, row.game);
        ++set.roms;
        const bool have = row.status == RomStatus::Have;
        if (have) ++available;
        else {
            ++missing;
            set.complete = false;
        }
        if (const auto size = knownSize(row.size)) {
            romSize.see(*size);
            set.bytes += *size;
            set.anySizeKnown = true;
            dbBytes += *size;
            if (have) availableBytes += *size;
        }
    });

    Extremes setRoms, setBytes;
    std::uint64_t incomplete = 0;
    for (const auto& [name, set] : sets) {
        setRoms.see(set.roms);
        if (set.anySizeKnown) setBytes.see(set.bytes);
        if (!set.complete) ++incomplete;
    }
    values_.fill("0");
    values_[3] = std::to_string(games.size());
    values_[4] = text(setBytes.high);
    values_[5] = text(setRoms.high);
    values_[6] = text(setRoms.low);
    values_[7] = text(setBytes.low);
    values_[8] = std::to_string(incomplete);
    values_[9] = std::to_string(available);
    values_[10] = std::to_string(dbBytes);
    values_[11] = std::to_string(availableBytes);
    values_[12] = std::to_string(missing);
    values_[13] = text(romSize.high);
    values_[14] = text(romSize.low);
}

std::string CatalogueStats::value(int number) const {
    if (number < 3 || number > kStatCount || values_[static_cast<size_t>(number)].empty()) return "0";
    return values_[static_cast<size_t>(number)];
}

std::string statValue(Catalogue& db, const CatalogueStats& stats, int number) {
    if (number == 1 || number == 2) return db.getCount(number);
    return stats.value(number);
}

}  // namespace quorvane
