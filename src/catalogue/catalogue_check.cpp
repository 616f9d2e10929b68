#include "catalogue/catalogue_check.h"

#include <map>
#include <set>
#include <unordered_map>

#include "catalogue/catalogue_scan.h"
#include "catalogue/row_store.h"

namespace quorvane {

namespace {

constexpr size_t kMaxRowProblems = 20;

std::string sizeKeyOf(const RowStore::RowView& v) {
    const size_t sum = v.system.size() + v.game.size() + v.crc.size() + v.romName.size() + v.size.size() +
                       v.md5.size() + v.sha1.size() + v.cloneOf.size() + v.romOf.size() + v.version.size() +
                       v.author.size();
    return std::to_string(sum + 8);
}

class Comparison {
public:
    Comparison(const CatalogueScan& scan, CatalogueReport& report) : scan_(scan), report_(report) {}

    void run() {
        const auto& sys = scan_.indexes[CatalogueScan::kSys];
        const auto& crc = scan_.indexes[CatalogueScan::kCrc];
        const auto& cat = scan_.indexes[CatalogueScan::kSysCat];
        const auto& del = scan_.indexes[CatalogueScan::kDel];
        const auto& game = scan_.indexes[CatalogueScan::kGame];

        std::set<std::string> systemsWithRows;
        for (const auto& r : sys.records) {
            const CatalogueScan::Row* row = target("_sys.idx", r);
            if (!row) continue;
            const RowStore::RowView v = scan_.view(*row);
            if (v.system != r.key) {
                problem("_sys.idx: the entry of system " + r.key + " points at a row of system " + std::string(v.system));
                continue;
            }
            if (!live_.emplace(row->offset, 0).second) {
                problem("_sys.idx: two entries point at the row at byte " + std::to_string(row->offset));
                continue;
            }
            systemsWithRows.insert(r.key);
            if (!romStatusFromLetter(v.status))
                problem(".rcf: the row at byte " + std::to_string(row->offset) + " has no valid status");
        }
        for (const auto& r : crc.records) {
            const CatalogueScan::Row* row = target("_crc.idx", r);
            if (!row) continue;
            const RowStore::RowView v = scan_.view(*row);
            if (std::string(v.crc) + std::string(v.size) != r.key) {
                problem("_crc.idx: the entry " + r.key + " points at a row with CRC and size " + std::string(v.crc) +
                        std::string(v.size));
                continue;
            }
            auto it = live_.find(row->offset);
            if (it == live_.end()) {
                if (sys.complete)
                    problem("_crc.idx: the entry " + r.key + " points at the row at byte " + std::to_string(row->offset) +
                            ", which no system holds");
                continue;
            }
            ++it->second;
        }
        if (sys.complete && crc.complete) {
            for (const auto& [offset, entries] : live_)
                if (entries != 1)
                    problem("the row at byte " + std::to_string(offset) + " has " + std::to_string(entries) +
                            " CRC index entries instead of one");
        }
        // An absent or empty game index is built by the next open.
        if (game.present && !game.records.empty()) compareGameIndex(game, sys.complete);
        std::set<std::string> catalogued;
        for (const auto& r : cat.records) {
            catalogued.insert(r.key);
            if (r.data != "N" && r.data != "C") problem("_sysCat.idx: system " + r.key + " has no valid status");
            if (sys.complete && !systemsWithRows.count(r.key))
                problem("_sysCat.idx: system " + r.key + " is listed but has no rows");
        }
        if (cat.complete)
            for (const std::string& s : systemsWithRows)
                if (!catalogued.count(s)) problem("system " + s + " has rows but no entry in _sysCat.idx");

        std::set<std::uint64_t> freed;
        for (const auto& r : del.records) {
            const CatalogueScan::Row* row = target("_del.idx", r);
            if (!row) continue;
            if (live_.count(row->offset)) {
                problem("_del.idx: the row at byte " + std::to_string(row->offset) + " is free and held by a system");
                continue;
            }
            if (!freed.insert(row->offset).second) {
                problem("_del.idx: the row at byte " + std::to_string(row->offset) + " is free twice");
                continue;
            }
            if (sizeKeyOf(scan_.view(*row)) != r.key)
                problem("_del.idx: the row at byte " + std::to_string(row->offset) + " is filed under size " + r.key +
                        " but has size " + sizeKeyOf(scan_.view(*row)));
        }
        if (sys.complete && del.complete) {
            for (const CatalogueScan::Row& row : scan_.rows)
                if (!live_.count(row.offset) && !freed.count(row.offset))
                    problem("the row at byte " + std::to_string(row.offset) + " (system " +
                            std::string(scan_.view(row).system) + ") is neither held by a system nor free");
        }
        report_.rows = live_.size();
        report_.freeRows = freed.size();
        report_.systems = systemsWithRows.size();
        if (hidden_ > 0) report_.problems.push_back("and " + std::to_string(hidden_) + " more problems of rows and indexes");
    }

private:
    void compareGameIndex(const CatalogueScan::Index& game, bool allLiveKnown) {
        std::map<std::uint64_t, int> entries;
        for (const auto& r : game.records) {
            const CatalogueScan::Row* row = target("_game.idx", r);
            if (!row) continue;
            const RowStore::RowView v = scan_.view(*row);
            if (RowStore::gameKey(v.system, v.game) != r.key) {
                problem("_game.idx: an entry of system " + r.key.substr(0, r.key.find('\0')) +
                        " points at the row of game " + std::string(v.game) + " of system " + std::string(v.system));
                continue;
            }
            if (!live_.count(row->offset)) {
                if (allLiveKnown)
                    problem("_game.idx: the entry of game " + std::string(v.game) + " points at the row at byte " +
                            std::to_string(row->offset) + ", which no system holds");
                continue;
            }
            ++entries[row->offset];
        }
        if (!allLiveKnown || !game.complete) return;
        for (const auto& [offset, crcEntries] : live_)
            if (const int n = entries.count(offset) ? entries.at(offset) : 0; n != 1)
                problem("the row at byte " + std::to_string(offset) + " has " + std::to_string(n) +
                        " game index entries instead of one");
    }

