#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

#include "archive/file_ops.h"
#include "archive/zip_listing.h"
#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/fix_job.h"
#include "engine/folder_listing.h"
#include "engine/run_undo.h"
#include "support/inventory.h"

namespace quorvane::testing {
namespace {

// A folder of system Sys as found, and all a fix must leave behind.
struct FixCase {
    const char* name;
    std::vector<std::pair<std::string, Entries>> zips;  // in the folder
    Entries files;                                      // loose, in the folder
    std::optional<Lines> transcript;                    // after the "Fixing" line
    Lines folder, other, backup;  // folderState() afterwards, of system Other's folder, backupContents()
    std::string statuses;         // statuses("A B Other/O")
    bool backupBlocked = false;   // the backup folder's parent is a regular file
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
    EXPECT_EQ(statuses("A B Other/O"), c.statuses);
    EXPECT_EQ(host.eventsOf("info"), Lines{c.backupBlocked ? "Romset Sys has not been fully fixed: 3 steps failed."
                                                           : "Romset Sys has been fixed."});
    // The report's actions say where each file is now (the command line's
    // summaries check its counts end to end).
    ASSERT_TRUE(host.report());
    const SystemReport& report = host.report()->systems.at(0);
    EXPECT_EQ(report.stepsFailed, host.failedSteps());
    for (const FileAction& a : report.actions) {
        EXPECT_EQ(a.error.empty(), a.kind != FileAction::Kind::Failed) << a.name;
        EXPECT_TRUE(isRegularFile(a.kind == FileAction::Kind::Failed ? a.from : a.to)) << a.name;
    }
}

const Entries kA{{"a1.bin", "content a1"}, {"a2.bin", "content a2"}};
const Lines kWholeA{"A.zip: a1.bin=content a1 a2.bin=content a2"};
const std::string kNotMoved = " could not be moved to the backup folder (Not a directory)";

INSTANTIATE_TEST_SUITE_P(
    Folders, FixCases,
    ::testing::Values(
        // The unreadable archive goes aside before anything is written; C.zip
        // loses its last entry and is gone; the foreign ROM goes to its own system.
        FixCase{"RepairsMisplacedRomsAndBacksUpEverythingUnwanted",
                {{"A.zip", {{"a1.bin", "content a1"}, {"wrong.bin", "content a2"}}},
                 {"C.zip", {{"b1.bin", "content b1"}, {"o1.bin", "content o1"}}}},
                {{"bad.zip", "PK\x03\x04 truncated"}, {"note.txt", "not a rom"}},
                Lines{"Error in zip bad.zip: -102 (not a zip archive)", "[bad.zip]", "  bad.zip corrupt: it has been deleted",
                      "[A.zip]", "  wrong.bin rebuilt to Sys/A/a2.bin", "  wrong.bin deleted", "[C.zip]",
                      "  b1.bin rebuilt to Sys/B/b1.bin", "  b1.bin deleted", "  o1.bin rebuilt to Other/O/o1.bin",
                      "  o1.bin deleted", "[note.txt]", "  note.txt cannot be identified.", "  note.txt deleted"},
                {kWholeA[0], "B.zip: b1.bin=content b1"}, {"O.zip: o1.bin=content o1"},
                {"Sys/A.zip/wrong.bin=content a2", "Sys/C.zip/b1.bin=content b1", "Sys/C.zip/o1.bin=content o1",
                 "Sys/bad.zip=PK\x03\x04 truncated", "Sys/note.txt=not a rom"},
                "YY Y Y"},
        FixCase{"CaseOnlyArchiveNameIsRenamedWithoutASecondArchive", {{"a.zip", kA}}, {},
                Lines{"[a.zip]", "  a1.bin rebuilt to Sys/A/a1.bin"}, kWholeA, {}, {}, "YY N N"},
        FixCase{"CaseVariantBesideTheExactArchiveIsCopiedNeverRenamedOver",
                {{"A.zip", {{"a1.bin", "content a1"}}}, {"a.zip", {{"a2.bin", "content a2"}}}}, {}, {}, kWholeA, {},
                {"Sys/a.zip/a2.bin=content a2"}, "YY N N"},
        // Both the moved-out entry (C.zip comes first) and the loose file are
        // kept, each in its own place: no name is taken twice.
        FixCase{"LooseFileBesideAnEntryOfTheSameNameSurvives", {{"C.zip", {{"a1.bin", "content a1"}}}},
                {{"a1.bin", "a user's own file"}}, {}, {"A.zip: a1.bin=content a1"}, {},
                {"Sys/C.zip/a1.bin=content a1", "Sys/a1.bin=a user's own file"}, "YN N N"},
        // 0.zip is fixed first and brings a2.bin's content to A.zip, where an
        // entry of that name holds something else.
        FixCase{"AnEntryReplacedByTheRightRomIsKeptInTheBackupFolder",
                {{"0.zip", {{"x.bin", "content a2"}}}, {"A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "a bad dump"}}}},
                {}, {}, kWholeA, {}, {"Sys/0.zip/x.bin=content a2", "Sys/A.zip/a2.bin=a bad dump"}, "YY N N"},
        FixCase{"BackupFolderThatCannotBeMadeLosesNothingAndSaysSo",
                {{"A.zip", {{"a1.bin", "content a1"}, {"junk.bin", "junk"}}}},
                {{"bad.zip", "not a zip"}, {"note.txt", "keep me"}},
                Lines{"Error in zip bad.zip: -102 (not a zip archive)", "[bad.zip]", "  bad.zip corrupt: it" + kNotMoved,
                      "[A.zip]", "  junk.bin cannot be identified.", "  junk.bin" + kNotMoved + "; it was left where it is",
                      "[note.txt]", "  note.txt cannot be identified.", "  note.txt" + kNotMoved + "; it was left where it is",
                      "3 steps failed: see the messages above."},
                {"A.zip: a1.bin=content a1 junk.bin=junk", "bad.zip: not a zip", "note.txt: keep me"}, {}, {}, "YN N N",
                true}),
    [](const ::testing::TestParamInfo<FixCase>& p) { return std::string(p.param.name); });

// Two fixes in the same second share the backup folder.
TEST_F(FixTest, TwoFixesShareTheBackupFolderWithoutOverwriting) {
    writeFile(f() + "/note.txt", "first");
    ASSERT_TRUE(run(fix()));
    writeFile(f() + "/note.txt", "second");
    ASSERT_TRUE(run(fix()));
    const Lines backups = backupContents();
    EXPECT_EQ(backups.size(), 2u);
    EXPECT_NE(std::find(backups.begin(), backups.end(), "Sys/note.txt=first"), backups.end());
}

// A ROM taken from another zip keeps the bytes it was deflated to there.
TEST_F(FixTest, AMovedEntryKeepsItsCompressedBytes) {
    std::string text;
    for (int i = 0; text.size() < 20000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + " of a ROM\n";
    addRom("Sys", "G", "g.bin", text);
    makeZips({{f() + "/Other.zip", {{"g.bin", text}}}});
    const uint64_t stored = ZipListing(f() + "/Other.zip").entry(0).compressedSize;
    ASSERT_TRUE(run(fix()));
    const ZipListing moved(f() + "/G.zip");
    EXPECT_EQ(std::tuple(moved.count(), moved.entries().at(0).compressedSize), std::tuple(1, stored));
    EXPECT_EQ(zipContents(f() + "/G.zip"), "g.bin=" + text);
}

// Counts the syncs of files by the name they were made under, and the
// opens for reading by name (from the fix's disk step threads too).
struct SyncCounter : FileOps {
    std::mutex mutex;
    std::map<int, std::string> made;
    std::vector<std::string> synced;
    std::map<std::string, int> opened;
    using FileOps::openRead;
    int openRead(const std::string& path, const ReadOpen& how) override {
        {
            std::lock_guard lock(mutex);
            ++opened[baseName(path)];
        }
        return FileOps::openRead(path, how);
    }
    int createNew(const std::string& path) override {
        const int fd = FileOps::createNew(path);
        std::lock_guard lock(mutex);
        if (fd >= 0) made[fd] = baseName(path);
        return fd;
    }
    int sync(int fd) override {
        {
            std::lock_guard lock(mutex);
            if (made.count(fd) != 0) synced.push_back(made[fd]);
        }
        return FileOps::sync(fd);
    }
    int close(int fd) override {
        {
            std::lock_guard lock(mutex);
            made.erase(fd);
        }
        return FileOps::close(fd);
    }
    size_t syncsOf(const std::string& archive) const {
        return static_cast<size_t>(std::count_if(synced.begin(), synced.end(),
                                                 [&](const std::string& name) { return name.ends_with(archive); }));
    }
};

// A wrongly named entry is renamed in one new version of its archive;
// unwanted entries leave theirs together; an archive whose only entry leaves
// is deleted without writing an empty one first; a new set replaces nothing.
// Undo gives everything back.
TEST_F(FixTest, EachArchiveIsWrittenOnceAndAnEmptiedOneNever) {
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"wrong.bin", "content a2"}}},
              {f() + "/B.zip", {{"x.bin", "junk"}, {"b1.bin", "content b1"}, {"y.bin", "more junk"}}},
              {f() + "/C.zip", {{"o1.bin", "content o1"}}}});
    ASSERT_TRUE(makeFolders(systemFolder("Other")));
    const auto before = inventoryOf(dir.file("roms"));
    SyncCounter counter;
    {
        ScopedFileOps seam(counter);
        ASSERT_TRUE(run(fix()));
    }
    EXPECT_EQ(transcript(), (Lines{fixing("Sys"), "[A.zip]", "  wrong.bin rebuilt to Sys/A/a2.bin", "  wrong.bin deleted",
                                   "[B.zip]", "  x.bin cannot be identified.", "  x.bin deleted",
                                   "  y.bin cannot be identified.", "  y.bin deleted", "[C.zip]",
                                   "  o1.bin rebuilt to Other/O/o1.bin", "  o1.bin deleted"}));
    EXPECT_EQ(folderState(f()), (Lines{"A.zip: a1.bin=content a1 a2.bin=content a2", "B.zip: b1.bin=content b1"}));
    EXPECT_EQ(folderState(systemFolder("Other")), Lines{"O.zip: o1.bin=content o1"});
    EXPECT_EQ(backupContents(), (Lines{"Sys/A.zip/wrong.bin=content a2", "Sys/B.zip/x.bin=junk",
                                       "Sys/B.zip/y.bin=more junk", "Sys/C.zip/o1.bin=content o1"}));
    EXPECT_EQ(std::tuple(counter.syncsOf("A.zip"), counter.syncsOf("B.zip"), counter.syncsOf("C.zip"),
                         counter.syncsOf("O.zip")),
              std::tuple(1u, 1u, 0u, 0u));
    // Read by its test, then once for the whole rename: the look for an
    // entry of the new name, the backup copy and the new version.
    EXPECT_EQ(counter.opened["A.zip"], 2);
    ASSERT_TRUE(host.report());
    EXPECT_EQ(host.report()->systems.at(0).actions.size(), 6u);

    const std::vector<RunSummary> runs = listRuns(settings.backupDir);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(undoRun(runs[0], false).outcome == UndoResult::Outcome::Undone);
    EXPECT_EQ(inventoryOf(dir.file("roms")), before);
}

}  // namespace
}  // namespace quorvane::testing
