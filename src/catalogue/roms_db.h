// The catalogue database of the current category as the front ends see it:
// the database proper (shared with the jobs) and the starters of the jobs
// that work on it. One job runs at a time; a starter returns false while
// another job is still running (or when the job's preparation failed).
//
// The starters are defined next to their jobs (import/, engine/, tools/), so
// this layer does not depend on them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/job_host.h"
#include "core/settings.h"
#include "core/worker_job.h"

namespace quorvane {

class RomsDB {
public:
    explicit RomsDB(const std::string& basePath) : impl_(std::make_shared<Catalogue>(basePath)) {}
    ~RomsDB() { runner_.wait(); }

    Catalogue& impl() { return *impl_; }
    std::shared_ptr<Catalogue> shared() { return impl_; }
    JobRunner& runner() { return runner_; }
    bool jobRunning() const { return runner_.busy(); }
    void waitForJob() { runner_.wait(); }

    bool deleteSystem(const std::string& system) { return impl_->deleteSystem(system); }
    void deleteDB() { impl_->deleteDB(); }
    void cleanStatus() { impl_->cleanStatus(); }
    std::vector<std::string> getSystems() { return impl_->getSystems(); }
    std::vector<std::string> getIncompleteSystems() { return impl_->getIncompleteSystems(); }
    std::vector<std::string> getCompleteSystems() { return impl_->getCompleteSystems(); }
    Romset getRomset(const std::string& system, int mode) { return impl_->getRomset(system, mode); }
    int findRom(std::vector<GenericRom>& list, const std::string& crc, const std::string& size,
                const std::string& md5, const std::string& sha1) {
        return impl_->findRom(list, crc, size, md5, sha1);
    }
    std::string getSystemVersion(const std::string& system) { return impl_->getSystemVersion(system); }

    // Job starters. Each first makes sure the database can be opened and
    // otherwise says why not (in use, read-only, damaged) and starts nothing.
    bool importRomset(JobHost& host, const Settings& settings, std::vector<std::string> files);
    bool scanSystem(JobHost& host, const Settings& settings, const std::string& system);
    bool scanAll(JobHost& host, const Settings& settings, std::vector<std::string> systems);
    bool fixSystem(JobHost& host, const Settings& settings, const std::string& system);
    bool fixAll(JobHost& host, const Settings& settings, std::vector<std::string> systems);
    bool rebuild(JobHost& host, const Settings& settings, const std::string& sourceFolder);
    bool rebuild(JobHost& host, const Settings& settings, std::vector<std::string> archivePaths);
    bool createMissHaveAll(JobHost& host, const Settings& settings, std::vector<std::string> systems);
    bool showStats(JobHost& host, std::function<void(int number, const std::string& text)> sink);
    bool exportFiles(JobHost& host, const std::string& targetFile, std::vector<std::string> systems,
                     const std::string& systemTemplate, const std::string& gameTemplate,
                     const std::string& romTemplate, int statusMode);

    // Miss/have lists of one system, written below settings.basedir; the
    // summary line, or "-1" when the list could not be written.
    std::string writeHaveList(const Settings& settings, const std::string& system);
    std::string writeMissList(const Settings& settings, const std::string& system);

private:
    bool usable(JobHost& host) {
        if (impl_->probe()) return true;
        host.showInformation(impl_->lastError());
        return false;
    }

    std::shared_ptr<Catalogue> impl_;
    JobRunner runner_;
};

}  // namespace quorvane
