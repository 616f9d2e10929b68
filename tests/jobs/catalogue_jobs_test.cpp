#include "jobs/catalogue_jobs.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "core/file_util.h"
#include "support/catalogue_rows.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using Lines = std::vector<std::string>;

class CatalogueJobsTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    Settings settings{.basedir = dir.file("roms"), .categoryDir = "$BASEDIR$", .backupDir = dir.file("Backup/")};
    testing::RecordingHost host;
    void SetUp() override { makeFolders(dir.file("roms/Sys")); }
};

TEST_F(CatalogueJobsTest, EveryStarterNamesWhyTheCatalogueCannotBeUsedAndStartsNothing) {
    // The catalogue's folder would be below a regular file: it cannot be opened.
    testing::writeFile(dir.file("plain"), "x");
    CatalogueJobs jobs(dir.file("plain") + "/roms");
    const std::vector<std::pair<const char*, std::function<bool()>>> starters = {
        {"import", [&] { return jobs.startImport(host, settings, {dir.file("a.dat")}); }},
        {"scan", [&] { return jobs.startScan(host, settings, "Sys"); }},
        {"fix", [&] { return jobs.startFix(host, settings, "Sys"); }},
        {"rebuild folder", [&] { return jobs.startRebuild(host, settings, dir.path()); }},
        {"rebuild files", [&] { return jobs.startRebuild(host, settings, Lines{dir.file("plain")}); }},
        {"miss/have", [&] { return jobs.startMissHave(host, settings, Lines{"Sys"}); }},
        {"stats", [&] { return jobs.startStats(host, [](int, const std::string&) {}); }},
        {"export", [&] { return jobs.startExport(host, {dir.file("out.txt"), {"Sys"}, "", "", "$ROMNAME$", 0}); }},
    };
    for (const auto& [name, start] : starters) EXPECT_FALSE(start()) << name;
    jobs.wait();
    // One notice per starter saying why, and nothing else: no progress, no message, no file.
    EXPECT_EQ(host.events(), Lines(starters.size(), "info: " + jobs.catalogue().lastError()));
    EXPECT_NE(jobs.catalogue().lastError(), "");
    EXPECT_FALSE(pathExists(dir.file("out.txt")) || pathExists(dir.file("Backup")));
}

TEST_F(CatalogueJobsTest, ASecondJobIsRefusedWhileOneRunsAndNothingOfItShows) {
    CatalogueJobs jobs(dir.file("db"));
    std::promise<void> release;
    // The statistics job holds on its first figure until released.
    ASSERT_TRUE(jobs.startStats(host, [gate = release.get_future().share(), me = std::this_thread::get_id()](auto...) {
        if (std::this_thread::get_id() != me) gate.wait();
    }));
    EXPECT_TRUE(jobs.busy());
    EXPECT_FALSE(jobs.startScan(host, settings, Lines{"Sys"}) || jobs.startMissHave(host, settings, Lines{"Sys"}) ||
                 jobs.startIdentify(host, settings, {dir.file("a.zip")}, [](std::vector<RomMatch>) {}));
    release.set_value();
    jobs.wait();
    EXPECT_FALSE(jobs.startRebuild(host, settings, Lines{}) || jobs.busy());  // no files: nothing to start
    EXPECT_TRUE(host.events().empty()) << host.events().front();
    // Once it has ended the next one starts.
    ASSERT_TRUE(jobs.startMissHave(host, settings, Lines{}));
    jobs.wait();
    EXPECT_EQ(host.eventsOf("info"), Lines{"Files creation completed."});
}

// Heard on the jobs thread before the runner takes another job; a job that
// refuses in its preparation never ran, so nothing is heard of it.
TEST_F(CatalogueJobsTest, TheFinishedHandlerHearsOfEachJobThatRanOnTheJobsThread) {
    Lines heard;
    CatalogueJobs* self = nullptr;
    CatalogueJobs jobs(dir.file("db"), [&, starter = std::this_thread::get_id()](const JobResult& r) {
        const bool ours = std::this_thread::get_id() != starter && self->busy();
        heard.push_back(std::to_string(static_cast<int>(r.refresh)) + " " + r.system + (ours ? "" : " elsewhere"));
    });
    self = &jobs;
    ASSERT_TRUE(jobs.catalogue().addRom(testing::romRow("Sys", "g", "00000001", "r", "1")));
    ASSERT_TRUE(jobs.startScan(host, settings, "Sys"));
    jobs.wait();
    ASSERT_TRUE(jobs.startRebuild(host, settings, Lines{dir.file("none.bin")}));
    jobs.wait();
    EXPECT_FALSE(jobs.startScan(host, settings, "../evil"));
    auto refresh = [](JobResult::Refresh r) { return std::to_string(static_cast<int>(r)) + " "; };
    EXPECT_EQ(heard, (Lines{refresh(JobResult::Refresh::SystemGames) + "Sys", refresh(JobResult::Refresh::Games)}));
}

}  // namespace
}  // namespace quorvane
