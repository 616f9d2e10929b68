// The RomsDB starters of the report and tool jobs.
#include "catalogue/roms_db.h"
#include "core/settings.h"
#include "tools/export_job.h"
#include "tools/miss_have_job.h"
#include "tools/miss_have_lists.h"
#include "tools/rom_identifier.h"
#include "tools/stats_job.h"

namespace quorvane {

bool RomsDB::createMissHaveAll(JobHost& host, const Settings& settings, std::vector<std::string> systems) {
    if (!usable(host)) return false;
    return runner().start(std::make_unique<MissHaveJob>(shared(), host, settings.basedir, std::move(systems)));
}

bool RomsDB::showStats(JobHost& host, std::function<void(int number, const std::string& text)> sink) {
    if (!usable(host)) return false;
    return runner().start(std::make_unique<StatsJob>(shared(), host, std::move(sink)));
}

bool RomsDB::exportFiles(JobHost& host, const std::string& targetFile, std::vector<std::string> systems,
                         const std::string& systemTemplate, const std::string& gameTemplate,
                         const std::string& romTemplate, int statusMode) {
    if (!usable(host)) return false;
    ExportRequest request{targetFile, std::move(systems), systemTemplate, gameTemplate, romTemplate, statusMode};
    return runner().start(std::make_unique<ExportJob>(shared(), host, std::move(request)));
}

std::string RomsDB::writeHaveList(const Settings& settings, const std::string& system) {
    return quorvane::writeHaveList(impl(), settings.basedir, system).summary;
}

std::string RomsDB::writeMissList(const Settings& settings, const std::string& system) {
    return quorvane::writeMissList(impl(), settings.basedir, system).summary;
}

bool startIdentify(RomsDB& db, JobHost& host, const Settings& settings, std::vector<std::string> paths,
                   std::function<void(std::vector<GenericRom>)> done) {
    return db.runner().start(std::make_unique<IdentifyJob>(db.shared(), host, std::move(paths), settings.useMD5,
                                                            settings.useSHA1, std::move(done)));
}

}  // namespace quorvane
