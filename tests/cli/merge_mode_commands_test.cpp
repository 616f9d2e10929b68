// An arcade DAT (a BIOS, a device, a parent with a disk, its clone) imported,
// and its sets scanned and converted in each merge mode.
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "cli/cli_fixture.h"

namespace quorvane::testing {
namespace {

class MergeModeCommands : public CliTest {
protected:
    void SetUp() override {
        useRomsFolder();
        ASSERT_EQ(runShell(script() + " dat " + home.file("arc.xml")), 0);
        std::string out;
        ASSERT_EQ(run("import " + home.file("arc.xml"), out), 0) << out;
    }
    static std::string script() { return "python3 " QUORVANE_SOURCE_DIR "/tests/cli/make_arcade_set.py"; }
    std::string folder() const { return home.file("roms/Arc"); }
    void writeSets(const std::string& mode) const {
        std::filesystem::remove_all(folder());
        ASSERT_EQ(runShell(script() + " sets " + mode + " " + folder()), 0);
    }
    // How many of the system's games are complete.
    long completeGames() const {
        std::string out;
        EXPECT_EQ(run("games Arc", out), 0);
        long complete = 0;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) complete += line.starts_with("complete");
        return complete;
    }
};

TEST_F(MergeModeCommands, SetsOfEachModeScanCompleteInThatMode) {
    for (const char* mode : {"split", "merged", "non-merged", "full-non-merged"}) {
        SCOPED_TRACE(mode);
        writeSets(mode);
        std::string out;
        ASSERT_EQ(run(std::string("settings set --system Arc merge-mode ") + mode, out), 0) << out;
        ASSERT_EQ(run("scan Arc", out), 0) << out;
        EXPECT_EQ(completeGames(), 5) << out;
    }
}

TEST_F(MergeModeCommands, AFixAfterChangingTheModeConvertsTheSets) {
    writeSets("merged");
    std::string out;
    ASSERT_EQ(run("settings set --system Arc merge-mode full-non-merged", out), 0) << out;
    ASSERT_EQ(run("fix Arc", out), 0) << out;
    EXPECT_EQ(completeGames(), 5) << out;
    // The clone's copy of the disk it shares with its parent.
    EXPECT_EQ(readFile(folder() + "/cl/pd.chd"), readFile(folder() + "/pa/pd.chd"));
    ASSERT_EQ(run("systems --json", out), 0);
    EXPECT_THAT(out, HasSubstr("\"mergeMode\": \"full-non-merged\""));
}

}  // namespace
}  // namespace quorvane::testing
