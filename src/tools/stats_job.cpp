#include "tools/stats_job.h"

#include "catalogue/catalogue.h"
#include "tools/catalogue_stats.h"

namespace quorvane {

StatsJob::StatsJob(std::shared_ptr<Catalogue> db, JobHost& host, StatSink sink)
    : db_(std::move(db)), host_(host), sink_(std::move(sink)) {}

bool StatsJob::prepare() {
    for (int number = 1; number <= kStatCount; ++number) sink_(number, "");
    return true;
}

JobResult StatsJob::execute() {
    if (db_->openDB() != StoreStatus::Ok) {
        host_.addMessage(db_->lastError());
        db_->closeDB();
    }
    CatalogueStats stats;
    for (int number = 1; number <= kStatCount; ++number) {
        // The pass over the rows starts once the two counts are shown.
        if (number == 3) stats.collect(*db_);
        sink_(number, statValue(*db_, stats, number));
    }
    db_->closeDB();
    return {};
}

}  // namespace quorvane
