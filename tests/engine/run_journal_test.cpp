// The journal of a run and undo at the level of single file calls: names no
// shell would pass, kept copies where links cannot reach, a journal that
// cannot be written, a torn last line, and a file in the way of a restore.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <tuple>

#include "archive/file_ops.h"
#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/journaling_file_ops.h"
#include "engine/run_journal.h"
#include "engine/run_undo.h"
#include "support/inventory.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::inventoryOf;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

class RunJournalTest : public ::testing::Test {
protected:
    TempDir dir;
    const std::string coll = dir.file("coll");
    const std::string runFolder = dir.file("Backup/run");
    const std::string odd = coll + "/tab\there\nline \\ back.zip";

    void SetUp() override {
        writeFile(odd, "odd original");
        writeFile(coll + "/set.zip", "set original");
        writeFile(coll + "/loose.bin", "loose");
        ASSERT_TRUE(makeFolders(coll + "/empty"));
    }
    // A run of every kind of step.
    void changeEverything() {
        JournaledRun run(runFolder, "fix");
        run.noteSystem("Sys\twith tab");
        FileOps& ops = fileOps();
        ASSERT_TRUE(testing::writeNewSynced(coll + "/.tmp-set.zip", "set rewritten"));
        ASSERT_EQ(ops.rename(coll + "/.tmp-set.zip", coll + "/set.zip"), 0);
        ASSERT_EQ(ops.makeFolderPath(runFolder + "/Sys"), 0);
        ASSERT_EQ(ops.renameNoReplace(odd, runFolder + "/Sys/odd.zip"), 0);
        ASSERT_EQ(ops.makeFolderPath(coll + "/new/deeper"), 0);
        ASSERT_TRUE(testing::writeNewSynced(coll + "/new/deeper/made.zip", "made"));
        ASSERT_EQ(ops.link(coll + "/new/deeper/made.zip", coll + "/made twice.zip"), 0);
        ASSERT_EQ(ops.removeFolder(coll + "/empty"), 0);
        ASSERT_EQ(ops.remove(coll + "/loose.bin"), 0);
    }
};

TEST_F(RunJournalTest, EveryKindOfStepIsRecordedAndUndoneExactly) {
    const auto before = inventoryOf(coll);
    changeEverything();
    const std::optional<JournalContents> journal = readJournal(runFolder + "/" + kJournalName);
    ASSERT_TRUE(journal);
    EXPECT_EQ(std::tie(journal->command, journal->systems, journal->done),
              std::tuple("fix", std::vector<std::string>{"Sys\twith tab"}, true));
    std::string kinds;
    for (const JournalRecord& r : journal->steps) kinds += std::to_string(static_cast<int>(r.kind));
    // create, keep, rename; rename (the odd name); folder x2, create, link; unfolder; keep (the removal)
    EXPECT_EQ(kinds, "0344110523");
    EXPECT_EQ(journal->steps.at(3).path, odd);

    const std::vector<RunSummary> runs = listRuns(dir.file("Backup"));
    ASSERT_EQ(runs.size(), 1u);
    const UndoResult result = undoRun(runs[0], false);
    ASSERT_EQ(result.outcome, UndoResult::Outcome::Undone) << (result.messages.empty() ? "" : result.messages[0]);
    EXPECT_EQ(inventoryOf(coll), before);
    // What the run made is set aside, not deleted.
    EXPECT_EQ(readFile(runFolder + "/Undone/made.zip"), "made");
    EXPECT_EQ(result.setAside, 3u);  // set.zip's new version, made.zip, its second name
    EXPECT_TRUE(listRuns(dir.file("Backup")).at(0).undone);
}

// A backup folder on another file system: files are kept as copies.
TEST_F(RunJournalTest, WhereLinksCannotReachTheKeptFileIsACopy) {
    struct NoLinks : FileOps {
        int link(const std::string&, const std::string&) override {
            errno = EXDEV;
            return -1;
        }
    } noLinks;
    ScopedFileOps scope(noLinks);
    const auto before = inventoryOf(coll);
    {
        JournaledRun run(runFolder, "rebuild");
        ASSERT_TRUE(testing::writeNewSynced(coll + "/.tmp", "new"));
        ASSERT_EQ(fileOps().rename(coll + "/.tmp", coll + "/set.zip"), 0);
    }
    ASSERT_EQ(undoRun(listRuns(dir.file("Backup")).at(0), false).outcome, UndoResult::Outcome::Undone);
    EXPECT_EQ(inventoryOf(coll), before);
}

