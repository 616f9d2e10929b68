// history and undo: a fix or a rebuild taken back leaves the collection as it
// was, byte for byte; a file changed since the run stops the undo.
#include <algorithm>
#include <filesystem>

#include "cli_fixture.h"
#include "core/file_util.h"
#include "damaged_set.h"
#include "support/inventory.h"

namespace quorvane {
namespace {

using testing::HasSubstr;
using testing::inventoryOf;
using testing::Not;
using testing::readFile;
using testing::writeFile;

class UndoCommands : public testing::CliTest {
protected:
    void SetUp() override {
        useRomsFolder();
        ASSERT_TRUE(testing::makeDamagedSet(home.path()));
    }
    std::string sys() const { return home.file("roms/Sys"); }
    std::string backup() const { return home.file("Backup"); }
    // The run folders in Backup/, oldest first.
    std::vector<std::string> runFolders() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(backup())) out.push_back(e.path().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(UndoCommands, AFixUndoneLeavesTheFolderAsItWasAndTheCatalogueClean) {
    const auto before = inventoryOf(sys());
    std::string out;
    ASSERT_EQ(run("fix Sys 2>&1", out), 0) << out;
    const auto fixed = inventoryOf(sys());
    ASSERT_NE(fixed, before);
    ASSERT_EQ(run("history", out), 0);
    EXPECT_THAT(out, HasSubstr("\tfix\tSys\t"));
    EXPECT_THAT(out, HasSubstr("\tdone\n"));

    // Without a terminal and without --yes nothing happens.
    EXPECT_EQ(run("undo </dev/null 2>&1", out), 1);
    EXPECT_THAT(out, HasSubstr("Nothing was changed."));
    EXPECT_EQ(inventoryOf(sys()), fixed);

    ASSERT_EQ(run("undo --yes 2>&1", out), 0) << out;
    EXPECT_THAT(out, HasSubstr("The statuses of Sys were cleared"));
    EXPECT_EQ(inventoryOf(sys()), before);
    ASSERT_EQ(run("games Sys --json", out), 0);
    EXPECT_THAT(out, Not(HasSubstr("\"complete\"")));
    ASSERT_EQ(run("history", out), 0);
    EXPECT_THAT(out, HasSubstr("\tundone\n"));
    EXPECT_EQ(run("undo --yes 2>&1", out), 1);
    EXPECT_THAT(out, HasSubstr("There is no run to undo."));
    // What the fix made went to the run's Undone folder, not away.
    const std::string undone = runFolders().at(0) + "/Undone";
    EXPECT_TRUE(pathExists(undone + "/G5.zip")) << out;
}

TEST_F(UndoCommands, ARebuildAndAFixAreUndoneLastFirst) {
    writeFile(home.file("src/G7r1.bin"), testing::damagedRom(7, 1));
    writeFile(home.file("src/more/G2r0.bin"), testing::damagedRom(2, 0));
    const auto before = inventoryOf(sys());
    const auto sources = inventoryOf(home.file("src"));
    std::string out;
    ASSERT_EQ(run("rebuild " + home.file("src") + " 2>&1", out), 0) << out;
    const auto rebuilt = inventoryOf(sys());
    ASSERT_NE(rebuilt, before);
    ASSERT_EQ(run("fix Sys 2>&1", out), 0) << out;
    ASSERT_EQ(run("history", out), 0);
    EXPECT_THAT(out, HasSubstr("\trebuild\tSys\t"));

    ASSERT_EQ(run("undo --yes 2>&1", out), 0) << out;
    EXPECT_EQ(inventoryOf(sys()), rebuilt);
    ASSERT_EQ(run("undo --yes 2>&1", out), 0) << out;
    EXPECT_EQ(inventoryOf(sys()), before);
    EXPECT_EQ(inventoryOf(home.file("src")), sources);
}

TEST_F(UndoCommands, AFileChangedSinceTheRunStopsTheUndoUnlessForced) {
    const auto before = inventoryOf(sys());
    std::string out;
    ASSERT_EQ(run("fix Sys 2>&1", out), 0) << out;
    // G2.zip was written anew by the fix; now someone replaces it.
    ASSERT_TRUE(pathExists(sys() + "/G2.zip"));
    writeFile(sys() + "/G2.zip", "my own G2");
    const auto changed = inventoryOf(sys());

    EXPECT_EQ(run("undo --yes 2>&1", out), 1);
    EXPECT_THAT(out, HasSubstr(sys() + "/G2.zip has changed since the run."));
    EXPECT_THAT(out, HasSubstr("Nothing was changed."));
    EXPECT_EQ(inventoryOf(sys()), changed);

    ASSERT_EQ(run("undo --yes --force 2>&1", out), 0) << out;
    EXPECT_EQ(inventoryOf(sys()), before);
    EXPECT_EQ(readFile(runFolders().at(0) + "/Undone/G2.zip"), "my own G2");
}

// The multi-zipper, TorrentZip and a fix writing 7z sets: each taken back exactly.
TEST_F(UndoCommands, ZipUnzipTorrentZipAndSevenZipOutputAreUndoneExactly) {
    std::string out;
    const auto check = [&](const std::string& args, const std::string& folder, int status = 0) {
        SCOPED_TRACE(args);
        const auto before = inventoryOf(folder);
        ASSERT_EQ(run(args + " 2>&1", out), status) << out;
        ASSERT_NE(inventoryOf(folder), before) << out;
        ASSERT_EQ(run("undo --yes 2>&1", out), 0) << out;
        EXPECT_EQ(inventoryOf(folder), before) << out;
    };
    const std::string loose = home.file("loose");
    writeFile(loose + "/a.bin", "first file");
    writeFile(loose + "/sub/b.bin", "second file");
    ASSERT_EQ(run("zip " + loose + " 2>&1", out), 0) << out;
    // b.zip now holds b.bin; a new b.bin of other content replaces that entry.
    writeFile(loose + "/sub/b.bin", "second file, changed");
    check("zip " + loose, loose);
    // A tool's run names folders, not systems: no status was cleared, so none is said to be.
    EXPECT_THAT(out, Not(HasSubstr("were cleared"))) << out;
    check("unzip " + loose, loose);
    check("torrentzip Sys", sys(), 1);  // two of its archives are damaged
    ASSERT_EQ(run("settings set --system Sys output 7z", out), 0) << out;
    check("fix Sys", sys());
}

}  // namespace
}  // namespace quorvane
