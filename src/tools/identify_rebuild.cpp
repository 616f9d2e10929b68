// "Rebuild this" and "Rebuild All": kept apart so the identifier builds
// without the rebuild job.
#include "catalogue/roms_db.h"
#include "core/settings.h"
#include "tools/rom_identifier.h"

namespace quorvane {

bool startRebuildOf(RomsDB& db, JobHost& host, const Settings& settings, std::vector<std::string> paths) {
    if (paths.empty()) return false;
    return db.rebuild(host, settings, std::move(paths));
}

}  // namespace quorvane
