#include "db/roms_db.h"
#include "import/import_romset_thread.h"

namespace quorvane {

bool RomsDB::importRomset(JobHost& host, const Settings& settings, std::vector<std::string> files) {
    if (!usable(host)) return false;
    return runner().start(std::make_unique<ImportRomsetThread>(host, shared(), settings, std::move(files)));
}

}  // namespace quorvane
