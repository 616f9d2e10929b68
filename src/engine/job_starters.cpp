// The RomsDB job starters of scan, fix and rebuild.
#include "catalogue/roms_db.h"
#include "engine/fix_job.h"
#include "engine/rebuild_job.h"
#include "engine/scan_job.h"

namespace quorvane {

bool RomsDB::scanSystem(JobHost& host, const Settings& settings, const std::string& system) {
    if (!usable(host)) return false;
    return runner().start(std::make_unique<ScanJob>(shared(), host, settings, system));
}

bool RomsDB::scanAll(JobHost& host, const Settings& settings, std::vector<std::string> systems) {
    if (!usable(host)) return false;
    return runner().start(std::make_unique<ScanJob>(shared(), host, settings, std::move(systems)));
}

bool RomsDB::fixSystem(JobHost& host, const Settings& settings, const std::string& system) {
    if (!usable(host)) return false;
    return runner().start(std::make_unique<FixJob>(shared(), host, settings, system));
}

bool RomsDB::fixAll(JobHost& host, const Settings& settings, std::vector<std::string> systems) {
    if (!usable(host)) return false;
    return runner().start(std::make_unique<FixJob>(shared(), host, settings, std::move(systems)));
}

bool RomsDB::rebuild(JobHost& host, const Settings& settings, const std::string& sourceFolder) {
    if (!usable(host)) return false;
    return runner().start(std::make_unique<RebuildJob>(shared(), host, settings, sourceFolder));
}

bool RomsDB::rebuild(JobHost& host, const Settings& settings, std::vector<std::string> archivePaths) {
    if (!usable(host)) return false;
    return runner().start(std::make_unique<RebuildJob>(shared(), host, settings, std::move(archivePaths)));
}

}  // namespace quorvane
