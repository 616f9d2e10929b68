#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "archive/archive_fixtures.h"
#include "core/file_util.h"
#include "engine/folder_listing.h"
#include "engine/safe_move.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

TEST(SafeMove, AMoveNeverReplacesAFileAndAFailedOneLeavesTheSourceInPlace) {
    TempDir dir;
    for (const char* name : {"dst/a.bin", "dst/a (1).bin", "dst/noext", "dst/.hidden", "src/a.bin"}) writeFile(dir.file(name), name);
    const std::pair<const char*, const char*> freeNames[] = {
        {"a.bin", "a (2).bin"}, {"noext", "noext (1)"}, {".hidden", ".hidden (1)"}, {"new.bin", "new.bin"}};
    for (const auto& [name, free] : freeNames) EXPECT_EQ(freeNameIn(dir.file("dst"), name), free);
    EXPECT_EQ(renameNoReplace(dir.file("src/a.bin"), dir.file("dst/a.bin")), -1);
    EXPECT_EQ(errno, EEXIST);
    writeFile(dir.file("blocker"), "a regular file, not a folder");
    EXPECT_EQ(moveIntoFolder(dir.file("src/a.bin"), dir.file("blocker/sub"), "a.bin"), -1);
    std::string moved;
    ASSERT_EQ(moveIntoFolder(dir.file("src/a.bin"), dir.file("dst"), "a.bin", &moved), 0);
    EXPECT_EQ(moved, dir.file("dst/a (2).bin"));
    EXPECT_EQ(readFile(dir.file("dst/a.bin")) + readFile(moved), "dst/a.binsrc/a.bin");
    EXPECT_FALSE(pathExists(dir.file("src/a.bin")));
}

// Renames between two folders fail as they do between two file systems;
// call number `failAt` fails as well.
class TwoDisks : public FailingFileOps {
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
    const std::string name255 = std::string(251, 'r') + ".bin", name251 = std::string(247, 's') + ".bin";
    TwoDisks twoDisks;
    for (const std::string& name : {name255, name251}) {
        writeFile(dir.file("set/" + name), "in the set");
        writeFile(dir.file("backup/" + name), "backed up before");
        std::string moved;
        std::optional<ScopedFileOps> seam;  // the shorter name goes across disks
        if (name == name251) seam.emplace(twoDisks);
        ASSERT_EQ(moveIntoFolder(dir.file("set/" + name), dir.file("backup"), name, &moved), 0);
        EXPECT_EQ(moved, dir.file("backup/" + std::string(247, name[0]) + " (1).bin"));
        EXPECT_EQ(readFile(moved), "in the set");
        EXPECT_EQ(readFile(dir.file("backup/" + name)), "backed up before");
        EXPECT_FALSE(pathExists(dir.file("set/" + name)));
    }
    EXPECT_EQ(listLeftovers(dir.file("backup")), std::vector<std::string>{});
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
    // Call 0 never fails: the run that counts the calls.
    int total = 0;
    for (int n = 0; n == 0 || n <= total; ++n) {
        reset();
        TwoDisks ops(n);
        std::optional<ScopedFileOps> seam(ops);
        const int status = moveIntoFolder(dir.file("set/a.bin"), dir.file("backup"), "a.bin");
        seam.reset();
        if (n == 0) {
            total = ops.calls();
            ASSERT_EQ(status, 0);
            ASSERT_GT(total, 10);
            EXPECT_FALSE(pathExists(dir.file("set/a.bin")));
        }
        const std::string there = dir.file("backup/a (1).bin"), here = dir.file("set/a.bin");
        EXPECT_TRUE(pathExists(there) ? true : status != 0 && pathExists(here)) << "call " << n;
        EXPECT_EQ(pathExists(there) ? readFile(there) : data, data) << "call " << n;
        EXPECT_EQ(pathExists(here) ? readFile(here) : data, data) << "call " << n;
        EXPECT_EQ(readFile(dir.file("backup/a.bin")), "taken") << "call " << n;
        // No half-made copy is left behind in the backup folder.
        EXPECT_EQ(listLeftovers(dir.file("backup")), std::vector<std::string>{}) << "call " << n;
    }
}

}  // namespace
}  // namespace quorvane::testing
