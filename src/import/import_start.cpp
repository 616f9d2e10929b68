#include "catalogue/roms_db.h"
#include "import/import_job.h"

namespace quorvane {

bool RomsDB::importRomset(JobHost& host, const Settings& settings, std::vector<std::string> files) {
    if (!usable(host)) return false;
    return runner().start(std::make_unique<ImportJob>(host, shared(), settings, std::move(files)));
}

}  // namespace quorvane
