// A folder's plain files come in byte order of their names, whatever order
// the file system gives them in; the walks below a folder do not follow links.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "core/file_util.h"
#include "engine/folder_listing.h"
#include "gtest/gtest.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

TEST(FolderListing, PlainFilesComeInByteOrderAndTheRecursiveWalkSkipsLinkedFolders) {
    TempDir dir;
    // Names alike for 16 bytes and more, one a prefix of another, bytes
    // above 0x7F (which sort after every ASCII byte), and many of them.
    std::vector<std::string> names = {"Game 00000.zip", "Game 00000.zip.bak", "Game 0000.zip", "game.zip",
                                      "A very long name alike to here, then a.zip",
                                      "A very long name alike to here, then B.zip", "\xC3\xA9t\xC3\xA9.zip",
                                      "Z.zip", "a", "ab", "abcdefgh", "abcdefghi", "abcdefgh\x7F", "abcdefgh\x80"};
    for (int i = 0; i < 300; ++i) names.push_back("Game " + std::to_string(i * 7919 % 1000) + " (x).zip");
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::vector<std::string> shuffled = names;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    for (const std::string& name : shuffled) ASSERT_TRUE(std::ofstream(dir.file(name)) << "x");
    // Neither a temporary file nor what lies in a sub-folder is listed.
    for (const char* name : {".quorvane-tmp-1-stage", "m/a.bin", "m/deep/x.bin", "m/y.bin"})
        writeFile(dir.file(name), "");
    EXPECT_EQ(listPlainFiles(dir.path()), names);
    EXPECT_TRUE(listPlainFiles(dir.file("missing")).empty());

    ASSERT_EQ(::symlink(dir.path().c_str(), dir.file("m/loop").c_str()), 0);
    std::vector<std::string> files;
    collectFilesRecursive(dir.file("m"), files);
    EXPECT_EQ(files, (std::vector<std::string>{dir.file("m/a.bin"), dir.file("m/deep/x.bin"), dir.file("m/y.bin")}));
}

// What the disk pass relies on to skip its own read of a folder of archives.
TEST(FolderListing, SaysWhetherAnythingButPlainFilesIsThere) {
    TempDir dir;
    const std::string folder = dir.path();
    writeFile(folder + "/a.zip", "x");
    ASSERT_TRUE(makeFolders(folder + "/.hidden"));
    std::filesystem::create_symlink(folder + "/a.zip", folder + "/link.zip");
    FolderNames listed = listFolder(folder);
    EXPECT_EQ(listed.files, (std::vector<std::string>{"a.zip", "link.zip"}));
    EXPECT_FALSE(listed.hasOthers);

    ASSERT_TRUE(makeFolders(folder + "/sub"));
    EXPECT_TRUE(listFolder(folder).hasOthers);
    ASSERT_TRUE(std::filesystem::remove(folder + "/sub"));
    std::filesystem::create_directory_symlink(folder + "/.hidden", folder + "/game");
    listed = listFolder(folder);
    EXPECT_TRUE(listed.hasOthers);
    EXPECT_EQ(listed.files.size(), 2u);
}

}  // namespace
}  // namespace quorvane::testing
