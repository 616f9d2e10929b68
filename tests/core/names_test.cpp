#include <gtest/gtest.h>

#include <string>

#include "core/names.h"

namespace quorvane {
namespace {

TEST(NamesTest, FileAndGameNamesNeverLeaveTheirFolderNorHide) {
    for (const char* bad : {"", ".", "..", "a/b", "/abs"}) {
        EXPECT_FALSE(isSafeFileName(bad)) << bad;
        EXPECT_FALSE(isSafeGameName(bad)) << bad;
    }
    EXPECT_FALSE(isSafeFileName(std::string("a\0b", 3)));
    EXPECT_TRUE(isSafeFileName(".hidden"));
    EXPECT_FALSE(isSafeGameName(".hidden"));  // its archive would never be listed
    EXPECT_TRUE(isSafeGameName("Game (Europe) [!]"));
}

TEST(NamesTest, EntryNamesAreRelativeWithoutDotSteps) {
    for (const char* good : {"rom.bin", "clone/rom.bin", "a b/c..d/.e"}) EXPECT_TRUE(isSafeEntryName(good)) << good;
    for (const char* bad : {"", "/abs/x", "../../x", "..", ".", "a/../b", "a/./b", "a//b", "dir/", "a\\b", "..\\x"})
        EXPECT_FALSE(isSafeEntryName(bad)) << bad;
    EXPECT_FALSE(isSafeEntryName(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace quorvane