    void problem(const std::string& text) {
        if (++found_ <= kMaxRowProblems) report_.problems.push_back(text);
        else ++hidden_;
    }

    // The row an index entry points at, or null (with a problem).
    const CatalogueScan::Row* target(const char* file, const keyfile::KeyRecord& r) {
        std::uint64_t offset;
        if (!RowStore::parseOffset(r.data, offset)) {
            problem(std::string(file) + ": the entry " + r.key + " holds no row offset");
            return nullptr;
        }
        const CatalogueScan::Row* row = scan_.rowAt(offset);
        if (!row)
            problem(std::string(file) + ": the entry " + r.key + " points at byte " + std::to_string(offset) +
                    ", where no readable row starts");
        return row;
    }

    const CatalogueScan& scan_;
    CatalogueReport& report_;
    std::map<std::uint64_t, int> live_;  // live row -> its CRC entries
    size_t found_ = 0;
    size_t hidden_ = 0;
};

}  // namespace

void compareRowsWithIndexes(const CatalogueScan& scan, CatalogueReport& report) {
    Comparison(scan, report).run();
}

StoreStatus checkCatalogue(const std::string& basePath, CatalogueReport& report) {
    RowStore t(basePath);
    const StoreStatus rc = t.lockFiles();
    if (rc != StoreStatus::Ok) return rc;
    CatalogueScan scan;
    scanCatalogue(basePath, scan);
    report.problems = scan.problems;
    compareRowsWithIndexes(scan, report);
    return StoreStatus::Ok;
}

std::string checkSummary(const std::string& basePath, const CatalogueReport& report) {
    return "Checked database " + basePath + ": " + std::to_string(report.systems) + " systems, " +
           std::to_string(report.rows) + " rows, " + std::to_string(report.freeRows) + " free rows.";
}

}  // namespace quorvane
