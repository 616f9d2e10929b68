#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/catalogue.h"
#include "core/file_util.h"
#include "core/names.h"
#include "core/settings.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "tools/miss_have_job.h"
#include "tools/miss_have_lists.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::writeFile;

class MissHaveLists : public ::testing::Test {
protected:
    TempDir dir;
    std::string base = dir.file("base");
    std::shared_ptr<Catalogue> db = std::make_shared<Catalogue>(dir.file("roms"));

    std::string haveSummary(const Settings& s, const std::string& system) {
        return writeHaveList(*db, s.basedir, system).summary;
    }
    std::string missSummary(const Settings& s, const std::string& system) {
        return writeMissList(*db, s.basedir, system).summary;
    }
    JobResult runJob(RecordingHost& host, std::vector<std::string> systems) {
        MissHaveJob job(db, host, base, std::move(systems));
        EXPECT_TRUE(job.prepare());
        return job.execute();
    }

    void add(const std::string& system, const std::string& game, const std::string& crc, const std::string& rom) {
        ASSERT_TRUE(db->addRom({.system = system,
                                      .game = game,
                                      .crc = crc,
                                      .romName = rom,
                                      .size = "10",
                                      .version = "1",
                                      .author = "me"}));
    }
    void have(const std::string& system, const std::string& game, const std::string& crc, const std::string& rom) {
        db->setHave(crc, "10", rom, game, system);
    }
    Settings settings() const {
        Settings s;
        s.basedir = base;
        return s;
    }

    void SetUp() override {
        // One ROM per game, all had.
        add("Single", "b", "00000002", "b.bin");
        add("Single", "a", "00000001", "a.bin");
        have("Single", "a", "00000001", "a.bin");
        have("Single", "b", "00000002", "b.bin");
        // Multi-ROM games: "full" had, "part" Y+N, "elsewhere" P only.
        add("Multi", "full", "00000010", "f1.bin");
        add("Multi", "full", "00000011", "f2.bin");
        add("Multi", "part", "00000020", "p1.bin");
        add("Multi", "part", "00000021", "p2.bin");
        add("Multi", "elsewhere", "00000030", "e1.bin");
        have("Multi", "full", "00000010", "f1.bin");
        have("Multi", "full", "00000011", "f2.bin");
        have("Multi", "part", "00000021", "p2.bin");
        db->setPresent("00000030", "10", "e1.bin", "elsewhere", "Multi");
    }
};

TEST_F(MissHaveLists, CompleteSingleRomSystemHasNoMissRomFile) {
    EXPECT_EQ(haveSummary(settings(), "Single"), " You have 2 of 2 known Single ROMS");
    EXPECT_EQ(missSummary(settings(), "Single"), " You are missing 0 of 2 known Single ROMS");
    EXPECT_EQ(readFile(base + "/have/Singlehave.txt"), " You have 2 of 2 known Single ROMS\r\n\r\na\r\nb\r\n");
    EXPECT_EQ(readFile(base + "/miss/Singlemiss.txt"), " You are missing 0 of 2 known Single ROMS\r\n\r\n");
    EXPECT_FALSE(pathExists(base + "/miss/Singlemissrom.txt"));
}

TEST_F(MissHaveLists, MultiRomSystemListsPresentElsewhereAsMissing) {
    EXPECT_EQ(haveSummary(settings(), "Multi"), " You have 1 of 3 known Multi ROMS");
    EXPECT_EQ(readFile(base + "/have/Multihave.txt"), " You have 1 of 3 known Multi ROMS\r\n\r\nfull\r\n");
    // The summary is the rom-level line once the missrom file is written.
    EXPECT_EQ(missSummary(settings(), "Multi"), " You are missing 2 roms (2 games) of 5 known Multi roms (3 games)");
    EXPECT_EQ(readFile(base + "/miss/Multimiss.txt"),
              " You are missing 2 of 3 known Multi ROMS\r\n\r\nelsewhere\r\npart\r\n");
    EXPECT_EQ(readFile(base + "/miss/Multimissrom.txt"),
              " You are missing 2 roms (2 games) of 5 known Multi roms (3 games)\r\n\r\n"
              "elsewhere\r\n   e1.bin (00000030)\r\npart\r\n   p1.bin (00000020)\r\n");
}

TEST_F(MissHaveLists, MultiRomSystemWithNothingMissingStillGetsMissRomFile) {
    have("Multi", "part", "00000020", "p1.bin");
    have("Multi", "elsewhere", "00000030", "e1.bin");
    EXPECT_EQ(missSummary(settings(), "Multi"), " You are missing 0 roms (0 games) of 5 known Multi roms (3 games)");
    EXPECT_EQ(readFile(base + "/miss/Multimissrom.txt"),
              " You are missing 0 roms (0 games) of 5 known Multi roms (3 games)\r\n\r\n");
}

