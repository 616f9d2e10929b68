#include "tools/identify_job.h"

#include "catalogue/catalogue.h"
#include "core/job_report.h"
#include "tools/rom_identifier.h"

namespace quorvane {

IdentifyJob::IdentifyJob(std::shared_ptr<Catalogue> db, JobHost& host, std::vector<std::string> paths,
                         bool useMD5, bool useSHA1, std::function<void(std::vector<RomMatch>)> done)
    : db_(std::move(db)), host_(host), paths_(std::move(paths)), useMD5_(useMD5), useSHA1_(useSHA1),
      done_(std::move(done)) {}

bool IdentifyJob::prepare() {
    host_.startProgress(kIdentifyAction, static_cast<int>(paths_.size()));
    return true;
}

JobResult IdentifyJob::execute() {
    // Without the catalogue nothing can be identified: that is a failure,
    // not a list of inputs that match nothing.
    std::vector<RomMatch> hits;
    auto report = std::make_shared<JobReport>();
    report->command = JobReport::Command::Identify;
    if (db_->openDB() != StoreStatus::Ok) {
        host_.addMessage(db_->lastError());
        host_.countFailedStep();
    } else {
        hits = identifyArchives(*db_, paths_, useMD5_, useSHA1_, &host_, report.get());
    }
    db_->closeDB();
    host_.closeProgress();
    report->cancelled = host_.cancelRequested();
    if (done_) done_(std::move(hits));
    host_.addReport(std::move(report));
    return {};
}

}  // namespace quorvane
