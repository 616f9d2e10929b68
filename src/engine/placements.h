// The catalogue as scan, fix and rebuild see it under each system's merge
// mode (set_layout.h): a lookup names the set and entry where a ROM belongs,
// one match per place, and a status given to a place reaches every ROM row
// the mode keeps there.
//
// When every system is in split mode, the catalogue's own lookups already
// answer that way and are used unchanged.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
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

private:
    void find(std::vector<RomMatch>& found, const std::string& crc, const std::string& size, const std::string& md5,
              const std::string& sha1);
    void mark(const std::string& crc, const std::string& size, const std::string& name, const std::string& game,
              const std::string& system, RomStatus status);

    // The rows of the last lookup and their places: the status updates
    // that follow a lookup write them without reading every row again (a
    // BIOS ROM that thousands of games need has thousands of places).
    struct LastLookup {
        std::string crc, size;
        std::vector<std::pair<std::string, Slot>> places;  // system, place: as the lookup returned them
        std::vector<std::pair<std::uint64_t, size_t>> rows;  // each row's offset and place
    };

    Catalogue& db_;
    Settings settings_;
    bool allSplit_;
    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<SetLayout>> layouts_;
    std::mutex lastMutex_;
    LastLookup last_;
};

}  // namespace quorvane