TEST_F(MissHaveLists, RefusesUnsafeNamesAndUnwritableFolders) {
    add("../escape", "g", "00000040", "g.bin");
    const ListOutcome refused = writeHaveList(*db, base, "../escape");
    EXPECT_EQ(refused.summary, "-1");
    EXPECT_NE(refused.error.find("\"../escape\""), std::string::npos);
    EXPECT_FALSE(pathExists(base + "/escapehave.txt"));
    EXPECT_FALSE(pathExists(dir.file("escapehave.txt")));

    // The base folder's parent is a regular file: nothing can be created.
    writeFile(dir.file("plain"), "x");
    Settings blocked;
    blocked.basedir = dir.file("plain") + "/base";
    EXPECT_EQ(haveSummary(blocked, "Single"), "-1");
    EXPECT_EQ(missSummary(blocked, "Single"), "-1");

    // A catalogue that cannot be opened never turns into an empty list.
    Catalogue unreadable(dir.file("plain") + "/roms");
    const ListOutcome failed = writeMissList(unreadable, base, "Single");
    EXPECT_EQ(failed.summary, "-1");
    EXPECT_NE(failed.error.find("Cannot open database"), std::string::npos);
    EXPECT_FALSE(pathExists(base + "/miss/Singlemiss.txt"));
}

TEST_F(MissHaveLists, ListThatCannotBePutInPlaceLeavesNoTemporaryFile) {
    ASSERT_TRUE(makeFolders(base + "/have/Multihave.txt"));  // a folder in the way
    EXPECT_EQ(haveSummary(settings(), "Multi"), "-1");
    EXPECT_EQ(haveSummary(settings(), "Single"), " You have 2 of 2 known Single ROMS");
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(base + "/have")) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2);  // the folder in the way and Singlehave.txt
}

TEST_F(MissHaveLists, OneChosenSystemGetsOnlyItsListsAndShowsNothingButFailures) {
    RecordingHost host;
    MissHaveJob job(db, host, base, std::string("Single"));
    ASSERT_TRUE(job.prepare());
    EXPECT_EQ(job.execute().refresh, JobResult::Refresh::Nothing);
    EXPECT_TRUE(host.events().empty());
    EXPECT_EQ(readFile(haveListPath(base, "Single")).rfind(" You have 2 of 2 known Single ROMS\r\n", 0), 0u);
    EXPECT_EQ(readFile(missListPath(base, "Single")).rfind(" You are missing 0 of 2 known Single ROMS\r\n", 0), 0u);
    EXPECT_FALSE(pathExists(base + "/have.txt"));
    EXPECT_FALSE(pathExists(base + "/miss.txt"));

    // Both lists refuse the name for the same reason: it is named once.
    RecordingHost refusedHost;
    MissHaveJob refused(db, refusedHost, base, std::string("../bad"));
    ASSERT_TRUE(refused.prepare());
    refused.execute();
    EXPECT_EQ(refusedHost.events(), std::vector<std::string>{"message: " + unsafeNameMessage("System name", "../bad")});
}

TEST_F(MissHaveLists, ThreadWritesSummariesInListOrderAndReportsInOrder) {
    RecordingHost host;
    const JobResult result = runJob(host, {"Single", "../bad", "Multi"});
    EXPECT_EQ(readFile(base + "/have.txt"),
              " You have 2 of 2 known Single ROMS\r\n\r\n-1\r\n\r\n You have 1 of 3 known Multi ROMS\r\n\r\n");
    EXPECT_EQ(readFile(base + "/miss.txt"),
              " You are missing 0 of 2 known Single ROMS\r\n\r\n-1\r\n\r\n"
              " You are missing 2 roms (2 games) of 5 known Multi roms (3 games)\r\n\r\n");
    const std::vector<std::string> expected = {
        "startProgress: Creating Miss/Have files... / 1",
        "progress: Initializing... @ 0",
        "progressMax: 3",
        "progress: Single @ 0",
        "progress: ../bad @ 1",
        "message: " + unsafeNameMessage("System name", "../bad"),
        "progress: Multi @ 2",
        "closeProgress: ",
        "info: Files creation completed.",
    };
    EXPECT_EQ(host.events(), expected);
    EXPECT_EQ(result.refresh, JobResult::Refresh::SystemsAndGames);

    // A second run replaces both summaries rather than appending.
    runJob(host, {"Single"});
    EXPECT_EQ(readFile(base + "/have.txt"), " You have 2 of 2 known Single ROMS\r\n\r\n");
}

}  // namespace
}  // namespace quorvane
