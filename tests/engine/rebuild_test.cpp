#include <atomic>

#include "archive/file_ops.h"
#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/folder_listing.h"
#include "engine/rebuild_job.h"

namespace quorvane::testing {
namespace {

using Lines = std::vector<std::string>;

class RebuildTest : public EngineTest {
protected:
    void SetUp() override {
        addRoms({"Sys/A/a1.bin", "Sys/B/b1.bin"});
        // One content, three ROMs in three games.
        addRom("Sys", "D1", "shared.bin", "shared");
        addRom("Sys", "D2", "other-name.bin", "shared");
        addRom("Sys", "D3", "shared.bin", "shared");
        settings.sourcedir = "$BASEDIR$/../src";
        makeFolders(dir.file("roms"));
    }
    std::string src() const { return dir.file("roms") + "/../src"; }
    std::unique_ptr<RebuildJob> rebuild() {
        return std::make_unique<RebuildJob>(db, host, settings, settings.sourcedir);
    }
    std::string snapshotSources() {
        std::vector<std::string> files;
        collectFilesRecursive(src(), files);
        std::string out;
        for (const std::string& p : files) out += p + "=" + readFile(p) + "\n";
        return out;
    }
};

TEST_F(RebuildTest, BuildsEachMissingRomIntoItsGameInAFolderMadeForIt) {
    makeZips({{src() + "/pack.zip", {{"x/a1.bin", "content a1"}, {"b1.bin", "content b1"}}}});
    writeFile(src() + "/nested/deeper/a1-again.bin", "content a1");
    writeFile(src() + "/unknown.bin", "nothing");
    writeFile(src() + "/broken.zip", "not a zip");
    const std::string before = snapshotSources();
    ASSERT_FALSE(isDirectory(f()));
    ASSERT_TRUE(run(rebuild()));
    EXPECT_EQ(transcript(), (Lines{rebuilding(src()), "Error in zip " + src() + "/broken.zip: -102 (not a zip archive)"}));
    EXPECT_EQ(folderState(f()), (Lines{"A.zip: a1.bin=content a1", "B.zip: b1.bin=content b1"}));
    EXPECT_EQ(statuses("A B"), "Y Y");
    EXPECT_EQ(snapshotSources(), before);
    EXPECT_EQ(host.eventsOf("info"), Lines{"Rebuild complete."});
    EXPECT_EQ(host.eventsOf("startProgress"), Lines{"Rebuilding from folder: " + src() + " / 0"});
}

// Both ways into a target, a deflated source entry (raw copy) and a loose
// file, keep what they replace in a backup folder.
TEST_F(RebuildTest, AnEntryTheRightRomReplacesIsKeptInABackupFolder) {
    makeZips({{src() + "/pack.zip", {{"a1.bin", "content a1"}}},
              {f() + "/A.zip", {{"a1.bin", "a bad dump of a1"}, {"extra.bin", "keep"}}},
              {f() + "/B.zip", {{"b1.bin", "a bad dump of b1"}}}});
    writeFile(src() + "/b1.bin", "content b1");
    ASSERT_TRUE(run(rebuild()));
    EXPECT_EQ(folderState(f()), (Lines{"A.zip: extra.bin=keep a1.bin=content a1", "B.zip: b1.bin=content b1"}));
    EXPECT_EQ(backupContents(), (Lines{"a1.bin=a bad dump of a1", "b1.bin=a bad dump of b1"}));
}

TEST_F(RebuildTest, LooseFileBesideTheTargetArchiveSurvivesTheTemporaryCopy) {
    makeZips({{src() + "/pack.zip", {{"a1.bin", "content a1"}}}});
    writeFile(f() + "/a1.bin", "a user's file");
    ASSERT_TRUE(run(rebuild()));
    EXPECT_EQ(folderState(f()), (Lines{"A.zip: a1.bin=content a1", "a1.bin: a user's file"}));
}

// Counts the calls that make writes durable.
struct SyncCounter : FileOps {
    int sync(int fd) override { return ++syncs, FileOps::sync(fd); }
    int syncFolder(const std::string& folder) override { return ++folderSyncs, FileOps::syncFolder(folder); }
    std::atomic<int> syncs{0}, folderSyncs{0};
};

// Replacing an archive that was there before the job syncs it, since it may
// hold a user's only copy of something; an archive the job made holds only
// copies of sources that stay where they are, so adding to it needs no sync.
TEST_F(RebuildTest, OnlyArchivesThatWereThereBeforeAreSyncedWhenReplaced) {
    addRoms({"Sys/C/C1.bin", "Sys/C/C2.bin", "Sys/E/E1.bin", "Sys/E/E2.bin"});
    // Each way in: a loose file deflated ahead and a deflated entry copied raw.
    writeFile(src() + "/c1.bin", "content C1");
    makeZips({{src() + "/pack.zip", {{"c2.bin", "content C2"}}}});
    {
        SyncCounter counter;
        ScopedFileOps seam(counter);
        ASSERT_TRUE(run(rebuild()));
        EXPECT_EQ(counter.syncs, 0);
        EXPECT_EQ(counter.folderSyncs, 0);
    }
    EXPECT_EQ(zipContents(f() + "/C.zip"), "C1.bin=content C1 C2.bin=content C2");

    makeZips({{f() + "/E.zip", {{"keep.bin", "a user's file"}}}});
    writeFile(src() + "/e1.bin", "content E1");
    makeZips({{src() + "/pack.zip", {{"e2.bin", "content E2"}}}});
    SyncCounter counter;
    ScopedFileOps seam(counter);
    ASSERT_TRUE(run(rebuild()));
    EXPECT_EQ(counter.syncs, 2);
    EXPECT_EQ(counter.folderSyncs, 2);
    EXPECT_EQ(zipContents(f() + "/E.zip"), "keep.bin=a user's file E1.bin=content E1 E2.bin=content E2");
}

TEST_F(RebuildTest, DuplicateAnswersDecideWhatIsBuiltAndWhetherToAskAgain) {
    writeFile(src() + "/1/shared.bin", "shared");
    writeFile(src() + "/2/shared.bin", "shared");
    // "Only rebuild selected" with D3, then "Never build": the second file is
    // asked about (the first answer kept asking on), nothing more is built.
    host.dupesAnswers.push_back({dupesBehaviourFor(DupesChoice::OnlySelected), {"D3"}});
    host.dupesAnswers.push_back({dupesBehaviourFor(DupesChoice::Never), {}});
    ASSERT_TRUE(run(rebuild()));
    EXPECT_EQ(host.eventsOf("askDuplicates"), (Lines{"shared.bin | " + src() + "/1/shared.bin | D1,D2,D3",
                                                     "shared.bin | " + src() + "/2/shared.bin | D1,D2,D3"}));
    EXPECT_EQ(listPlainFiles(f()), Lines{"D3.zip"});
    EXPECT_EQ(statuses("D1 D3"), "N Y");
}

TEST_F(RebuildTest, NameMatchesAndAlwaysAllStopAskingOrBuildByName) {
    writeFile(src() + "/1/shared.bin", "shared");
    host.dupesAnswers.push_back({dupesBehaviourFor(DupesChoice::OnlyNameMatches), {}});
    ASSERT_TRUE(run(rebuild()));
    EXPECT_EQ(listPlainFiles(f()), (Lines{"D1.zip", "D3.zip"}));
    EXPECT_EQ(zipContents(f() + "/D1.zip"), "shared.bin=shared");

    // A fresh run: "Always build all" builds every missing match, then asks no more.
    writeFile(src() + "/2/again.bin", "shared");
    db->cleanSystemStatus("Sys");
    host.dupesAnswers.push_back({dupesBehaviourFor(DupesChoice::AlwaysAll), {}});
    ASSERT_TRUE(run(rebuild()));
    EXPECT_EQ(host.eventsOf("askDuplicates").size(), 2u);
    EXPECT_EQ(zipContents(f() + "/D2.zip"), "other-name.bin=shared");
    EXPECT_EQ(statusOf("Sys", "D2"), "Y");
}

TEST_F(RebuildTest, AMissingSourceFolderStopsBeforeStartingAndAListRunCanBeCancelled) {
    EXPECT_FALSE(run(rebuild()));
    EXPECT_EQ(host.eventsOf("info"), Lines{"Folder " + src() + " does not exist."});
    writeFile(src() + "/a.bin", "content a1");
    writeFile(src() + "/b.bin", "content b1");
    // The cancel comes while "a.bin" is shown; the flag is read before the next file.
    host.onProgress = [&](const std::string& item, int) {
        if (item == src() + "/a.bin") host.requestCancel();
    };
    ASSERT_TRUE(run(std::make_unique<RebuildJob>(db, host, settings, Lines{src() + "/a.bin", src() + "/b.bin"})));
    EXPECT_EQ(transcript(), (Lines{rebuilding("2 chosen files"), "Warning: rebuild terminated by user request."}));
    EXPECT_EQ(statuses("A B"), "Y N");
    EXPECT_EQ(host.eventsOf("startProgress"), Lines{"Rebuilding files. / 0"});
    EXPECT_EQ(result.refresh, JobResult::Refresh::Games);
}

}  // namespace
}  // namespace quorvane::testing
