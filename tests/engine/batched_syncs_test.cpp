// How a run's file layer syncs: folder and journal syncs once per batch,
// each new version of a file before it replaces the old one, and none of
// the run's own copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

#include "archive/file_ops.h"
#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/journaling_file_ops.h"
#include "engine/run_undo.h"
#include "support/inventory.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::inventoryOf;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// Logs every sync, folder sync and rename, in order; syncs of the folder
// `failingFolder` fail.
class SyncLog final : public FileOps {
public:
    std::string failingFolder;

    using FileOps::openRead;
    int openRead(const std::string& path, const ReadOpen& how) override {
        return opened(FileOps::openRead(path, how), path);
    }
    int createNew(const std::string& path) override { return opened(FileOps::createNew(path), path); }
    int sync(int fd) override {
        note("sync " + pathOf(fd));
        return FileOps::sync(fd);
    }
    int close(int fd) override {
        {
            std::lock_guard lock(mutex_);
            paths_.erase(fd);
        }
        return FileOps::close(fd);
    }
    int syncFolder(const std::string& folder) override {
        note("folder " + folder);
        if (folder == failingFolder) {
            errno = EIO;
            return -1;
        }
        return FileOps::syncFolder(folder);
    }
    int rename(const std::string& from, const std::string& to) override {
        note("rename " + from + " " + to);
        return FileOps::rename(from, to);
    }
    int makeFolderPath(const std::string& path) override {
        note("folders " + path);
        return FileOps::makeFolderPath(path);
    }
    std::vector<std::string> log() {
        std::lock_guard lock(mutex_);
        return log_;
    }
    size_t count(const std::string& line) {
        size_t n = 0;
        for (const std::string& l : log()) n += l == line ? 1 : 0;
        return n;
    }

private:
    int opened(int fd, const std::string& path) {
        std::lock_guard lock(mutex_);
        if (fd >= 0) paths_[fd] = absolutePath(path);
        return fd;
    }
    std::string pathOf(int fd) {
        std::lock_guard lock(mutex_);
        return paths_[fd];
    }
    void note(const std::string& line) {
        std::lock_guard lock(mutex_);
        log_.push_back(line);
    }
    std::mutex mutex_;
    std::map<int, std::string> paths_;
    std::vector<std::string> log_;
};

class BatchedSyncsTest : public ::testing::Test {
protected:
    static constexpr int kSets = 300;
    TempDir dir;
    const std::string coll = dir.file("coll");
    const std::string runFolder = dir.file("Backup/run");
    SyncLog log;

    void SetUp() override {
        for (int i = 0; i < kSets; ++i) writeFile(set(i), "old " + std::to_string(i));
    }
    std::string set(int i) const { return coll + "/set" + std::to_string(i) + ".zip"; }
    std::string temp(int i) const { return coll + "/.tmp-set" + std::to_string(i) + ".zip"; }

    // Replaces every set as the archive writer does, and puts a copy of each
    // old one in the run folder, as a fix's backup does.
    // The errno of finishSyncs.
    int replaceEverySet(RunSyncs syncs = RunSyncs::Batched) {
        ScopedFileOps scope(log);
        JournaledRun run(runFolder, "fix", syncs);
        FileOps& ops = fileOps();
        EXPECT_EQ(ops.makeFolderPath(runFolder + "/Sys"), 0);
        for (int i = 0; i < kSets; ++i) {
            EXPECT_TRUE(testing::writeNewSynced(runFolder + "/Sys/entry" + std::to_string(i), "copy"));
            EXPECT_TRUE(testing::writeNewSynced(temp(i), "new " + std::to_string(i)));
            EXPECT_EQ(ops.rename(temp(i), set(i)), 0);
            ops.syncFolder(coll);
        }
        return run.finishSyncs();
    }
    size_t position(const std::string& line) {
        const std::vector<std::string> lines = log.log();
        return static_cast<size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
    }
};

TEST_F(BatchedSyncsTest, FoldersAndTheJournalAreSyncedOncePerBatchAndTheRunsCopiesNever) {
    const auto before = inventoryOf(coll);
    ASSERT_EQ(replaceEverySet(), 0);
    for (int i = 0; i < kSets; ++i) EXPECT_EQ(readFile(set(i)), "new " + std::to_string(i));
    // Three steps a set (create, keep, rename): four batches.
    const size_t batches = (3 * kSets + JournalingFileOps::kStepsPerBatch - 1) / JournalingFileOps::kStepsPerBatch;
    EXPECT_EQ(log.count("folder " + coll), batches);
    EXPECT_LE(log.count("sync " + runFolder + "/" + kJournalName), batches + 2);  // and its header and end
    for (const std::string& line : log.log()) EXPECT_EQ(line.find("/entry"), std::string::npos) << line;
    // Each new version is synced before it replaces the old one.
    for (int i = 0; i < kSets; ++i) {
        EXPECT_EQ(log.count("sync " + temp(i)), 1u);
        EXPECT_LT(position("sync " + temp(i)), position("rename " + temp(i) + " " + set(i)));
    }

    const std::vector<RunSummary> runs = listRuns(dir.file("Backup"));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(undoRun(runs[0], false).outcome == UndoResult::Outcome::Undone);
    EXPECT_EQ(inventoryOf(coll), before);
}

TEST_F(BatchedSyncsTest, ARunThatSyncsEachStepSyncsEveryFolderAndCopyAtOnce) {
    ASSERT_EQ(replaceEverySet(RunSyncs::EachStep), 0);
    EXPECT_EQ(log.count("folder " + coll), static_cast<size_t>(kSets));
    EXPECT_EQ(log.count("sync " + runFolder + "/Sys/entry0"), 1u);
}

TEST_F(BatchedSyncsTest, AFolderSyncThatFailsAtTheBatchsEndIsReported) {
    log.failingFolder = coll;
    EXPECT_EQ(replaceEverySet(), EIO);
    for (int i = 0; i < kSets; ++i) EXPECT_EQ(readFile(set(i)), "new " + std::to_string(i));
}

// Files put aside go into few folders: each is made once, and again only
// once it may be gone.
TEST_F(BatchedSyncsTest, ARunFolderIsMadeOnceUntilItIsRemovedOrMoved) {
    ScopedFileOps scope(log);
    JournaledRun run(runFolder, "fix", RunSyncs::Batched);
    FileOps& ops = fileOps();
    const std::string a = runFolder + "/Sys/A", b = runFolder + "/Sys/B", bSpace = runFolder + "/Sys/B c";
    for (const std::string& folder : {a, a + "/", a, b + "/x", bSpace}) EXPECT_EQ(ops.makeFolderPath(folder), 0);
    EXPECT_EQ(log.count("folders " + a), 1u);
    EXPECT_EQ(log.count("folders " + a + "/"), 0u);

    ASSERT_EQ(ops.removeFolder(a), 0);
    ASSERT_EQ(ops.rename(b, runFolder + "/Sys/moved"), 0);
    for (const std::string& folder : {a, b + "/x", bSpace}) {
        EXPECT_EQ(ops.makeFolderPath(folder), 0);
        EXPECT_TRUE(isDirectory(folder)) << folder;
    }
    EXPECT_EQ(log.count("folders " + a), 2u);
    EXPECT_EQ(log.count("folders " + bSpace), 1u);
}

}  // namespace
}  // namespace quorvane
