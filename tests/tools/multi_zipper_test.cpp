#include <gtest/gtest.h>

#include <atomic>

#include "archive/zip_info.h"
#include "core/file_util.h"
#include "support/temp_dir.h"
#include "tools/multi_zipper.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::runShell;
using testing::TempDir;
using testing::writeFile;

std::vector<std::string> entryNames(const std::string& archive) {
    std::vector<std::string> names;
    const ZipInfo info(archive);
    for (const ZipEntryInfo& e : info.entries()) names.push_back(e.name);
    return names;
}

TEST(MultiZipper, TargetNameLooksAtTheLastFiveCharactersOfTheFileName) {
    EXPECT_EQ(targetArchiveName("/r/game.bin"), "/r/game.zip");
    EXPECT_EQ(targetArchiveName("/r/a.jpeg2"), "/r/a.jpeg2.zip");
    EXPECT_EQ(targetArchiveName("/r/game.v1.bin"), "/r/game.v1.zip");
    EXPECT_EQ(targetArchiveName("/r/a.b.c"), "/r/a.zip");  // the first dot among the last five
    EXPECT_EQ(targetArchiveName("/r/README"), "/r/README.zip");
    EXPECT_EQ(targetArchiveName("x.z"), "x.zip");
    // A dot in the folder name never moves the archive out of the folder.
    EXPECT_EQ(targetArchiveName("/r/roms.d/ab"), "/r/roms.d/ab.zip");
}

TEST(MultiZipper, WalksApplyTheContainmentRules) {
    TempDir dir;
    for (const char* name : {"a.bin", "b.txt", "c.zip", "D.ZIP", "notes.txt.bak", "e.rar", ".hidden", "sub/d.rom"})
        writeFile(dir.file(name), "x");
    ZipWorkList zip, unzip;
    addFolderToZip(dir.path(), zip);
    EXPECT_EQ(zip.paths(), (std::vector<std::string>{dir.file("D.ZIP"), dir.file("a.bin"), dir.file("sub/d.rom")}));
    addFolderToUnzip(dir.path() + "/", unzip);
    EXPECT_EQ(unzip.paths(), std::vector<std::string>{dir.file("c.zip")});
    // Collecting twice keeps both copies; clearing leaves nothing.
    std::atomic<size_t> lastCount{99};
    zip.onCountChanged = [&](size_t n) { lastCount = n; };
    addFolderToZip(dir.path(), zip);
    EXPECT_EQ(lastCount, 6u);
    zip.clear();
    EXPECT_EQ(zip.count(), 0u);
    EXPECT_EQ(lastCount, 0u);
}

TEST(MultiZipper, EngineZipsOneArchivePerStemAndUnpacksNextToTheArchive) {
    TempDir dir;
    writeFile(dir.file("x.bin"), "binary");
    writeFile(dir.file("x.dat"), "data");
    writeFile(dir.file("in.zip/loose.bin"), "not an archive");
    ASSERT_EQ(runShell("cd " + dir.path() + " && mkdir pack && printf inner > pack/inner.rom && "
                       "cd pack && zip -q ../pack/arch.zip inner.rom && rm inner.rom"),
              0);
    ZipWorkList list;
    for (const char* p : {"x.bin", "x.dat", "gone.bin", "in.zip/loose.bin", "pack/arch.zip"}) list.add(dir.file(p));
    std::vector<std::pair<std::string, int>> results;
    std::vector<bool> startStates;
    {
        ozippatore engine(list, {[&](bool enabled) { startStates.push_back(enabled); },
                                 [&](const std::string& path, int status) { results.emplace_back(path, status); }});
        engine.wait();
    }
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(startStates, (std::vector<bool>{false, true}));
    ASSERT_EQ(results.size(), 5u);
    EXPECT_EQ(results[0].second, 0);
    EXPECT_EQ(results[1].second, 0);
    EXPECT_NE(results[2].second, 0);  // vanished before its turn
    EXPECT_NE(results[3].second, 0);  // taken for an archive, cannot be opened
    EXPECT_EQ(results[4].second, 0);

    EXPECT_EQ(entryNames(dir.file("x.zip")), (std::vector<std::string>{"x.bin", "x.dat"}));
    EXPECT_EQ(readFile(dir.file("x.bin")), "binary");  // sources stay
    EXPECT_FALSE(pathExists(dir.file("gone.zip")));
    EXPECT_FALSE(pathExists(dir.file("in.zip/loose.zip")));
    EXPECT_EQ(readFile(dir.file("pack/inner.rom")), "inner");
    EXPECT_TRUE(isRegularFile(dir.file("pack/arch.zip")));
}

TEST(MultiZipper, RunWhereTheNamesAlreadyExistLosesNothing) {
    TempDir dir;
    // pack.zip holds a.bin and b.bin; a.bin and "b (1).bin" are already there.
    ASSERT_EQ(runShell("cd " + dir.path() + " && printf 'packed a' > a.bin && printf 'packed b' > b.bin && "
                       "zip -q pack.zip a.bin b.bin && rm a.bin b.bin"),
              0);
    writeFile(dir.file("a.bin"), "the user's a.bin");
    writeFile(dir.file("b (1).bin"), "the user's b (1).bin");
    // The archive that c.bin would go into is not a zip.
    writeFile(dir.file("c.bin"), "c");
    writeFile(dir.file("c.zip"), "a text file that only looks like an archive");
    ZipWorkList list;
    addFolderToUnzip(dir.path(), list);
    list.add(dir.file("c.bin"));
    addFolderToUnzip(dir.path(), list);  // unpacking twice never overwrites either
    std::vector<int> results;
    {
        ozippatore engine(list, {nullptr, [&](const std::string&, int status) { results.push_back(status); }});
        engine.wait();
    }
    EXPECT_EQ(results.size(), 5u);
    EXPECT_NE(results[2], 0);  // c.bin: its archive cannot be opened
    EXPECT_EQ(readFile(dir.file("a.bin")), "the user's a.bin");
    EXPECT_EQ(readFile(dir.file("b (1).bin")), "the user's b (1).bin");
    EXPECT_EQ(readFile(dir.file("c.zip")), "a text file that only looks like an archive");
    EXPECT_EQ(readFile(dir.file("c.bin")), "c");
    EXPECT_EQ(readFile(dir.file("a (1).bin")), "packed a");
    EXPECT_EQ(readFile(dir.file("a (2).bin")), "packed a");
    EXPECT_EQ(readFile(dir.file("b.bin")), "packed b");
    EXPECT_EQ(readFile(dir.file("b (2).bin")), "packed b");
    EXPECT_FALSE(pathExists(dir.file("a (3).bin")));
}

}  // namespace
}  // namespace quorvane
