// The catalogue as scan, fix and rebuild see it under each system's merge
// mode (set_layout.h): a lookup names the set and entry where a ROM belongs,
// one match per place, and a status given to a place reaches every ROM row
// the mode keeps there.
//
// When every system is in split mode, the matches and the rows a status
// reaches are the catalogue's own (Catalogue::findRom, setHave).
//
// Each lookup is kept (the last one only): the status updates that follow it,
// and a later pass over the same file (recall), go to its rows by offset
// instead of looking them up again.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/settings.h"
#include "engine/identification.h"
#include "engine/set_layout.h"

namespace quorvane {

class Placements {
public:
    Placements(Catalogue& db, const Settings& settings);

    // Matches name the place (game, name) a ROM belongs in, not its row.
    RomLookup lookup();
    void setHave(const std::string& crc, const std::string& size, const std::string& name, const std::string& game,
                 const std::string& system) {
        mark(crc, size, name, game, system, RomStatus::Have);
    }
    void setPresent(const std::string& crc, const std::string& size, const std::string& name,
                    const std::string& game, const std::string& system) {
        mark(crc, size, name, game, system, RomStatus::Present);
    }
    // The layout of `system`, read on first use.
    const SetLayout& layoutOf(const std::string& system);

    // Adds to `out` a list of the rows behind the last lookup's matches
    // (after identifyFile: the file's); an empty one when it matched nothing.
    void addLastRows(FoundRowLists& out);
    // Makes `rows` (from addLastRows) the last lookup again, with every status
    // as it is now, and appends its matches to `found`: what the lookup that
    // made them would find, as long as the catalogue's rows are unchanged.
    // False, with nothing appended, when a row cannot be read.
    bool recall(FoundRows rows, std::vector<RomMatch>& found);
    // Gives `status` to match `index` of the last lookup, as setHave and
    // setPresent would; `marked`, when given, receives the rows it reaches.
    void markMatch(size_t index, RomStatus status, std::vector<std::uint64_t>* marked = nullptr);
    // Whether every system is in split mode.
    bool allSplit() const { return allSplit_; }
    // In split mode, what a scan's first look at `file` does through
    // identifyFile, addLastRows and markMatch, with the rows read as views
    // and no match built: when a ROM matches the file's CRC and size,
    // `found` (when given) receives the file's rows as a list, Have goes to
    // the rows of each match in place for `system`, `containerName` and the
    // file's name (appended to `marked`, when given), and the result says
    // whether every match was in place. Nothing is done when no ROM matches
    // that way: the identification looks further. The last lookup stays
    // the one before.
    std::optional<bool> markInPlace(const File& file, const std::string& system, std::string_view containerName,
                                    FoundRowLists* found, std::vector<std::uint64_t>* marked);

private:
    void find(std::vector<RomMatch>& found, const std::string& crc, const std::string& size, const std::string& md5,
              const std::string& sha1);
    void mark(const std::string& crc, const std::string& size, const std::string& name, const std::string& game,
              const std::string& system, RomStatus status);

    // The last lookup: every row filed under its key, which of them answered
    // it, and the matches they make (a BIOS ROM that thousands of games need
    // has thousands of rows).
    struct LastLookup {
        bool keyed = false;  // false after recall, which knows no key
        std::string crc, size;
        std::vector<Catalogue::FiledRow> rows;
        std::vector<bool> matched;
        std::vector<RomMatch> matches;
        // Split: the row of each match. Other modes: each row's match, or kNone.
        std::vector<size_t> matchRow;
        std::vector<size_t> rowMatch;
    };
    static constexpr size_t kNone = static_cast<size_t>(-1);
    // Fills last_'s matches from its rows (lastMutex_ held).
    void settleLast();
    // The rows a status given to (system, game, name) reaches (lastMutex_ held).
    void rowsOfPlace(const std::string& system, const std::string& game, const std::string& name,
                     std::vector<std::uint64_t>& offsets) const;

    Catalogue& db_;
    Settings settings_;
    bool allSplit_;
    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<SetLayout>> layouts_;
    std::mutex lastMutex_;
    LastLookup last_;
    std::vector<Catalogue::FiledRow> spareRows_;
};

}  // namespace quorvane
