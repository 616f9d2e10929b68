// Identification as a job (CatalogueJobs::startIdentify), so the desktop
// window stays responsive while digests are computed.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/job_host.h"
#include "core/records.h"
#include "core/worker_job.h"

namespace quorvane {

class Catalogue;

// Identification as a job: progress per archive, `done` receives the hits on
// the job's thread when it ends.
class IdentifyJob final : public WorkerJob {
public:
    IdentifyJob(std::shared_ptr<Catalogue> db, JobHost& host, std::vector<std::string> paths, bool useMD5,
                bool useSHA1, std::function<void(std::vector<RomMatch>)> done);
    bool prepare() override;
    JobResult execute() override;

private:
    std::shared_ptr<Catalogue> db_;
    JobHost& host_;
    std::vector<std::string> paths_;
    bool useMD5_, useSHA1_;
    std::function<void(std::vector<RomMatch>)> done_;
};

}  // namespace quorvane
