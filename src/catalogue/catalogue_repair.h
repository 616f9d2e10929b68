// Repair of a damaged category database: a new record file and five new key
// files are built from every row that can still be read, and replace the
// old ones.
//
// Which rows survive: those the system index names, in its order (so the
// listings come back exactly when only an index was damaged); when the
// system index cannot be walked whole, also every other readable row that
// the free-slot index does not name. Each keeps its status, and each system
// its catalogue status where that can be read. Free rows are dropped, so the
// new record file is compact. Rows whose bytes cannot be read are listed,
// and so is every system that lost all its rows.
//
// REPLACEMENT (atomic against a crash)
//   The new files are built and synced under the base path B.repair (a
//   database of their own, with its journal), and the old files are copied
//   to the backup folder. The file B.repaired is then created and synced:
//   from that moment the repair is done. Each new file is renamed over its
//   old one, the record file last (so a second process waits on the old
//   file's lock until everything is in place), and B.repaired is deleted.
//   finishRepair() runs before every open and completes a replacement a
//   crash cut short; renaming what is left is all it takes.
#pragma once

#include <string>
#include <vector>

#include "catalogue/store_status.h"

namespace quorvane {

struct RepairReport {
    std::vector<std::string> lines;  // what was done, for the person
    std::string error;               // why the repair could not be done
};

// Ok; why the database cannot be locked; or RepairFailed with report.error
// set.
StoreStatus repairCatalogue(const std::string& basePath, const std::string& backupDir, RepairReport& report);

// Completes a replacement cut short by a crash. Harmless when there is none.
void finishRepair(const std::string& basePath);

}  // namespace quorvane
