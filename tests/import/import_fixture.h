// Runs the import job the way the front ends do (prepare, then execute) on a
// fresh category database in a temporary folder, and reads back what it stored.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/settings.h"
#include "core/worker_job.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

using V = std::vector<std::string>;

class ImportFixture {
public:
    ImportFixture();

    // Writes a DAT file into the temporary folder; returns its path.
    std::string dat(const std::string& name, const std::string& content);
    // Imports the files with the job; answers come from host.answers.
    JobResult import(const std::vector<std::string>& files);
    // Every row of the category database, in storage order.
    std::vector<RomRow> rows();
    // A system's facts as "game kind cloneof romof" (kind 0 game, 1 BIOS, 2
    // device), empty fields at the end left out.
    V facts(const std::string& system);
    // What a person saw: messages, then "askYesIgnore: " and "info: " lines,
    // in order, with the temporary folder written "@"; "failedSteps: N" last
    // when steps failed.
    V said() const;
    // A scratch database or unpacked DAT left in the databases folder.
    bool leftovers() const;

    TempDir dir;
    Settings settings;
    std::shared_ptr<Catalogue> db;
    RecordingHost host;
};

// The rows as "game/rom:size:crc:md5:sha1:cloneof:romof" (empty fields at the
// end left out), each change of system, version or author as a
// "[system|version|author]" line before them.
V digest(const std::vector<RomRow>& rows);

// One import table row. Each file is written into the temporary folder
// (unless its content is kAbsent) and imported, unless its name starts with
// "~"; an entry without a name imports the files before it as one batch.
// Expected messages ending in "*" are prefixes. Afterwards the files must be
// unchanged and nothing left over.
struct ImportCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    V rows;
    V said;
    std::deque<bool> answers = {};
};
inline const std::string kAbsent = "\x01" "absent";
void runCase(const ImportCase& c);

// A folder of real DAT files, or empty when it is not there.
std::string realDatPath(const std::string& relative);
// Declares `var` as the real DAT's path, or skips the test without it.
#define REAL_DAT(var, relative)                             \
    const std::string var = testing::realDatPath(relative); \
    if (var.empty()) GTEST_SKIP() << "no shared DAT folder: " << relative

}  // namespace quorvane::testing
