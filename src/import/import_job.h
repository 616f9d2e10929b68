// The DAT import job: reads the chosen DAT files one after another into the
// category database, asking before it replaces a system the database holds.
// A folder or a zip named for import stands for the DATs in it (dat_sources.h);
// each of them counts as one file.
//
// How to use: CatalogueJobs::startImport() creates it and hands it to the job
// runner; prepare() shows the progress, execute() does the work and ends
// with "Import completed." and a refresh of the lists. Tests may drive
// prepare() and execute() directly.
//
// Each file goes to the first reader that recognises it (importFile lists
// them in order); a new syntax is one more entry there.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/job_report.h"
#include "core/job_host.h"
#include "core/settings.h"
#include "core/worker_job.h"
#include "import/dat_sources.h"

namespace quorvane {

class ImportContext;
enum class FileOutcome;

struct ImportCounts {
    size_t imported = 0;
    size_t kept = 0;  // the user chose to keep the system already there
    size_t failed = 0;
};

std::string importSummary(const ImportCounts& counts);

class ImportJob final : public WorkerJob {
public:
    ImportJob(JobHost& host, std::shared_ptr<Catalogue> db, Settings settings,
                       std::vector<std::string> files);

    // False (nothing shown) when there is no file to import.
    bool prepare() override;
    JobResult execute() override;
    const ImportCounts& counts() const { return counts_; }

private:
    void startFile(const std::string& path);
    void importFile(ImportContext& context);
    FileOutcome importOne(const DatSource& source, ImportedFile& record);
    FileOutcome importFrom(const std::string& path, const std::string& file, ImportedFile& record);
    // Copies a zip's DAT entry to a temporary file; empty after a message.
    std::string unpack(const DatSource& source);

    JobHost& host_;
    std::shared_ptr<Catalogue> db_;
    Settings settings_;
    std::vector<std::string> files_;
    ImportCounts counts_;
};

}  // namespace quorvane