// No step without its record: when the journal cannot be written, the
// collection is not touched.
TEST_F(RunJournalTest, AStepWhoseRecordCannotBeWrittenIsNotTaken) {
    struct NoWrites : FileOps {
        ssize_t writeAt(int, const void*, size_t, uint64_t) override {
            errno = ENOSPC;
            return -1;
        }
    } noWrites;
    ScopedFileOps scope(noWrites);
    const auto before = inventoryOf(coll);
    {
        JournaledRun run(runFolder, "fix");
        EXPECT_NE(fileOps().renameNoReplace(coll + "/set.zip", coll + "/moved.zip"), 0);
        EXPECT_NE(fileOps().remove(coll + "/loose.bin"), 0);
        EXPECT_LT(fileOps().createNew(coll + "/new.zip"), 0);
    }
    EXPECT_EQ(inventoryOf(coll), before);
}

TEST_F(RunJournalTest, ATornLastLineWasNeverActedOnAndUndoReplacesIt) {
    const std::string path = runFolder + "/" + kJournalName;
    writeFile(path, "quorvane journal 1\nrun\t5\tfix\nrename\t/a\t/b\t1:2:3:4\ncreate\t/hal");
    std::optional<JournalContents> journal = readJournal(path);
    ASSERT_TRUE(journal);
    ASSERT_EQ(journal->steps.size(), 1u);
    EXPECT_EQ(journal->steps[0].identity, (FileIdentity{1, 2, 3, 4}));
    EXPECT_FALSE(journal->done);
    ASSERT_TRUE(appendToJournal(path, {.kind = JournalRecord::Kind::Undone}));
    journal = readJournal(path);
    ASSERT_TRUE(journal);
    EXPECT_EQ(std::tuple(journal->undone, journal->steps.size()), std::tuple(true, 1u));
    // A line this program did not write: nothing of it is trusted.
    writeFile(path, "quorvane journal 1\nrun\t5\tfix\nrename\t/a\t/b\tnot-an-identity\n");
    EXPECT_FALSE(readJournal(path));
    writeFile(path, "something else\n");
    EXPECT_FALSE(readJournal(path));
}

TEST_F(RunJournalTest, AFileInTheWayOfARestoreStopsTheUndoUnlessForced) {
    {
        JournaledRun run(runFolder, "fix");
        ASSERT_EQ(fileOps().makeFolderPath(runFolder), 0);
        ASSERT_EQ(fileOps().renameNoReplace(coll + "/set.zip", runFolder + "/set.zip"), 0);
    }
    writeFile(coll + "/set.zip", "someone's new set");
    const RunSummary run = listRuns(dir.file("Backup")).at(0);
    const UndoResult result = undoRun(run, false);
    EXPECT_EQ(result.outcome, UndoResult::Outcome::Refused);
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0], coll + "/set.zip is in the way of " + runFolder + "/set.zip.");
    EXPECT_EQ(readFile(runFolder + "/set.zip"), "set original");
    EXPECT_EQ(undoRun(run, true).outcome, UndoResult::Outcome::Undone);
    EXPECT_EQ(readFile(coll + "/set.zip") + "|" + readFile(runFolder + "/Undone/set.zip"),
              "set original|someone's new set");
}

// A run given relative paths is undone from any working folder.
TEST_F(RunJournalTest, RelativePathsAreRecordedFromTheRoot) {
    const auto before = inventoryOf(coll);
    char here[4096];
    ASSERT_TRUE(::getcwd(here, sizeof here));
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    {
        JournaledRun run("Backup/run", "fix");
        ASSERT_TRUE(testing::writeNewSynced("coll/.tmp", "new"));
        ASSERT_EQ(fileOps().rename("coll/.tmp", "coll/set.zip"), 0);
        ASSERT_EQ(fileOps().makeFolderPath("Backup/run/Sys"), 0);
        ASSERT_EQ(fileOps().renameNoReplace("coll/loose.bin", "Backup/run/Sys/loose.bin"), 0);
    }
    ASSERT_EQ(::chdir(coll.c_str()), 0);
    const UndoResult result = undoRun(listRuns(dir.file("Backup")).at(0), false);
    ASSERT_EQ(::chdir(here), 0);
    EXPECT_EQ(result.outcome, UndoResult::Outcome::Undone);
    EXPECT_EQ(inventoryOf(coll), before);
}

}  // namespace
}  // namespace quorvane
