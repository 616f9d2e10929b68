#include "jobs/catalogue_jobs.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <thread>

#include "core/file_util.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::RecordingHost;
using testing::TempDir;
using Lines = std::vector<std::string>;

class CatalogueJobsTest : public ::testing::Test {
protected:
    TempDir dir;
    Settings settings;
    RecordingHost host;

    void SetUp() override {
        settings.basedir = dir.file("roms");
        settings.categoryDir = "$BASEDIR$";
        settings.backupDir = dir.file("Backup/");
        makeFolders(dir.file("roms/Sys"));
    }
};

TEST_F(CatalogueJobsTest, EveryStarterNamesWhyTheCatalogueCannotBeUsedAndStartsNothing) {
    // The catalogue's folder would be below a regular file: it cannot be opened.
    testing::writeFile(dir.file("plain"), "x");
    CatalogueJobs jobs(dir.file("plain") + "/roms");
    const std::vector<std::pair<const char*, std::function<bool()>>> starters = {
        {"import", [&] { return jobs.startImport(host, settings, {dir.file("a.dat")}); }},
        {"scan", [&] { return jobs.startScan(host, settings, "Sys"); }},
        {"scan list", [&] { return jobs.startScan(host, settings, Lines{"Sys"}); }},
        {"fix", [&] { return jobs.startFix(host, settings, "Sys"); }},
        {"fix list", [&] { return jobs.startFix(host, settings, Lines{"Sys"}); }},
        {"rebuild folder", [&] { return jobs.startRebuild(host, settings, dir.path()); }},
        {"rebuild files", [&] { return jobs.startRebuild(host, settings, Lines{dir.file("plain")}); }},
        {"miss/have", [&] { return jobs.startMissHave(host, settings, Lines{"Sys"}); }},
        {"stats", [&] { return jobs.startStats(host, [](int, const std::string&) {}); }},
        {"export", [&] { return jobs.startExport(host, {dir.file("out.txt"), {"Sys"}, "", "", "$ROMNAME$", 0}); }},
    };
    for (const auto& [name, start] : starters) {
        EXPECT_FALSE(start()) << name;
        jobs.wait();
    }
    const std::string why = jobs.catalogue().lastError();
    ASSERT_FALSE(why.empty());
    // One notice per starter, and nothing else: no progress, no message.
    EXPECT_EQ(host.events(), Lines(starters.size(), "info: " + why));
    EXPECT_FALSE(pathExists(dir.file("out.txt")));
    EXPECT_FALSE(pathExists(dir.file("Backup")));
}

TEST_F(CatalogueJobsTest, ASecondJobIsRefusedWhileOneRunsAndNothingOfItShows) {
    CatalogueJobs jobs(dir.file("db"));
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    const std::thread::id starter = std::this_thread::get_id();
    // The statistics job holds on its first figure until released.
    ASSERT_TRUE(jobs.startStats(host, [gate, starter](int, const std::string&) {
        if (std::this_thread::get_id() != starter) gate.wait();
    }));
    EXPECT_TRUE(jobs.busy());
    EXPECT_FALSE(jobs.startScan(host, settings, Lines{"Sys"}));
    EXPECT_FALSE(jobs.startMissHave(host, settings, Lines{"Sys"}));
    EXPECT_FALSE(jobs.startIdentify(host, settings, {dir.file("a.zip")}, [](std::vector<RomMatch>) {}));
    release.set_value();
    jobs.wait();
    EXPECT_FALSE(jobs.busy());
    EXPECT_TRUE(host.events().empty()) << host.events().front();
    // Once it has ended the next one starts.
    ASSERT_TRUE(jobs.startMissHave(host, settings, Lines{}));
    jobs.wait();
    EXPECT_EQ(host.eventsOf("info"), Lines{"Files creation completed."});
}

TEST_F(CatalogueJobsTest, TheFinishedHandlerHearsOfEachJobThatRanOnTheJobsThread) {
    std::vector<JobResult> heard;
    std::vector<bool> busyWhenHeard;
    std::thread::id heardOn;
    CatalogueJobs* self = nullptr;
    CatalogueJobs jobs(dir.file("db"), [&](const JobResult& result) {
        heard.push_back(result);
        busyWhenHeard.push_back(self->busy());
        heardOn = std::this_thread::get_id();
    });
    self = &jobs;
    ASSERT_TRUE(jobs.catalogue().addRom({.system = "Sys", .game = "g", .crc = "00000001", .romName = "r.bin", .size = "1", .version = "1"}));
    host.defaultAnswer = true;
    ASSERT_TRUE(jobs.startScan(host, settings, "Sys"));
    jobs.wait();
    ASSERT_TRUE(jobs.startRebuild(host, settings, Lines{dir.file("none.bin")}));
    jobs.wait();
    // A job that refuses in its preparation never ran: nothing is heard.
    EXPECT_FALSE(jobs.startScan(host, settings, "../evil"));
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].refresh, JobResult::Refresh::SystemGames);
    EXPECT_EQ(heard[0].system, "Sys");
    EXPECT_EQ(heard[1].refresh, JobResult::Refresh::Games);
    // Heard before the runner takes another job.
    EXPECT_EQ(busyWhenHeard, (std::vector<bool>{true, true}));
    EXPECT_NE(heardOn, std::this_thread::get_id());
}

TEST_F(CatalogueJobsTest, RebuildOfNoFilesStartsNothing) {
    CatalogueJobs jobs(dir.file("db"));
    EXPECT_FALSE(jobs.startRebuild(host, settings, Lines{}));
    EXPECT_FALSE(jobs.busy());
    EXPECT_TRUE(host.events().empty());
}

}  // namespace
}  // namespace quorvane
