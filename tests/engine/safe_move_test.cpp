#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "archive/archive_fixtures.h"
#include "core/file_util.h"
#include "engine/folder_listing.h"
#include "engine/safe_move.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(SafeMove, FreeNamesKeepTheExtension) {
    TempDir dir;
    EXPECT_EQ(freeNameIn(dir.path(), "a.bin"), "a.bin");
    writeFile(dir.file("a.bin"), "1");
    writeFile(dir.file("a (1).bin"), "2");
    EXPECT_EQ(freeNameIn(dir.path(), "a.bin"), "a (2).bin");
    writeFile(dir.file("noext"), "");
    EXPECT_EQ(freeNameIn(dir.path(), "noext"), "noext (1)");
    writeFile(dir.file(".hidden"), "");
    EXPECT_EQ(freeNameIn(dir.path(), ".hidden"), ".hidden (1)");
}

TEST(SafeMove, NeverReplacesAFile) {
    TempDir dir;
    writeFile(dir.file("src/a.bin"), "new");
    writeFile(dir.file("dst/a.bin"), "old");
    EXPECT_EQ(renameNoReplace(dir.file("src/a.bin"), dir.file("dst/a.bin")), -1);
    EXPECT_EQ(errno, EEXIST);
    std::string moved;
    ASSERT_EQ(moveIntoFolder(dir.file("src/a.bin"), dir.file("dst"), "a.bin", &moved), 0);
    EXPECT_EQ(moved, dir.file("dst/a (1).bin"));
    EXPECT_EQ(readFile(dir.file("dst/a.bin")), "old");
    EXPECT_EQ(readFile(moved), "new");
    EXPECT_FALSE(pathExists(dir.file("src/a.bin")));
}

TEST(SafeMove, AFailedMoveLeavesTheSourceInPlace) {
    TempDir dir;
    writeFile(dir.file("a.bin"), "data");
    writeFile(dir.file("blocker"), "a regular file, not a folder");
    EXPECT_EQ(moveIntoFolder(dir.file("a.bin"), dir.file("blocker/sub"), "a.bin"), -1);
    EXPECT_EQ(readFile(dir.file("a.bin")), "data");
}

// Renames between two folders fail as they do between two file systems;
// call number `failAt` fails as well.
class TwoDisks : public testing::FailingFileOps {
public:
    using FailingFileOps::FailingFileOps;
    int renameNoReplace(const std::string& a, const std::string& b) override {
        if (dirName(a) != dirName(b)) {
            if (!fail()) errno = EXDEV;
            return -1;
        }
        return FailingFileOps::renameNoReplace(a, b);
    }
};

// A backup move of a file whose name is at the 255-byte limit, into a folder
// that already holds that name, on the same disk and across disks (where the
// copy goes through a temporary name first).
TEST(SafeMove, NamesAtTheLengthLimitMoveUnderAShortenedFreeName) {
    TempDir dir;
    const std::string name255 = std::string(251, 'r') + ".bin";
    const std::string name251 = std::string(247, 's') + ".bin";
    for (const std::string& name : {name255, name251}) {
        writeFile(dir.file("set/" + name), "in the set");
        writeFile(dir.file("backup/" + name), "backed up before");
    }
    std::string moved;
    ASSERT_EQ(moveIntoFolder(dir.file("set/" + name255), dir.file("backup"), name255, &moved), 0);
    EXPECT_EQ(moved, dir.file("backup/" + std::string(247, 'r') + " (1).bin"));
    EXPECT_EQ(readFile(moved), "in the set");

    TwoDisks twoDisks;
    {
        ScopedFileOps seam(twoDisks);
        ASSERT_EQ(moveIntoFolder(dir.file("set/" + name251), dir.file("backup"), name251, &moved), 0);
    }
    EXPECT_EQ(moved, dir.file("backup/" + std::string(247, 's') + " (1).bin"));
    EXPECT_EQ(readFile(moved), "in the set");
    EXPECT_EQ(readFile(dir.file("backup/" + name251)), "backed up before");
    EXPECT_EQ(readFile(dir.file("backup/" + name255)), "backed up before");
    EXPECT_EQ(listLeftovers(dir.file("backup")), std::vector<std::string>{});
    EXPECT_FALSE(pathExists(dir.file("set/" + name251)));
    EXPECT_FALSE(pathExists(dir.file("set/" + name255)));
}

// A move to another disk copies, syncs and compares before the source goes;
// whichever disk call fails, the data is whole in one place or the other.
TEST(SafeMove, MoveToAnotherDiskSurvivesAFailureAtEveryCall) {
    TempDir dir;
    std::string data(600 * 1024, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7919 >> 5);
    auto reset = [&] {
        std::filesystem::remove_all(dir.file("backup"));
        writeFile(dir.file("backup/a.bin"), "taken");
        writeFile(dir.file("set/a.bin"), data);
    };
    reset();
    TwoDisks counter;
    {
        ScopedFileOps seam(counter);
        std::string moved;
        ASSERT_EQ(moveIntoFolder(dir.file("set/a.bin"), dir.file("backup"), "a.bin", &moved), 0);
        EXPECT_EQ(moved, dir.file("backup/a (1).bin"));
    }
    EXPECT_EQ(readFile(dir.file("backup/a (1).bin")), data);
    EXPECT_FALSE(pathExists(dir.file("set/a.bin")));
    const int total = counter.calls();
    ASSERT_GT(total, 10);
    for (int n = 1; n <= total; ++n) {
        reset();
        TwoDisks ops(n);
        int status;
        {
            ScopedFileOps seam(ops);
            status = moveIntoFolder(dir.file("set/a.bin"), dir.file("backup"), "a.bin");
        }
        const bool inBackup = pathExists(dir.file("backup/a (1).bin"));
        if (status == 0) {
            EXPECT_TRUE(inBackup) << "call " << n;
        }
        if (inBackup) {
            EXPECT_EQ(readFile(dir.file("backup/a (1).bin")), data) << "call " << n;
        }
        if (pathExists(dir.file("set/a.bin"))) {
            EXPECT_EQ(readFile(dir.file("set/a.bin")), data) << "call " << n;
        }
        EXPECT_TRUE(inBackup || pathExists(dir.file("set/a.bin"))) << "call " << n;
        EXPECT_EQ(readFile(dir.file("backup/a.bin")), "taken") << "call " << n;
        // No half-made copy is left behind in the backup folder.
        EXPECT_EQ(listLeftovers(dir.file("backup")), std::vector<std::string>{}) << "call " << n;
    }
}

}  // namespace
}  // namespace quorvane
