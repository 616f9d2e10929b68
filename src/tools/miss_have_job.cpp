#include "tools/miss_have_job.h"

#include "catalogue/catalogue.h"
#include "core/file_util.h"
#include "tools/miss_have_lists.h"

namespace quorvane {

std::string haveSummaryPath(const std::string& basedir) { return basedir + "/have.txt"; }
std::string missSummaryPath(const std::string& basedir) { return basedir + "/miss.txt"; }

MissHaveJob::MissHaveJob(std::shared_ptr<Catalogue> db, JobHost& host, std::string basedir,
                               std::vector<std::string> systems)
    : db_(std::move(db)), host_(host), basedir_(std::move(basedir)), systems_(std::move(systems)) {}

MissHaveJob::MissHaveJob(std::shared_ptr<Catalogue> db, JobHost& host, std::string basedir, std::string system)
    : db_(std::move(db)), host_(host), basedir_(std::move(basedir)), systems_{std::move(system)}, oneChosen_(true) {}

namespace {

// Both lists of one system; why either could not be written goes to `host`.
ListOutcome writeLists(Catalogue& db, JobHost& host, const std::string& basedir, const std::string& system,
                       std::string* missSummary) {
    ListOutcome have = writeHaveList(db, basedir, system);
    const ListOutcome miss = writeMissList(db, basedir, system);
    if (!have.error.empty()) host.addMessage(have.error);
    if (!miss.error.empty() && miss.error != have.error) host.addMessage(miss.error);
    if (!have.error.empty() || !miss.error.empty()) host.countFailedStep();
    if (missSummary) *missSummary = miss.summary;
    return have;
}

}  // namespace

bool MissHaveJob::prepare() {
    if (oneChosen_) return true;
    host_.startProgress(kMissHaveAction, 1);
    host_.updateProgress(kMissHaveInitializing, 0);
    return true;
}

JobResult MissHaveJob::execute() {
    if (oneChosen_) {
        writeLists(*db_, host_, basedir_, systems_.front(), nullptr);
        return {};
    }
    host_.setProgressMax(static_cast<int>(systems_.size()));
    // One open for the whole run instead of two per system.
    // When that fails each list reports the failure itself.
    if (db_->openDB() != StoreStatus::Ok) db_->closeDB();
    std::string haveSummary, missSummary;
    for (size_t i = 0; i < systems_.size(); ++i) {
        const std::string& system = systems_[i];
        host_.updateProgress(system, static_cast<int>(i));
        std::string miss;
        haveSummary += writeLists(*db_, host_, basedir_, system, &miss).summary + "\r\n\r\n";
        missSummary += miss + "\r\n\r\n";
    }
    db_->closeDB();
    // The summaries are written whole at the end, so a failed run never
    // leaves one that looks complete.
    if (basedir_.empty()) {
        host_.addMessage("No base folder is set; the summary files were not written.");
        host_.countFailedStep();
    } else {
        for (const auto& [path, text] : {std::pair{haveSummaryPath(basedir_), &haveSummary},
                                         std::pair{missSummaryPath(basedir_), &missSummary}}) {
            std::string error;
            if (!writeFileAtomically(path, *text, &error)) {
                host_.addMessage(error);
                host_.countFailedStep();
            }
        }
    }
    host_.closeProgress();
    host_.showInformation(kMissHaveDone);
    return {JobResult::Refresh::SystemsAndGames, {}};
}

}  // namespace quorvane
