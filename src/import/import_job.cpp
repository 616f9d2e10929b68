#include "import/import_job.h"

#include "core/line_reader.h"
#include "import/import_context.h"
#include "import/parenthesised_dat.h"
#include "import/sectioned_dat.h"
#include "import/xml_dat.h"

namespace quorvane {

ImportJob::ImportJob(JobHost& host, std::shared_ptr<Catalogue> db, Settings settings,
                                       std::vector<std::string> files)
    : host_(host), db_(std::move(db)), settings_(std::move(settings)), files_(std::move(files)) {}

void ImportJob::startFile(const std::string& path) {
    host_.startProgress("Importing datfile " + path, 1);
    host_.updateProgress("Initializing...", 0);
}

bool ImportJob::prepare() {
    if (files_.empty()) return false;
    startFile(files_.front());
    return true;
}

void ImportJob::importFile(ImportContext& context) {
    if (!LineReader(context.path()).isOpen()) {
        context.message("Cannot open " + context.path());
        return;
    }
    if (importXmlDat(context)) return;
    if (importSectionedDat(context)) return;
    if (importParenthesisedDat(context)) return;
    context.message(context.path() + " is not a DAT file; nothing imported.");
}

JobResult ImportJob::execute() {
    for (const std::string& path : files_) {
        if (db_->openDB() != StoreStatus::Ok) {
            host_.addMessage(db_->lastError() + ". Nothing of " + path + " was imported.");
            db_->closeDB();
            continue;
        }
        startFile(path);
        ImportContext context(host_, *db_, settings_, path);
        importFile(context);
        if (db_->closeDB() != StoreStatus::Ok) host_.addMessage(db_->lastError());
    }
    host_.closeProgress();
    host_.showInformation("Import completed.");
    return {JobResult::Refresh::SystemsAndGames, {}};
}

}  // namespace quorvane
