#include "jobs/catalogue_jobs.h"

#include "engine/fix_job.h"
#include "engine/rebuild_job.h"
#include "engine/scan_job.h"
#include "import/import_job.h"
#include "tools/miss_have_job.h"
#include "tools/identify_job.h"

namespace quorvane {

CatalogueJobs::CatalogueJobs(const std::string& basePath, JobRunner::FinishedHandler finished)
    : catalogue_(std::make_shared<Catalogue>(basePath)), runner_(std::move(finished)) {}

bool CatalogueJobs::usable(JobHost& host) {
    if (catalogue_->probe()) return true;
    host.showInformation(catalogue_->lastError());
    return false;
}

bool CatalogueJobs::start(JobHost& host, std::unique_ptr<WorkerJob> job) {
    return usable(host) && runner_.start(std::move(job));
}

bool CatalogueJobs::startImport(JobHost& host, const Settings& settings, std::vector<std::string> datFiles) {
    return start(host, std::make_unique<ImportJob>(host, catalogue_, settings, std::move(datFiles)));
}

bool CatalogueJobs::startScan(JobHost& host, const Settings& settings, const std::string& system) {
    return start(host, std::make_unique<ScanJob>(catalogue_, host, settings, system));
}

bool CatalogueJobs::startScan(JobHost& host, const Settings& settings, std::vector<std::string> systems) {
    return start(host, std::make_unique<ScanJob>(catalogue_, host, settings, std::move(systems)));
}

bool CatalogueJobs::startFix(JobHost& host, const Settings& settings, const std::string& system) {
    return start(host, std::make_unique<FixJob>(catalogue_, host, settings, system));
}

bool CatalogueJobs::startFix(JobHost& host, const Settings& settings, std::vector<std::string> systems) {
    return start(host, std::make_unique<FixJob>(catalogue_, host, settings, std::move(systems)));
}

bool CatalogueJobs::startRebuild(JobHost& host, const Settings& settings, const std::string& sourceFolder) {
    return start(host, std::make_unique<RebuildJob>(catalogue_, host, settings, sourceFolder));
}

bool CatalogueJobs::startRebuild(JobHost& host, const Settings& settings, std::vector<std::string> files) {
    if (files.empty()) return false;
    return start(host, std::make_unique<RebuildJob>(catalogue_, host, settings, std::move(files)));
}

bool CatalogueJobs::startMissHave(JobHost& host, const Settings& settings, std::vector<std::string> systems) {
    return start(host, std::make_unique<MissHaveJob>(catalogue_, host, settings.basedir, std::move(systems)));
}

bool CatalogueJobs::startMissHave(JobHost& host, const Settings& settings, const std::string& system) {
    return start(host, std::make_unique<MissHaveJob>(catalogue_, host, settings.basedir, system));
}

bool CatalogueJobs::startStats(JobHost& host, StatSink sink) {
    return start(host, std::make_unique<StatsJob>(catalogue_, host, std::move(sink)));
}

bool CatalogueJobs::startExport(JobHost& host, ExportRequest request) {
    return start(host, std::make_unique<ExportJob>(catalogue_, host, std::move(request)));
}

bool CatalogueJobs::startIdentify(JobHost& host, const Settings& settings, std::vector<std::string> archives,
                                  std::function<void(std::vector<RomMatch>)> done) {
    return runner_.start(std::make_unique<IdentifyJob>(catalogue_, host, std::move(archives), settings.useMD5,
                                                       settings.useSHA1, std::move(done)));
}

}  // namespace quorvane
