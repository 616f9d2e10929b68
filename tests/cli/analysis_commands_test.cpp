#include "catalogue/catalogue.h"
#include "cli_fixture.h"
#include "core/file_util.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::runCapture;
using testing::TempDir;
using testing::writeFile;

class AnalysisCommands : public testing::CliTest {
protected:
    std::string sys() const { return home.file("roms/Sys"); }

    void SetUp() override {
        writeSettings("basedir=" + home.file("roms") + "\n" + testing::kCategoriesAtBasedir);
        ASSERT_TRUE(makeFolders(home.path() + "/databases"));
        Catalogue db(home.path() + "/databases/roms");
        // CRC-32 of "hello" and of "world".
        ASSERT_TRUE(db.addRom({.system = "Sys",
                               .game = "A",
                               .crc = "3610a686",
                               .romName = "a.bin",
                               .size = "5",
                               .version = "1",
                               .author = "me"}));
        ASSERT_TRUE(db.addRom({.system = "Sys",
                               .game = "B",
                               .crc = "3a771143",
                               .romName = "b.bin",
                               .size = "5",
                               .version = "1",
                               .author = "me"}));
        ASSERT_TRUE(db.addRom({.system = "Sys",
                               .game = "C",
                               .crc = "3a771143",
                               .romName = "c.bin",
                               .size = "5",
                               .version = "1",
                               .author = "me"}));
    }
};

TEST_F(AnalysisCommands, AFixWhoseStepsFailedSaysSoAndExitsOne) {
    writeFile(home.file("Backup"), "a file where the backup folder would go");
    writeFile(sys() + "/note.txt", "not a rom");
    std::string out;
    EXPECT_EQ(run("fix Sys 2>/dev/null", out), 1);
    EXPECT_EQ(out.find("note.txt deleted"), std::string::npos) << out;
    EXPECT_NE(out.find("note.txt could not be moved to the backup folder (Not a directory)"), std::string::npos) << out;
    EXPECT_NE(out.find("1 step failed: see the messages above."), std::string::npos) << out;
    EXPECT_NE(out.find("Romset Sys has not been fully fixed: 1 step failed."), std::string::npos) << out;
    EXPECT_EQ(readFile(sys() + "/note.txt"), "not a rom");
}

TEST_F(AnalysisCommands, ScanFixAndRebuildPrintWhatTheyFoundAndDid) {
    writeFile(sys() + "/note.txt", "hello");
    std::string out;
    ASSERT_EQ(run("scan Sys 2>/dev/null", out), 0);
    EXPECT_NE(out.find(" - Scanning Sys in " + sys() + "\n--\nnote.txt\n    note.txt has been identified as being: Sys/A/a.bin\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Romset Sys has been scanned.\n"), std::string::npos);

    ASSERT_EQ(run("fix --all 2>/dev/null", out), 0);
    EXPECT_NE(out.find("note.txt rebuilt to Sys/A/a.bin\n    note.txt deleted\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Romset have been fixed.\n"), std::string::npos);
    EXPECT_TRUE(isRegularFile(sys() + "/A.zip"));

    // "world" matches two ROMs: --dupes never builds neither.
    writeFile(home.file("src/w.bin"), "world");
    ASSERT_EQ(run("rebuild --dupes never --files " + home.file("src/w.bin") + " 2>/dev/null", out), 0);
    EXPECT_EQ(out.substr(out.find(" - Rebuilding from 1 chosen file into ")), " - Rebuilding from 1 chosen file into " + home.file("roms") + "\n--\nRebuild complete.\nSummary of the rebuild:\n  Games completed: 0\n  ROMs added: 0\n"
                   "  Source files: 0 used, 1 unused\n  Steps failed: 0\n");
    EXPECT_FALSE(pathExists(sys() + "/B.zip"));
    // A listed file that is not there is named as such, not as a bad zip.
    run("rebuild --files " + home.file("src/gone.bin") + " " + home.file("src/gone.zip") + " 2>/dev/null", out);
    EXPECT_NE(out.find("Error in zip " + home.file("src/gone.bin") + ": -200 (file not found)\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("Error in zip " + home.file("src/gone.zip") + ": -200 (file not found)\n"), std::string::npos)
        << out;
    // Without a terminal, "ask" builds every listed match.
    ASSERT_EQ(run("rebuild " + home.file("src") + " </dev/null 2>/dev/null", out), 0);
    EXPECT_TRUE(isRegularFile(sys() + "/B.zip"));
    EXPECT_TRUE(isRegularFile(sys() + "/C.zip"));
}

TEST_F(AnalysisCommands, BadUsageAndJobsThatCannotRun) {
    std::string out;
    EXPECT_EQ(run("scan 2>/dev/null", out), 2);
    EXPECT_EQ(run("scan Sys --all 2>/dev/null", out), 2);
    EXPECT_EQ(run("fix Nope 2>/dev/null", out), 2);
    EXPECT_EQ(run("rebuild --dupes sometimes 2>/dev/null", out), 2);
    EXPECT_EQ(run("rebuild " + home.file("absent") + " 2>/dev/null", out), 1);
    EXPECT_EQ(out, "Folder " + home.file("absent") + " does not exist.\n");
}

TEST_F(AnalysisCommands, DemoRunsEveryStepInAFreshFolder) {
    TempDir demoHome;
    std::string out;
    ASSERT_EQ(runCapture(testing::programCommand(demoHome.path(), "demo 2>&1"), out), 0) << out;
    for (const char* expected : {"=== 1. Import the DAT file ===", "bravo.bin rebuilt to Demo Console/Bravo/bravo.bin",
                                 "Error in zip Golf.zip: -102 (not a zip archive)", "readme.txt cannot be identified.",
                                 "Romset Demo Console has been fixed.", "Rebuild complete.", "Foxtrot  complete"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }
}

}  // namespace
}  // namespace quorvane
