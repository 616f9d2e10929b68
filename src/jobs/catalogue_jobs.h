// The current category's catalogue as the front ends work on it: the
// catalogue itself (shared with the running job) and the starters of the jobs
// over it. One job runs at a time, on a thread of its own.
//
// Every starter returns false when it started nothing: the catalogue cannot
// be used (the host is told why: in use, read-only, damaged), another job is
// still running (busy() says so), or the job refused in its preparation
// (and said why).
//
// How to use:
//   CatalogueJobs jobs(settings.currentDatabasePath());
//   if (jobs.startScan(host, settings, "System")) jobs.wait();
// A front end that shows the catalogue gives a finished handler and brings
// its windows up to date from each JobResult.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/job_host.h"
#include "core/records.h"
#include "core/settings.h"
#include "core/worker_job.h"
#include "tools/export_job.h"
#include "tools/stats_job.h"

namespace quorvane {

class CatalogueJobs final {
public:
    // `finished` hears of every job that ran (see JobRunner).
    explicit CatalogueJobs(const std::string& basePath, JobRunner::FinishedHandler finished = {});
    ~CatalogueJobs() { runner_.wait(); }
    CatalogueJobs(const CatalogueJobs&) = delete;
    CatalogueJobs& operator=(const CatalogueJobs&) = delete;

    Catalogue& catalogue() { return *catalogue_; }
    bool busy() const { return runner_.busy(); }
    // Blocks until the running job (if any) has ended.
    void wait() { runner_.wait(); }

    // Reads DAT files into the catalogue, one after another.
    bool startImport(JobHost& host, const Settings& settings, std::vector<std::string> datFiles);
    // Scan or fix of the one system a person chose, or of a list of systems
    // (see FolderJob for how the two differ).
    bool startScan(JobHost& host, const Settings& settings, const std::string& system);
    bool startScan(JobHost& host, const Settings& settings, std::vector<std::string> systems);
    bool startFix(JobHost& host, const Settings& settings, const std::string& system);
    bool startFix(JobHost& host, const Settings& settings, std::vector<std::string> systems);
    // Rebuild from a folder ("$BASEDIR$" allowed), or from a list of files
    // (an empty list starts nothing).
    bool startRebuild(JobHost& host, const Settings& settings, const std::string& sourceFolder);
    bool startRebuild(JobHost& host, const Settings& settings, std::vector<std::string> files);
    // The miss/have lists of the systems and the two summary files, or only
    // the lists of the one system a person chose.
    bool startMissHave(JobHost& host, const Settings& settings, std::vector<std::string> systems);
    bool startMissHave(JobHost& host, const Settings& settings, const std::string& system);
    bool startStats(JobHost& host, StatSink sink);
    bool startExport(JobHost& host, ExportRequest request);
    // Identifies the entries of archives; `done` gets the hits on the job's
    // thread. Identification only reads, so it runs on a catalogue that is in
    // use or read-only too.
    bool startIdentify(JobHost& host, const Settings& settings, std::vector<std::string> archives,
                       std::function<void(std::vector<RomMatch>)> done);

private:
    // Whether the catalogue can be used; otherwise the host is told why.
    bool usable(JobHost& host);
    bool start(JobHost& host, std::unique_ptr<WorkerJob> job);

    std::shared_ptr<Catalogue> catalogue_;
    JobRunner runner_;
};

}  // namespace quorvane
