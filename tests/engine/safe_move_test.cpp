#include <gtest/gtest.h>

#include <cerrno>

#include "core/file_util.h"
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

}  // namespace
}  // namespace quorvane
