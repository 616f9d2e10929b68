#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "archive/chd_header.h"
#include "cli_fixture.h"
#include "core/file_util.h"
#include "engine/scan_cache.h"
#include "support/chd_image.h"

namespace quorvane {
namespace {

using testing::writeFile;

class AnalysisCommands : public testing::CliTest {
protected:
    void SetUp() override {
        useRomsFolder();
        // CRC-32 of "hello", then of "world" twice.
        addRoms({testing::romRow("Sys", "A", "3610a686", "a.bin", "5"),
                 testing::romRow("Sys", "B", "3a771143", "b.bin", "5"),
                 testing::romRow("Sys", "C", "3a771143", "c.bin", "5")});
    }
};

TEST_F(AnalysisCommands, AFixWhoseStepsFailedSaysSoAndExitsOne) {
    writeFile(home.file("Backup"), "a file where the backup folder would go");
    writeFile(home.file("roms/Sys/note.txt"), "not a rom");
    runSteps({{.args = "fix Sys 2>/dev/null",
               .status = 1,
               .has = {"note.txt could not be moved to the backup folder (Not a directory)",
                       "1 step failed: see the messages above.", "Romset Sys has not been fully fixed: 1 step failed."},
               .lacks = {"note.txt deleted"},
               .files = {{"$HOME/roms/Sys/note.txt", "not a rom"}}}});
}

TEST_F(AnalysisCommands, RebuildPrintsWhatItDidAndAsksNothingWithoutATerminal) {
    writeFile(home.file("src/w.bin"), "world");
    // "world" matches two ROMs: --dupes never builds neither.
    runSteps({{.args = "rebuild --dupes never --files $HOME/src/w.bin 2>/dev/null",
               .has = {" - Rebuilding from 1 chosen file into $HOME/roms\n--\nRebuild complete.\n"
                       "Summary of the rebuild:\n  Games completed: 0\n  ROMs added: 0\n"
                       "  Source files: 0 used, 1 unused\n  Steps failed: 0\n"},
               .absent = {"$HOME/roms/Sys/B.zip"}},
              // A listed file that is not there is named as such, not as a bad zip.
              {.args = "rebuild --files $HOME/src/gone.zip 2>/dev/null",
               .status = 1,
               .has = {"Error in zip $HOME/src/gone.zip: -200 (file not found)\n"}},
              // Without a terminal, "ask" builds every listed match.
              {.args = "rebuild $HOME/src </dev/null 2>/dev/null"}});
    for (const char* set : {"B", "C"}) EXPECT_TRUE(isRegularFile(home.file("roms/Sys/") + set + ".zip")) << set;
}

// chdman reads each disk image in place whole: one whose data is bad is
// damaged, not had. Without chdman the scan says so once and goes on.
TEST_F(AnalysisCommands, ScanVerifyChdHasChdmanCheckTheDisksInPlace) {
    if (testing::runShell("command -v chdman >/dev/null") != 0) GTEST_SKIP() << "chdman (mame-tools) is not installed";
    const std::string good = home.file("roms/Sys/D/d.chd"), bad = home.file("roms/Sys/E/e.chd");
    makeFolders(dirName(good));
    makeFolders(dirName(bad));
    ASSERT_EQ(testing::runShell("yes quorvane | head -c 65536 >'" + home.file("data") + "' && chdman createraw -i '" +
                                home.file("data") + "' -o '" + good + "' -hs 4096 -us 512 >/dev/null 2>&1"),
              0);
    ChdHeader header;
    ASSERT_TRUE(readChdHeader(good, header).ok());
    std::string image = testing::readFile(good);
    image[image.size() / 2] ^= 0x5a;  // in the compressed data, after the header
    // E lists the same disk: its bad copy is not had, and the good one in D is a copy found elsewhere.
    writeFile(bad, image);
    addRoms({{.system = "Sys", .game = "D", .sha1 = header.sha1, .romName = "d.chd", .size = "-", .version = "1"},
             {.system = "Sys", .game = "E", .sha1 = header.sha1, .romName = "e.chd", .size = "-", .version = "1"}});
    runSteps({{.args = "scan Sys --verify-chd 2>/dev/null",
               .has = {"Error in disk image E/e.chd: Error reading CHD file", "  Games: 1 complete, 1 incomplete, 3 missing",
                       "  Disk images: 2 found, 1 damaged"},
               .lacks = {"Error in disk image D/d.chd", "not on the PATH"}}});
    std::string out;
    ASSERT_EQ(testing::runCapture("PATH=/nonexistent " + cmd("scan Sys --verify-chd 2>/dev/null"), out), 0);
    EXPECT_THAT(out, testing::HasSubstr("Warning: chdman (Debian package mame-tools) is not on the PATH"));
    EXPECT_EQ(out.find("not on the PATH"), out.rfind("not on the PATH")) << "said once";
    EXPECT_THAT(out, testing::HasSubstr("  Disk images: 2 found, 0 damaged"));
}

// A scan starts the program again with the allocator tuned; what the
// restarted program runs in turn (here chdman) gets the user's environment.
TEST_F(AnalysisCommands, AScanRunsWithTheAllocatorTunedAndHandsOnTheUsersEnvironment) {
    const std::string chdman = home.file("bin/chdman");
    writeFile(chdman, "#!/bin/sh\nenv > \"$SEEN\"\ntr '\\0' '\\n' < /proc/$PPID/environ > \"$SEEN.parent\"\n");
    ASSERT_EQ(::chmod(chdman.c_str(), 0755), 0);
    writeFile(home.file("roms/Sys/D/d.chd"), testing::chdImage(5));
    addRoms(
        {{.system = "Sys", .game = "D", .sha1 = testing::kChdSha1, .romName = "d.chd", .size = "-", .version = "1"}});
    auto line = [](const std::string& env, const std::string& name) {
        const size_t at = env.find("\n" + name + "=");
        return at == std::string::npos ? std::string("(unset)") : env.substr(at + 1, env.find('\n', at + 1) - at - 1);
    };
    for (const std::string user : {"", "GLIBC_TUNABLES=glibc.malloc.check=0 "}) {
        std::string out;
        ASSERT_EQ(testing::runCapture(user + "SEEN=" + home.file("seen") + " PATH=" + home.file("bin") + ":$PATH " +
                                          cmd("scan Sys --verify-chd 2>&1"),
                                      out),
                  0)
            << out;
        const std::string seen = "\n" + testing::readFile(home.file("seen"));
        const std::string started = "\n" + testing::readFile(home.file("seen.parent"));
        EXPECT_EQ(line(seen, "GLIBC_TUNABLES"), user.empty() ? "(unset)" : "GLIBC_TUNABLES=glibc.malloc.check=0");
        EXPECT_EQ(line(seen, "QUORVANE_STARTED_TUNED"), "(unset)");
        // The scan itself was started again with the allocator's settings, the
        // user's kept to be handed on (the C library may have split the variable
        // where the settings part).
        EXPECT_EQ(line(started, "QUORVANE_STARTED_TUNED"),
                  "QUORVANE_STARTED_TUNED=" + (user.empty() ? std::string("-") : "=glibc.malloc.check=0"));
        for (const char* setting : {"glibc.malloc.hugetlb=1", "glibc.malloc.top_pad=16777216"})
            EXPECT_NE(started.find(setting), std::string::npos) << setting;
    }
}

// A scan that finds the last scan of each system it is given tests only what
// changed: it runs in the program as started. A first scan, and one told
// to test every file, start it again with the allocator tuned.
TEST_F(AnalysisCommands, OnlyAScanThatTestsEveryFileStartsTheProgramAgain) {
    // chdman says which program ran it: one started again has the mark in
    // the environment it started with.
    writeFile(home.file("bin/chdman"), "#!/bin/sh\ntr '\\0' '\\n' < /proc/$PPID/environ > \"$SEEN\"\n");
    ASSERT_EQ(::chmod(home.file("bin/chdman").c_str(), 0755), 0);
    writeFile(home.file("roms/Sys/D/d.chd"), testing::chdImage(5));
    addRoms(
        {{.system = "Sys", .game = "D", .sha1 = testing::kChdSha1, .romName = "d.chd", .size = "-", .version = "1"}});
    writeFile(home.file("src/a.bin"), "hello");
    ASSERT_EQ(std::system(("cd '" + home.file("src") + "' && zip -q ../roms/Sys/A.zip a.bin").c_str()), 0);
    // A file changed in the last two seconds is not recorded: it may be changing still.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    auto startedAgain = [&](const std::string& args) {
        std::string out;
        EXPECT_EQ(testing::runCapture("SEEN=" + home.file("seen") + " PATH=" + home.file("bin") + ":$PATH " +
                                          cmd(args + " --verify-chd 2>&1"),
                                      out),
                  0)
            << out;
        return testing::readFile(home.file("seen")).find("QUORVANE_STARTED_TUNED=") != std::string::npos;
    };
    EXPECT_TRUE(startedAgain("scan Sys"));
    EXPECT_FALSE(startedAgain("scan Sys"));
    EXPECT_FALSE(startedAgain("scan --all"));
    EXPECT_TRUE(startedAgain("scan Sys --full"));
    ::unlink(ScanCache::pathFor(home.file("databases/roms"), "Sys").c_str());
    EXPECT_TRUE(startedAgain("scan --all"));
}

}  // namespace
}  // namespace quorvane
