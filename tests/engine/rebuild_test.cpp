#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>

#include "archive/file_ops.h"
#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/folder_listing.h"
#include "engine/rebuild_job.h"

namespace quorvane::testing {
namespace {

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
}

// Both ways into a target, a deflated source entry (raw copy) and a loose
// file, keep what they replace in a backup folder, each of two entries of the
// name on its own.
TEST_F(RebuildTest, AnEntryTheRightRomReplacesIsKeptInABackupFolder) {
    makeZips({{src() + "/pack.zip", {{"a1.bin", "content a1"}}},
              {f() + "/A.zip", {{"a1.bin", "bad a1"}, {"a1.bin", "bad a1 again"}, {"extra.bin", "keep"}}},
              {f() + "/B.zip", {{"b1.bin", "bad b1"}}}});
    writeFile(src() + "/b1.bin", "content b1");
    ASSERT_TRUE(run(rebuild()));
    EXPECT_EQ(folderState(f()), (Lines{"A.zip: extra.bin=keep a1.bin=content a1", "B.zip: b1.bin=content b1"}));
    EXPECT_EQ(backupContents(),
              (Lines{"Sys/A.zip/a1 (1).bin=bad a1 again", "Sys/A.zip/a1.bin=bad a1", "Sys/B.zip/b1.bin=bad b1"}));
}

TEST_F(RebuildTest, LooseFileBesideTheTargetArchiveSurvivesTheTemporaryCopy) {
    makeZips({{src() + "/pack.zip", {{"a1.bin", "content a1"}}}});
    writeFile(f() + "/a1.bin", "a user's file");
    ASSERT_TRUE(run(rebuild()));
    EXPECT_EQ(folderState(f()), (Lines{"A.zip: a1.bin=content a1", "a1.bin: a user's file"}));
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
}

// Counts how often each archive is put in place, by file name; archives
// are written on several threads.
class PlacementCounter : public FileOps {
public:
    int placed(const std::string& name) {
        std::lock_guard lock(mutex_);
        return placed_[name];
    }
    int rename(const std::string& from, const std::string& to) override {
        count(to);
        return FileOps::rename(from, to);
    }
    int renameNoReplace(const std::string& from, const std::string& to) override {
        count(to);
        return FileOps::renameNoReplace(from, to);
    }

private:
    void count(const std::string& to) {
        std::lock_guard lock(mutex_);
        ++placed_[baseName(to)];
    }
    std::mutex mutex_;
    std::map<std::string, int> placed_;
};

// Three sources of three kinds (a loose file, a zip entry, a file deeper
// down) fill one set, written once; the zip's other ROM goes to its own set.
TEST_F(RebuildTest, EachTargetArchiveIsWrittenOnceWithEveryRomItGets) {
    addRom("Sys", "M", "m1.bin", "m one");
    addRom("Sys", "M", "m2.bin", "m two");
    addRom("Sys", "M", "m3.bin", "m three");
    writeFile(src() + "/m1.bin", "m one");
    makeZips({{src() + "/pack.zip", {{"m2.bin", "m two"}, {"a1.bin", "content a1"}}}});
    writeFile(src() + "/z/m3.bin", "m three");
    PlacementCounter counter;
    {
        ScopedFileOps seam(counter);
        ASSERT_TRUE(run(rebuild()));
    }
    EXPECT_EQ(folderState(f()),
              (Lines{"A.zip: a1.bin=content a1", "M.zip: m1.bin=m one m2.bin=m two m3.bin=m three"}));
    EXPECT_EQ(std::tuple(counter.placed("M.zip"), counter.placed("A.zip")), std::tuple(1, 1));
    EXPECT_EQ(statuses("A M"), "Y YYY");
    EXPECT_EQ(runShell("unzip -tqq '" + f() + "/M.zip' >/dev/null"), 0);
    const RebuildCounts& c = host.report()->rebuild;
    EXPECT_EQ(std::tie(c.romsAdded, c.sourcesUsed), std::tuple(4, 3));
}

// A set that cannot be written (its name taken by a file that is not a zip)
// fails each ROM meant for it, under its own source, and leaves them
// missing; a source whose every copy failed counts as unused.
TEST_F(RebuildTest, ASetThatCannotBeWrittenFailsEachRomMeantForIt) {
    addRom("Sys", "M", "m1.bin", "m one");
    addRom("Sys", "M", "m2.bin", "m two");
    writeFile(src() + "/m1.bin", "m one");
    writeFile(src() + "/m2.bin", "m two");
    writeFile(src() + "/a1.bin", "content a1");
    writeFile(f() + "/M.zip", "a user's notes");
    ASSERT_TRUE(run(rebuild()));
    EXPECT_EQ(readFile(f() + "/M.zip"), "a user's notes");
    EXPECT_EQ(statuses("A M"), "Y NN");
    const RebuildCounts& c = host.report()->rebuild;
    EXPECT_EQ(std::tie(c.romsAdded, c.sourcesUsed, c.sourcesUnused, c.stepsFailed), std::tuple(1, 1, 2, 2));
    EXPECT_EQ(host.report()->unusedSources, (Lines{src() + "/m1.bin", src() + "/m2.bin"}));
    const Lines events = host.events();
    for (const char* source : {"/m1.bin", "/m2.bin"}) {
        const auto node = std::find(events.begin(), events.end(), "file: " + src() + source);
        ASSERT_NE(node, events.end()) << source;
        ASSERT_NE(node + 1, events.end());
        EXPECT_EQ(*(node + 1), "finding: Error while copying file.") << source;
    }
}

}  // namespace
}  // namespace quorvane::testing
