// Fix and rebuild on unlucky folders: entries that share or swap names,
// folder entries, damaged targets, failed copies and failed moves. In each,
// no ROM may be lost or end up under the wrong name.
#include <cerrno>

#include "archive/archive_fixtures.h"
#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/fix_job.h"
#include "engine/folder_listing.h"
#include "engine/rebuild_job.h"
#include "engine/scan_job.h"

namespace quorvane::testing {
namespace {

using Lines = std::vector<std::string>;
using FixHostileTest = FixTest;

TEST_F(FixHostileTest, EntriesSharingANameAreEachKeptOrBackedUpOnTheirOwn) {
    // The bad dump first in one archive, second in the other.
    makeZips({{f() + "/A.zip", {{"a1.bin", "bad dump"}, {"a1.bin", "content a1"}, {"a2.bin", "content a2"}}},
              {f() + "/B.zip", {{"b1.bin", "content b1"}, {"b1.bin", "other bad dump"}}}});
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(folderState(f()), (Lines{"A.zip: a1.bin=content a1 a2.bin=content a2", "B.zip: b1.bin=content b1"}));
    EXPECT_EQ(backupContents(), (Lines{"a1.bin=bad dump", "b1.bin=other bad dump"}));
    EXPECT_EQ(statuses("A B"), "YY Y");
}

TEST_F(FixHostileTest, SwappedNamesEndWithBothRomsUnderTheirRightNames) {
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a2"}, {"a2.bin", "content a1"}}}});
    ASSERT_TRUE(run(fix()));
    const std::string contents = zipContents(f() + "/A.zip");
    EXPECT_TRUE(contents == "a1.bin=content a1 a2.bin=content a2" || contents == "a2.bin=content a2 a1.bin=content a1")
        << contents;
    EXPECT_EQ(statuses("A"), "YY");
    // Each wrongly named entry is kept, under the name it had.
    EXPECT_EQ(backupContents(), (Lines{"a1.bin=content a2", "a2.bin=content a1"}));
    EXPECT_EQ(host.eventsOf("info").back(), "Romset Sys has been fixed.");

    // A second fix finds nothing to do.
    RecordingHost again;
    ASSERT_TRUE(run(std::make_unique<FixJob>(db, again, settings, "Sys")));
    EXPECT_EQ(transcriptOf(again), Lines{fixing("Sys")});
}

TEST_F(FixHostileTest, FolderEntriesAreNeitherRomsNorUnknownFiles) {
    addRom("Sys", "E", "empty.bin", "");
    makeZips({{f() + "/A.zip", {{"sub/", ""}, {"a1.bin", "content a1"}, {"a2.bin", "content a2"}}}});
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(transcript(), Lines{fixing("Sys")});
    // A folder is no 0-byte ROM: no E.zip.
    EXPECT_EQ(folderState(f()), Lines{"A.zip: sub/= a1.bin=content a1 a2.bin=content a2"});
    EXPECT_EQ(statuses("A E"), "YY N");
}

TEST_F(FixHostileTest, AnUnreadableArchiveGoesAsideBeforeItsSetIsBuiltAnew) {
    addRom("Sys", "Z", "z1.bin", "content z1");
    addRom("Sys", "Z", "z2.bin", "content z2");
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}, {"z1.bin", "content z1"}}},
              {f() + "/Z.zip", {{"z2.bin", "content z2 but longer, so it deflates"}}}});
    std::string damaged = readFile(f() + "/Z.zip");
    damaged[36 + 4] ^= 0x55;  // inside the first entry's data
    writeFile(f() + "/Z.zip", damaged);
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(zipContents(f() + "/Z.zip"), "z1.bin=content z1");
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a1.bin=content a1 a2.bin=content a2");
    EXPECT_EQ(statuses("Z"), "YN");
    const Lines backups = backupContents();
    EXPECT_NE(std::find(backups.begin(), backups.end(), "Z.zip=" + damaged), backups.end());
    EXPECT_NE(std::find(backups.begin(), backups.end(), "z1.bin=content z1"), backups.end());
}

TEST_F(FixHostileTest, AFailedCopyLeavesItsSourceWhereItIsAndFailsTheJob) {
    makeZips({{f() + "/C.zip", {{"b1.bin", "content b1"}}}});
    ASSERT_TRUE(makeFolders(f() + "/B.zip"));  // no archive can be written there
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(transcript(), (Lines{fixing("Sys"), "[C.zip]", "  b1.bin rebuilt to Sys/B/b1.bin",
                                   "  Error while copying file.", "1 step failed: see the messages above."}));
    EXPECT_EQ(zipContents(f() + "/C.zip"), "b1.bin=content b1");
    EXPECT_TRUE(backupContents().empty());
    EXPECT_EQ(host.eventsOf("info"), Lines{"Romset Sys has not been fully fixed: 1 step failed."});
    EXPECT_EQ(host.failedSteps(), 1);
}

TEST_F(FixHostileTest, ARomAScanSawElsewhereIsStillBuiltIntoItsSet) {
    makeZips({{f() + "/C.zip", {{"o1.bin", "content o1"}}}});
    ASSERT_TRUE(makeFolders(systemFolder("Other")));
    ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Sys")));
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(zipContents(systemFolder("Other") + "/O.zip"), "o1.bin=content o1");
    EXPECT_EQ(statuses("Other/O"), "Y");
    EXPECT_EQ(backupContents(), Lines{"o1.bin=content o1"});
}

// Lets every rename that replaces a file fail: archives cannot be rewritten,
// while moves to new names still work.
class FailingReplace : public FileOps {
public:
    int rename(const std::string&, const std::string&) override {
        errno = EIO;
        return -1;
    }
};

TEST_F(FixHostileTest, AMoveThatFailsIsReportedAndLeavesNoSecondCopy) {
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}, {"junk.bin", "junk"}}}});
    {
        FailingReplace ops;
        ScopedFileOps seam(ops);
        ASSERT_TRUE(run(fix()));
    }
    EXPECT_EQ(transcript(),
              (Lines{fixing("Sys"), "[A.zip]", "  junk.bin cannot be identified.",
                     "  junk.bin could not be moved to the backup folder (cannot put the new archive in place); it "
                     "was left where it is",
                     "1 step failed: see the messages above."}));
    EXPECT_EQ(host.eventsOf("info"), Lines{"Romset Sys has not been fully fixed: 1 step failed."});
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a1.bin=content a1 a2.bin=content a2 junk.bin=junk");
    EXPECT_TRUE(backupContents().empty());

    // The rerun moves it once.
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(backupContents(), Lines{"junk.bin=junk"});
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a1.bin=content a1 a2.bin=content a2");
}

TEST_F(FixHostileTest, RebuildIntoAnArchiveWithTwoEntriesOfTheNameKeepsBoth) {
    makeZips({{f() + "/A.zip", {{"a1.bin", "first bad"}, {"a1.bin", "second bad"}, {"a2.bin", "content a2"}}}});
    writeFile(dir.file("src/a1.bin"), "content a1");
    ASSERT_TRUE(run(std::make_unique<RebuildJob>(db, host, settings, dir.file("src"))));
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a2.bin=content a2 a1.bin=content a1");
    EXPECT_EQ(backupContents(), (Lines{"a1 (1).bin=second bad", "a1.bin=first bad"}));
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
