// The statistics job: fills figures 1 to 14 of the statistics window, in
// number order, each as soon as it is known.
//
// How to use: CatalogueJobs::startStats(host, sink). The sink is called on the job's
// thread; the desktop program forwards each call to the GUI thread and waits.
// Preparation blanks all fourteen values before the job starts.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/job_host.h"
#include "core/worker_job.h"

namespace quorvane {

class Catalogue;

// Receives one figure: its number (1..14) and its text.
using StatSink = std::function<void(int number, const std::string& text)>;

class StatsJob final : public WorkerJob {
public:
    StatsJob(std::shared_ptr<Catalogue> db, JobHost& host, StatSink sink);
    bool prepare() override;
    JobResult execute() override;

private:
    std::shared_ptr<Catalogue> db_;
    JobHost& host_;
    StatSink sink_;
};

}  // namespace quorvane
