// Fix and rebuild on unlucky folders: failed moves, unsafe names. In each, no
// ROM may be lost or end up under the wrong name (the data safety test has the shared and swapped
// names, folder entries and damaged archives of a fix).
#include <cerrno>

#include "archive/archive_fixtures.h"
#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/fix_job.h"
#include "engine/folder_listing.h"
#include "engine/rebuild_job.h"

namespace quorvane::testing {
namespace {

using FixHostileTest = FixTest;

// Lets every rename that replaces a file fail: archives cannot be rewritten,
// while moves to new names still work.
struct FailingReplace : FileOps {
    int rename(const std::string&, const std::string&) override { return errno = EIO, -1; }
};

TEST_F(FixHostileTest, AMoveThatFailsIsReportedAndLeavesNoSecondCopy) {
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}, {"junk.bin", "junk"}}}});
    {
        FailingReplace ops;
        ScopedFileOps seam(ops);
        ASSERT_TRUE(run(fix()));
    }
    EXPECT_EQ(transcript(), (Lines{fixing("Sys"), "[A.zip]", "  junk.bin cannot be identified.",
                                   "  junk.bin could not be moved to the backup folder (cannot put the new archive in "
                                   "place); it was left where it is", "1 step failed: see the messages above."}));
    EXPECT_EQ(host.eventsOf("info"), Lines{"Romset Sys has not been fully fixed: 1 step failed."});
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a1.bin=content a1 a2.bin=content a2 junk.bin=junk");
    EXPECT_TRUE(backupContents().empty());

    // The rerun moves it once.
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(backupContents(), Lines{"Sys/A.zip/junk.bin=junk"});
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a1.bin=content a1 a2.bin=content a2");
}

TEST_F(FixHostileTest, UnsafeNamesFromTheCatalogueAreNeverWritten) {
    addRom("Sys", "..", "x.bin", "content x");
    addRom("Sys", "G", "../../escape.bin", "content escape");
    writeFile(dir.file("src/x.bin"), "content x");
    writeFile(dir.file("src/e.bin"), "content escape");
    ASSERT_TRUE(run(std::make_unique<RebuildJob>(db, host, settings, dir.file("src"))));
    EXPECT_EQ(listPlainFiles(f()), Lines{});
    EXPECT_FALSE(pathExists(dir.file("escape.bin")));
    EXPECT_EQ(host.failedSteps(), 2);
}

}  // namespace
}  // namespace quorvane::testing
