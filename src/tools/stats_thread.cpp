#include "tools/stats_thread.h"

#include "db/roms_db_impl.h"
#include "tools/catalogue_stats.h"

namespace quorvane {

StatsThread::StatsThread(std::shared_ptr<RomsDBImpl> db, JobHost& host, StatSink sink)
    : db_(std::move(db)), host_(host), sink_(std::move(sink)) {}

bool StatsThread::prepare() {
    for (int number = 1; number <= kStatCount; ++number) sink_(number, "");
    return true;
}

void StatsThread::execute() {
    if (db_->openDB() != 0) {
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
}

}  // namespace quorvane
