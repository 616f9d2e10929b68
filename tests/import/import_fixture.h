// Runs the import job the way the front ends do (prepare, then execute) on a
// fresh category database in a temporary folder, and reads back what it stored.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/settings.h"
#include "core/worker_job.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

class ImportFixture {
public:
    ImportFixture();

    // Writes a DAT file into the temporary folder; returns its path.
    std::string dat(const std::string& name, const std::string& content);
    // Imports the files with the job; answers come from host.answers.
    JobResult import(const std::vector<std::string>& files);
    // Every row of the category database, in storage order.
    std::vector<RomRow> rows();
    // The rows of one game, in storage order.
    std::vector<RomRow> rowsOf(const std::string& game);
    // Files the scratch database left behind.
    bool scratchFilesLeft() const;

    TempDir dir;
    Settings settings;
    std::shared_ptr<Catalogue> db;
    RecordingHost host;
};

// A folder of real DAT files, or empty when it is not there.
std::string realDatPath(const std::string& relative);

}  // namespace quorvane::testing
