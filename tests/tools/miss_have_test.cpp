#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "catalogue/catalogue.h"
#include "core/file_util.h"
#include "core/names.h"
#include "support/catalogue_rows.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "tools/miss_have_job.h"
#include "tools/miss_have_lists.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::RecordingHost;
using testing::romRow;
using testing::TempDir;
using testing::writeFile;
using enum RomStatus;

class MissHaveLists : public ::testing::Test {
protected:
    TempDir dir;
    std::string base = dir.file("base");
    std::shared_ptr<Catalogue> db = std::make_shared<Catalogue>(dir.file("roms"));

    JobResult runJob(RecordingHost& host, std::vector<std::string> systems) {
        MissHaveJob job(db, host, base, std::move(systems));
        EXPECT_TRUE(job.prepare());
        return job.execute();
    }

    // One ROM per game, all had; multi-ROM games: "full" had, "part" Y+N, "elsewhere" P only.
    void SetUp() override {
        testing::addRows(*db, {romRow("Single", "b", "00000002", "b.bin", "10", Have),
                               romRow("Single", "a", "00000001", "a.bin", "10", Have),
                               romRow("Multi", "full", "00000010", "f1.bin", "10", Have),
                               romRow("Multi", "full", "00000011", "f2.bin", "10", Have),
                               romRow("Multi", "part", "00000020", "p1.bin", "10", Missing),
                               romRow("Multi", "part", "00000021", "p2.bin", "10", Have),
                               romRow("Multi", "elsewhere", "00000030", "e1.bin", "10", Present)});
    }
};

// A multi-ROM system's miss summary is the rom-level line of its missrom
// file, written even when nothing is missing; ROMs present elsewhere count
// as missing. `missRom` "-": no missrom file.
TEST_F(MissHaveLists, HoldTheSummaryAndTheGames) {
    const std::string multiMiss = " You are missing 2 roms (2 games) of 5 known Multi roms (3 games)",
                      noneMiss = " You are missing 0 roms (0 games) of 5 known Multi roms (3 games)";
    const struct {
        std::string system;
        bool allHad;  // every row of the system marked had first
        std::string have, miss, missRom;
    } cases[] = {
        {"Single", false, " You have 2 of 2 known Single ROMS\r\n\r\na\r\nb\r\n",
         " You are missing 0 of 2 known Single ROMS\r\n\r\n", "-"},
        {"Multi", false, " You have 1 of 3 known Multi ROMS\r\n\r\nfull\r\n",
         " You are missing 2 of 3 known Multi ROMS\r\n\r\nelsewhere\r\npart\r\n",
         multiMiss + "\r\n\r\nelsewhere\r\n   e1.bin (00000030)\r\npart\r\n   p1.bin (00000020)\r\n"},
        {"Multi", true, " You have 3 of 3 known Multi ROMS\r\n\r\nelsewhere\r\nfull\r\npart\r\n",
         " You are missing 0 of 3 known Multi ROMS\r\n\r\n", noneMiss + "\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.system + (c.allHad ? " all had" : ""));
        if (c.allHad) {
            db->setHave("00000020", "10", "p1.bin", "part", "Multi");
            db->setHave("00000030", "10", "e1.bin", "elsewhere", "Multi");
        }
        const auto firstLine = [](const std::string& text) { return text.substr(0, text.find('\r')); };
        EXPECT_EQ(writeHaveList(*db, base, c.system).summary, firstLine(c.have));
        EXPECT_EQ(writeMissList(*db, base, c.system).summary, firstLine(c.missRom == "-" ? c.miss : c.missRom));
        EXPECT_EQ(readFile(base + "/have/" + c.system + "have.txt"), c.have);
        EXPECT_EQ(readFile(base + "/miss/" + c.system + "miss.txt"), c.miss);
        if (c.missRom != "-") EXPECT_EQ(readFile(base + "/miss/" + c.system + "missrom.txt"), c.missRom);
        else EXPECT_FALSE(pathExists(base + "/miss/" + c.system + "missrom.txt"));
    }
}

TEST_F(MissHaveLists, RefusesUnsafeNamesAndUnwritableFoldersAndLeavesNoTemporaryFile) {
    testing::addRows(*db, {romRow("../escape", "g", "00000040", "g.bin", "10")});
    const ListOutcome refused = writeHaveList(*db, base, "../escape");
    EXPECT_EQ(refused.summary, "-1");
    EXPECT_NE(refused.error.find("\"../escape\""), std::string::npos);
    EXPECT_FALSE(pathExists(base + "/escapehave.txt") || pathExists(dir.file("escapehave.txt")));

    // The base folder's parent is a regular file: nothing can be created.
    writeFile(dir.file("plain"), "x");
    EXPECT_EQ(writeHaveList(*db, dir.file("plain/base"), "Single").summary, "-1");
    EXPECT_EQ(writeMissList(*db, dir.file("plain/base"), "Single").summary, "-1");

    // A catalogue that cannot be opened never turns into an empty list.
    Catalogue unreadable(dir.file("plain") + "/roms");
    const ListOutcome failed = writeMissList(unreadable, base, "Single");
    EXPECT_EQ(failed.summary, "-1");
    EXPECT_NE(failed.error.find("Cannot open database"), std::string::npos);
    EXPECT_FALSE(pathExists(base + "/miss/Singlemiss.txt"));

    // A list that cannot be put in place leaves no temporary file behind.
    ASSERT_TRUE(makeFolders(base + "/have/Multihave.txt"));  // a folder in the way
    EXPECT_EQ(writeHaveList(*db, base, "Multi").summary, "-1");
    EXPECT_EQ(writeHaveList(*db, base, "Single").summary, " You have 2 of 2 known Single ROMS");
    const auto entries = std::filesystem::directory_iterator(base + "/have");
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 2);  // the folder in the way and Singlehave.txt
}

TEST_F(MissHaveLists, ThreadWritesSummariesInListOrderAndReportsInOrder) {
    RecordingHost host;
    const JobResult result = runJob(host, {"Single", "../bad", "Multi"});
    EXPECT_EQ(readFile(base + "/have.txt"),
              " You have 2 of 2 known Single ROMS\r\n\r\n-1\r\n\r\n You have 1 of 3 known Multi ROMS\r\n\r\n");
    EXPECT_EQ(readFile(base + "/miss.txt"),
              " You are missing 0 of 2 known Single ROMS\r\n\r\n-1\r\n\r\n"
              " You are missing 2 roms (2 games) of 5 known Multi roms (3 games)\r\n\r\n");
    EXPECT_EQ(host.eventsOf("message"), std::vector{unsafeNameMessage("System name", "../bad")});
    EXPECT_EQ(result.refresh, JobResult::Refresh::SystemsAndGames);
    // A second run replaces both summaries rather than appending.
    runJob(host, {"Single"});
    EXPECT_EQ(readFile(base + "/have.txt"), " You have 2 of 2 known Single ROMS\r\n\r\n");
}

}  // namespace
}  // namespace quorvane
