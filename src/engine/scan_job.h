// Scanning: checks system folders against the catalogue without changing a
// file. Marks each ROM found in place "Y" and each found elsewhere "P", and
// reports unreadable archives, unidentified, misplaced and unwanted files.
//
// How to use (the RomsDB starters do this):
//   runner.start(std::make_unique<ScanJob>(db.shared(), host, settings, "System"));
#pragma once

#include "engine/folder_job.h"

namespace quorvane {

class ScanJob : public FolderJob {
public:
    ScanJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings, std::string system,
               AnalysisOptions options = {});
    bool prepare() override;
    void execute() override;

protected:
    // Both passes over the listed folder of `systemName`.
    void scanOneSystem();

private:
    void secondPass();
};

class MultiScanJob : public ScanJob {
public:
    MultiScanJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings,
                    std::vector<std::string> systems, AnalysisOptions options = {});
    bool prepare() override;
    void execute() override;

private:
    std::vector<std::string> systemList;
};

}  // namespace quorvane
