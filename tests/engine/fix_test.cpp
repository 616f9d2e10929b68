#include <optional>

#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/fix_job.h"
#include "engine/folder_listing.h"

namespace quorvane::testing {
namespace {

using Lines = std::vector<std::string>;

// A folder of system Sys as found, and all a fix must leave behind.
struct FixCase {
    const char* name;
    std::vector<std::pair<std::string, Entries>> zips;  // in the folder
    Entries files;                                      // loose, in the folder
    std::optional<Lines> transcript;                    // after the "Fixing" line
    Lines folder;                                       // folderState() afterwards
    Lines other;                                        // and of system Other's folder
    Lines backup;
    std::string games, statuses;  // statuses() of `games`
    std::string info = "Romset Sys has been fixed.";
    bool backupBlocked = false;  // the backup folder's parent is a regular file
};

void PrintTo(const FixCase& c, std::ostream* os) { *os << c.name; }

class FixCases : public FixTest, public ::testing::WithParamInterface<FixCase> {};

TEST_P(FixCases, LeavesTheFolderRepairedAndEverythingUnwantedInTheBackup) {
    const FixCase& c = GetParam();
    if (c.backupBlocked) {
        settings.backupDir = dir.file("blocker/Backup/");
        writeFile(dir.file("blocker"), "a regular file");
    }
    std::vector<std::pair<std::string, Entries>> zips;
    for (const auto& [name, entries] : c.zips) zips.push_back({f() + "/" + name, entries});
    makeZips(zips);
    for (const auto& [name, content] : c.files) writeFile(f() + "/" + name, content);
    ASSERT_TRUE(run(fix()));
    if (c.transcript) {
        Lines expected{fixing("Sys")};
        expected.insert(expected.end(), c.transcript->begin(), c.transcript->end());
        EXPECT_EQ(transcript(), expected);
    }
    EXPECT_EQ(folderState(f()), c.folder);
    EXPECT_EQ(folderState(systemFolder("Other")), c.other);
    EXPECT_EQ(backupContents(), c.backup);
    EXPECT_EQ(statuses(c.games), c.statuses);
    EXPECT_EQ(host.eventsOf("info"), Lines{c.info});
}

const Lines kWholeA{"A.zip: a1.bin=content a1 a2.bin=content a2"};

INSTANTIATE_TEST_SUITE_P(
    Folders, FixCases,
    ::testing::Values(
        FixCase{.name = "CorrectFolderIsLeftAlone",
                .zips = {{"A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}}}},
                .transcript = Lines{},
                .folder = kWholeA,
                .games = "A",
                .statuses = "YY"},
        // The unreadable archive goes aside before anything is written; C.zip
        // loses its last entry and is gone; the foreign ROM goes to its own system.
        FixCase{.name = "RepairsMisplacedRomsAndBacksUpEverythingUnwanted",
                .zips = {{"A.zip", {{"a1.bin", "content a1"}, {"wrong.bin", "content a2"}}},
                         {"C.zip", {{"b1.bin", "content b1"}, {"o1.bin", "content o1"}}}},
                .files = {{"bad.zip", "PK\x03\x04 truncated"}, {"note.txt", "not a rom"}},
                .transcript = Lines{"Error in zip bad.zip: -102 (not a zip archive)", "[bad.zip]",
                                    "  bad.zip corrupt: it has been deleted", "[A.zip]",
                                    "  wrong.bin rebuilt to Sys/A/a2.bin", "  wrong.bin deleted", "[C.zip]",
                                    "  b1.bin rebuilt to Sys/B/b1.bin", "  b1.bin deleted",
                                    "  o1.bin rebuilt to Other/O/o1.bin", "  o1.bin deleted", "[note.txt]",
                                    "  note.txt cannot be identified.", "  note.txt deleted"},
                .folder = {kWholeA[0], "B.zip: b1.bin=content b1"},
                .other = {"O.zip: o1.bin=content o1"},
                .backup = {"b1.bin=content b1", "bad.zip=PK\x03\x04 truncated", "note.txt=not a rom",
                           "o1.bin=content o1", "wrong.bin=content a2"},
                .games = "A B Other/O",
                .statuses = "YY Y Y"},
        FixCase{.name = "CaseOnlyArchiveNameIsRenamedWithoutASecondArchive",
                .zips = {{"a.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}}}},
                .transcript = Lines{"[a.zip]", "  a1.bin rebuilt to Sys/A/a1.bin"},
                .folder = kWholeA,
                .games = "A",
                .statuses = "YY"},
        FixCase{.name = "CaseVariantBesideTheExactArchiveIsCopiedNeverRenamedOver",
                .zips = {{"A.zip", {{"a1.bin", "content a1"}}}, {"a.zip", {{"a2.bin", "content a2"}}}},
                .folder = kWholeA,
                .backup = {"a2.bin=content a2"},
                .games = "A",
                .statuses = "YY"},
        // Both the moved-out entry (C.zip comes first) and the loose file are kept.
        FixCase{.name = "LooseFileBesideAnEntryOfTheSameNameSurvives",
                .zips = {{"C.zip", {{"a1.bin", "content a1"}}}},
                .files = {{"a1.bin", "a user's own file"}},
                .folder = {"A.zip: a1.bin=content a1"},
                .backup = {"a1 (1).bin=a user's own file", "a1.bin=content a1"}},
        // 0.zip is fixed first and brings a2.bin's content to A.zip, where an
        // entry of that name holds something else.
        FixCase{.name = "AnEntryReplacedByTheRightRomIsKeptInTheBackupFolder",
                .zips = {{"0.zip", {{"x.bin", "content a2"}}},
                         {"A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "a bad dump of a2"}}}},
                .folder = kWholeA,
                .backup = {"a2.bin=a bad dump of a2", "x.bin=content a2"},
                .games = "A",
                .statuses = "YY"},
        FixCase{.name = "BackupFolderThatCannotBeMadeLosesNothingAndSaysSo",
                .zips = {{"A.zip", {{"a1.bin", "content a1"}, {"junk.bin", "junk"}}}},
                .files = {{"bad.zip", "not a zip"}, {"note.txt", "keep me"}},
                .transcript =
                    Lines{"Error in zip bad.zip: -102 (not a zip archive)", "[bad.zip]",
                          "  bad.zip corrupt: it could not be moved to the backup folder (Not a directory)", "[A.zip]",
                          "  junk.bin cannot be identified.",
                          "  junk.bin could not be moved to the backup folder (Not a directory); it was left where it is",
                          "[note.txt]", "  note.txt cannot be identified.",
                          "  note.txt could not be moved to the backup folder (Not a directory); it was left where it is",
                          "3 steps failed: see the messages above."},
                .folder = {"A.zip: a1.bin=content a1 junk.bin=junk", "bad.zip: not a zip", "note.txt: keep me"},
                .info = "Romset Sys has not been fully fixed: 3 steps failed.",
                .backupBlocked = true}),
    [](const ::testing::TestParamInfo<FixCase>& p) { return std::string(p.param.name); });

TEST_F(FixTest, TheBackupFolderIsMadeBeforeTheFixStarts) {
    ASSERT_TRUE(makeFolders(f()));
    auto job = fix();
    ASSERT_TRUE(job->prepare());
    EXPECT_TRUE(isDirectory(job->backupFolderPath()));
    EXPECT_EQ(job->backupFolderPath().rfind(dir.file("Backup/"), 0), 0u);
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
    EXPECT_EQ(transcript(), (Lines{fixing("Sys"), "[x.txt]", "  x.txt cannot be identified.", "  x.txt deleted",
                                   fixing("Other"), "[y.txt]", "  y.txt cannot be identified.", "  y.txt deleted"}));
    EXPECT_EQ(backupContents(), (Lines{"x.txt=x", "y.txt=y"}));
    EXPECT_EQ(host.eventsOf("info"), Lines{"Romset have been fixed."});
    EXPECT_EQ(host.eventsOf("startProgress").front(), "Fixing systems... / 0");
}

}  // namespace
}  // namespace quorvane::testing
