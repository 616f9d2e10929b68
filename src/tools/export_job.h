// Writes one custom export file for a list of systems: per system its system
// template, then per game (sorted by name) the game template when the game's
// status string holds the wanted letter, and the rom template for every ROM
// whose own letter is the wanted one. Mode 1 wants "Y" (available), mode 0
// wants "N" (missing); a ROM only present elsewhere ("P") is in neither.
// Nothing else is written. The file appears whole when the job ends.
//
// Messages: "<date time> Starting...", "<date time> Getting Roms for <system>"
// per system, "<date time> Finished writing file <file>"; only "Unable to
// create file" when the file cannot be written.
//
// How to use: CatalogueJobs::startExport(host, ExportRequest{...}).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/job_host.h"
#include "core/worker_job.h"

namespace quorvane {

class Catalogue;

inline constexpr const char* kNoValidFormat = "Error: no valid format";
inline constexpr const char* kUnableToCreateFile = "Unable to create file";

struct ExportRequest {
    std::string targetFile;
    std::vector<std::string> systems;
    // Template texts (see templateText): each line followed by CR LF.
    std::string systemTemplate;
    std::string gameTemplate;
    std::string romTemplate;
    int statusMode = 0;  // 1 available, 0 missing
};

// False when all three templates are empty: nothing is to be started.
bool hasAnyTemplate(const ExportRequest& request);

// The local date and time as messages begin with.
std::string messageTimeStamp();

class ExportJob final : public WorkerJob {
public:
    ExportJob(std::shared_ptr<Catalogue> db, JobHost& host, ExportRequest request);
    JobResult execute() override;

    // Tests replace the clock to get exact message texts.
    std::function<std::string()> clock = messageTimeStamp;

private:
    std::shared_ptr<Catalogue> db_;
    JobHost& host_;
    ExportRequest request_;
};

}  // namespace quorvane
