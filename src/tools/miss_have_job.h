// The miss/have lists of a list of systems, plus the two summary files
// basedir/have.txt and basedir/miss.txt: one summary line per system (or
// "-1" where its list could not be written), each followed by an empty line,
// in the order of the list given. It shows its progress and ends with "Files
// creation completed.".
//
// Of the one system a person chose, only that system's lists are written and
// nothing is shown but why a list could not be written.
//
// How to use: CatalogueJobs::startMissHave(host, settings, systems or system).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/job_host.h"
#include "core/worker_job.h"

namespace quorvane {

class Catalogue;

inline constexpr const char* kMissHaveAction = "Creating Miss/Have files...";
inline constexpr const char* kMissHaveInitializing = "Initializing...";
inline constexpr const char* kMissHaveDone = "Files creation completed.";

std::string haveSummaryPath(const std::string& basedir);
std::string missSummaryPath(const std::string& basedir);

class MissHaveJob final : public WorkerJob {
public:
    MissHaveJob(std::shared_ptr<Catalogue> db, JobHost& host, std::string basedir,
                std::vector<std::string> systems);
    MissHaveJob(std::shared_ptr<Catalogue> db, JobHost& host, std::string basedir, std::string system);
    bool prepare() override;
    JobResult execute() override;

private:
    std::shared_ptr<Catalogue> db_;
    JobHost& host_;
    std::string basedir_;
    std::vector<std::string> systems_;
    bool oneChosen_ = false;
};

}  // namespace quorvane
