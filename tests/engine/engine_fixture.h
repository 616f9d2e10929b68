// A small collection built at test time: a catalogue, a settings value set
// whose folders all live in one temporary folder, and zips written by
// Python's zipfile (so our own reader and writer cannot hide a shared fault).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/settings.h"
#include "core/worker_job.h"
#include "engine/fix_job.h"
#include "engine/scan_cache.h"
#include "support/content_crc.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

using Entries = std::vector<std::pair<std::string, std::string>>;  // name, content
using Lines = std::vector<std::string>;


// Writes every archive in one Python run: path -> entries in order.
void makeZips(const std::vector<std::pair<std::string, Entries>>& zips);
// "name=content" per entry in archive order, read back by Python; "BAD" when
// Python cannot read the archive, "" when it does not exist.
std::string zipContents(const std::string& path);
// Writes a 7z (or any format 7zz writes, by `path`'s extension) with Debian's 7zz.
void makePacked(const std::string& path, const Entries& entries);
// "name=content" per entry of a 7z, RAR, gzip or tar archive, read with the
// program's own reader; "BAD" when it cannot be read.
std::string packedContents(const std::string& path);

// Writes a new file through the current file layer and syncs it, as the jobs
// and archive writers do before a rename; false when any call fails.
bool writeNewSynced(const std::string& path, const std::string& bytes);

class EngineTest : public ::testing::Test {
protected:
    EngineTest();

    void addRom(const std::string& system, const std::string& game, const std::string& rom,
                const std::string& content, const std::string& size = "");
    // Adds ROMs named "System/Game/rom.ext", each holding "content " + its stem.
    void addRoms(const std::vector<std::string>& roms);
    // The status letters of each game ("Game" of Sys, or "System/Game"), space-separated.
    std::string statuses(const std::string& games);
    std::string f() const { return systemFolder("Sys"); }
    // Each plain file of `folder` in order, "name: " + its entries (zipContents) or its text.
    std::vector<std::string> folderState(const std::string& folder) const;
    // The status letters of a game's ROMs in catalogue order.
    std::string statusOf(const std::string& system, const std::string& game);
    std::string systemFolder(const std::string& system) const { return settings.basedir + "/" + system; }
    // The first line of a system's scan or fix in transcript().
    std::string scanning(const std::string& system) const { return "<time> - Scanning " + system + " in " + systemFolder(system); }
    std::string rebuilding(const std::string& from) const {
        return "<time> - Rebuilding from " + from + " into " + resolveBaseDir(settings, settings.categoryDir);
    }
    std::string fixing(const std::string& system) const {
        return "<time> - Fixing " + system + " in " + systemFolder(system);
    }
    // Prepares and runs a job on this thread, keeping its result. False when
    // it did not prepare.
    bool run(std::unique_ptr<WorkerJob> job);
    // A scan of Sys from the statuses as they are (not cleaned first, as a
    // person's next scan), its transcript; `counts` receives its tally of the
    // system: games complete/incomplete/missing, ROMs have/elsewhere/missing.
    std::vector<std::string> scanAgain(std::string& counts,
                                       AnalysisOptions options = {.loadThreads = 0, .settleTime = {}});
    // Messages and findings in order, with time stamps replaced by "<time>".
    std::vector<std::string> transcript() const { return transcriptOf(host); }
    static std::vector<std::string> transcriptOf(const RecordingHost& recorded);
    // Whether transcript() holds `line`.
    bool hasLine(const std::string& line) const;
    // Every file below the backup's run folders, "path below its run folder=content", sorted.
    std::vector<std::string> backupContents() const;
    std::string scanCachePath() const { return ScanCache::pathFor(db->basePath(), "Sys"); }
    // The rows stamp a scan of Sys in the default merge mode writes its cache under.
    std::string rowsStamp() const { return db->rowsStamp() + "modes 0"; }
    // Rewrites Sys's scan cache, written under `stamp`, with `name`'s record
    // changed by `change` (which may look at the rest of the cache).
    void forgeScanRecord(const std::string& name, const std::string& stamp,
                         const std::function<void(const ScanCache&, ScanCache::Record&)>& change);

    TempDir dir;
    Settings settings;
    std::shared_ptr<Catalogue> db;
    RecordingHost host;
    JobResult result;  // of the last run()
};

// Sys's A (two ROMs) and B whole in their zips, its D and Other's O missing:
// where the re-scan tests start.
class RescanFixture : public EngineTest {
protected:
    void SetUp() override {
        addRoms({"Sys/A/a1.bin", "Sys/A/a2.bin", "Sys/B/b1.bin", "Sys/D/d1.bin", "Other/O/o1.bin"});
        makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}}},
                  {f() + "/B.zip", {{"b1.bin", "content b1"}}}});
    }
    std::vector<std::string> scan(AnalysisOptions options = {.loadThreads = 0, .settleTime = {}}) {
        return scanAgain(counts, options);
    }
    void fullScan() {
        settings.fullScan = true;
        scan();
        settings.fullScan = false;
    }
    std::string counts;  // the last scan's tally
};

// Game A with two ROMs and B with one in system Sys, and O with one in Other.
class FixTest : public EngineTest {
protected:
    void SetUp() override { addRoms({"Sys/A/a1.bin", "Sys/A/a2.bin", "Sys/B/b1.bin", "Other/O/o1.bin"}); }
    std::unique_ptr<FixJob> fix() { return std::make_unique<FixJob>(db, host, settings, "Sys"); }
};

}  // namespace quorvane::testing
