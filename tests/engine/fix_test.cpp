#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/fix_fixture.h"
#include "engine/fix_job.h"
#include "engine/folder_listing.h"

namespace quorvane::testing {
namespace {

using Lines = std::vector<std::string>;

TEST_F(FixTest, CorrectFolderIsLeftAloneWithAnEmptyBackupFolder) {
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}}}});
    auto job = fix();
    ASSERT_TRUE(job->prepare());
    EXPECT_TRUE(isDirectory(job->backupFolderPath()));
    EXPECT_EQ(job->backupFolderPath().rfind(dir.file("Backup/"), 0), 0u);
    job->execute();
    EXPECT_EQ(transcript(), Lines{fixing("Sys")});
    EXPECT_TRUE(backupContents().empty());
    EXPECT_EQ(listPlainFiles(f()), Lines{"A.zip"});
    EXPECT_EQ(statusOf("Sys", "A"), "YY");
    EXPECT_EQ(host.eventsOf("info"), Lines{"Romset Sys has been fixed."});
}

TEST_F(FixTest, RepairsMisplacedRomsAndBacksUpEverythingUnwanted) {
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"wrong.bin", "content a2"}}},
              {f() + "/C.zip", {{"b1.bin", "content b1"}, {"o1.bin", "content o1"}}}});
    writeFile(f() + "/bad.zip", "PK\x03\x04 truncated");
    writeFile(f() + "/note.txt", "not a rom");
    ASSERT_TRUE(run(fix()));
    // The unreadable archive goes aside before anything is written.
    EXPECT_EQ(transcript(), (Lines{
                                fixing("Sys"),
                                "Error in zip bad.zip: -102 (not a zip archive)",
                                "[bad.zip]",
                                "  bad.zip corrupt: it has been deleted",
                                "[A.zip]",
                                "  wrong.bin rebuilt to Sys/A/a2.bin",
                                "  wrong.bin deleted",
                                "[C.zip]",
                                "  b1.bin rebuilt to Sys/B/b1.bin",
                                "  b1.bin deleted",
                                "  o1.bin rebuilt to Other/O/o1.bin",
                                "  o1.bin deleted",
                                "[note.txt]",
                                "  note.txt cannot be identified.",
                                "  note.txt deleted",
                            }));
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a1.bin=content a1 a2.bin=content a2");
    EXPECT_EQ(zipContents(f() + "/B.zip"), "b1.bin=content b1");
    EXPECT_EQ(zipContents(f() + "/C.zip"), "");  // its last entry left: the archive is gone
    // The foreign ROM went to its own system's folder.
    EXPECT_EQ(zipContents(systemFolder("Other") + "/O.zip"), "o1.bin=content o1");
    EXPECT_EQ(listPlainFiles(f()), (Lines{"A.zip", "B.zip"}));
    EXPECT_EQ(backupContents(), (Lines{"b1.bin=content b1", "bad.zip=PK\x03\x04 truncated", "note.txt=not a rom",
                                       "o1.bin=content o1", "wrong.bin=content a2"}));
    EXPECT_EQ(statusOf("Sys", "A"), "YY");
    EXPECT_EQ(statusOf("Sys", "B"), "Y");
    EXPECT_EQ(statusOf("Other", "O"), "Y");
}

TEST_F(FixTest, CaseOnlyArchiveNameIsRenamedWithoutASecondArchive) {
    makeZips({{f() + "/a.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}}}});
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(transcript(), (Lines{fixing("Sys"), "[a.zip]", "  a1.bin rebuilt to Sys/A/a1.bin"}));
    EXPECT_EQ(listPlainFiles(f()), Lines{"A.zip"});
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a1.bin=content a1 a2.bin=content a2");
    EXPECT_TRUE(backupContents().empty());
    EXPECT_EQ(statusOf("Sys", "A"), "YY");
}

TEST_F(FixTest, CaseVariantBesideTheExactArchiveIsCopiedNeverRenamedOver) {
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}}}, {f() + "/a.zip", {{"a2.bin", "content a2"}}}});
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a1.bin=content a1 a2.bin=content a2");
    EXPECT_EQ(listPlainFiles(f()), Lines{"A.zip"});
    EXPECT_EQ(backupContents(), Lines{"a2.bin=content a2"});
    EXPECT_EQ(statusOf("Sys", "A"), "YY");
}

