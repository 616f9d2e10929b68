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

bool MissHaveJob::prepare() {
    host_.startProgress(kMissHaveAction, 1);
    host_.updateProgress(kMissHaveInitializing, 0);
    return true;
}

void MissHaveJob::execute() {
    host_.setProgressMax(static_cast<int>(systems_.size()));
    // One open for the whole run instead of two per system.
    // When that fails each list reports the failure itself.
    if (db_->openDB() != StoreStatus::Ok) db_->closeDB();
    std::string haveSummary, missSummary;
    for (size_t i = 0; i < systems_.size(); ++i) {
        const std::string& system = systems_[i];
        host_.updateProgress(system, static_cast<int>(i));
        const ListOutcome have = writeHaveList(*db_, basedir_, system);
        const ListOutcome miss = writeMissList(*db_, basedir_, system);
        if (!have.error.empty()) host_.addMessage(have.error);
        if (!miss.error.empty() && miss.error != have.error) host_.addMessage(miss.error);
        haveSummary += have.summary + "\r\n\r\n";
        missSummary += miss.summary + "\r\n\r\n";
    }
    db_->closeDB();
    // The summaries are written whole at the end, so a failed run never
    // leaves one that looks complete.
    if (basedir_.empty()) {
        host_.addMessage("No base folder is set; the summary files were not written.");
    } else {
        for (const auto& [path, text] : {std::pair{haveSummaryPath(basedir_), &haveSummary},
                                         std::pair{missSummaryPath(basedir_), &missSummary}}) {
            std::string error;
            if (!writeFileAtomically(path, *text, &error)) host_.addMessage(error);
        }
    }
    host_.closeProgress();
    host_.showInformation(kMissHaveDone);
    host_.clearGamesList();
    host_.refreshSystems();
}

}  // namespace quorvane
