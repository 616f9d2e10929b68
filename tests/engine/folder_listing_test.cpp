// A folder's plain files come in byte order of their names, whatever order
// the file system gives them in.
#include <algorithm>
#include <fstream>
#include <random>

#include "core/file_util.h"
#include "engine/folder_listing.h"
#include "gtest/gtest.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

TEST(FolderListing, PlainFilesComeInByteOrderOfTheirNames) {
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
    ASSERT_TRUE(makeFolders(dir.file("a folder")));
    EXPECT_EQ(listPlainFiles(dir.path()), names);
}

}  // namespace
}  // namespace quorvane::testing