TEST_F(FixTest, LooseFileBesideAnEntryOfTheSameNameSurvives) {
    makeZips({{f() + "/C.zip", {{"a1.bin", "content a1"}}}});
    writeFile(f() + "/a1.bin", "a user's own file");
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a1.bin=content a1");
    // Both the moved-out entry (C.zip comes first) and the loose file are in
    // the backup folder.
    EXPECT_EQ(backupContents(), (Lines{"a1 (1).bin=a user's own file", "a1.bin=content a1"}));
    EXPECT_EQ(listPlainFiles(f()), Lines{"A.zip"});
}

TEST_F(FixTest, AnEntryReplacedByTheRightRomIsKeptInTheBackupFolder) {
    // 0.zip is fixed first and brings a2.bin's content to A.zip, where an
    // entry of that name holds something else.
    makeZips({{f() + "/0.zip", {{"x.bin", "content a2"}}},
              {f() + "/A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "a bad dump of a2"}}}});
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a1.bin=content a1 a2.bin=content a2");
    EXPECT_EQ(backupContents(), (Lines{"a2.bin=a bad dump of a2", "x.bin=content a2"}));
    EXPECT_EQ(statusOf("Sys", "A"), "YY");
}

TEST_F(FixTest, BackupFolderThatCannotBeMadeLosesNothingAndSaysSo) {
    settings.backupDir = dir.file("blocker/Backup/");
    writeFile(dir.file("blocker"), "a regular file");
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"junk.bin", "junk"}}}});
    writeFile(f() + "/bad.zip", "not a zip");
    writeFile(f() + "/note.txt", "keep me");
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(transcript(),
              (Lines{fixing("Sys"), "Error in zip bad.zip: -102 (not a zip archive)", "[bad.zip]",
                     "  bad.zip corrupt: it could not be moved to the backup folder (Not a directory)", "[A.zip]",
                     "  junk.bin cannot be identified.",
                     "  junk.bin could not be moved to the backup folder (Not a directory); it was left where it is",
                     "[note.txt]", "  note.txt cannot be identified.",
                     "  note.txt could not be moved to the backup folder (Not a directory); it was left where it is",
                     "3 steps failed: see the messages above."}));
    EXPECT_EQ(host.eventsOf("info"), Lines{"Romset Sys has not been fully fixed: 3 steps failed."});
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a1.bin=content a1 junk.bin=junk");
    EXPECT_EQ(readFile(f() + "/bad.zip"), "not a zip");
    EXPECT_EQ(readFile(f() + "/note.txt"), "keep me");
    EXPECT_EQ(listPlainFiles(f()), (Lines{"A.zip", "bad.zip", "note.txt"}));
}

TEST_F(FixTest, TwoFixesInTheSameSecondShareTheBackupFolderWithoutOverwriting) {
    writeFile(f() + "/note.txt", "first");
    ASSERT_TRUE(run(fix()));
    writeFile(f() + "/note.txt", "second");
    ASSERT_TRUE(run(fix()));
    const Lines backups = backupContents();
    EXPECT_EQ(backups.size(), 2u);
    EXPECT_NE(std::find(backups.begin(), backups.end(), "note.txt=first"), backups.end());
}

TEST_F(FixTest, ListFixUsesOneBackupFolderAndItsOwnTexts) {
    writeFile(f() + "/x.txt", "x");
    writeFile(systemFolder("Other") + "/y.txt", "y");
    ASSERT_TRUE(run(std::make_unique<FixJob>(db, host, settings, Lines{"Sys", "Other"})));
    EXPECT_EQ(transcript(), (Lines{fixing("Sys"), "[x.txt]",
                                   "  x.txt cannot be identified.", "  x.txt deleted",
                                   fixing("Other"),
                                   "[y.txt]", "  y.txt cannot be identified.", "  y.txt deleted"}));
    EXPECT_EQ(backupContents(), (Lines{"x.txt=x", "y.txt=y"}));
    EXPECT_EQ(host.eventsOf("info"), Lines{"Romset have been fixed."});
    EXPECT_EQ(host.eventsOf("startProgress").front(), "Fixing systems... / 0");
}

}  // namespace
}  // namespace quorvane::testing
