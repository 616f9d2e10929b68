#include "core/file_util.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace quorvane {
namespace {

// Names cut to a limit keep the extension and whole UTF-8 characters.
TEST(FileUtil, FitNameCutsTheStemAtACharacterBoundary) {
    EXPECT_EQ(fitName("game.bin", " (1)"), "game (1).bin");
    EXPECT_EQ(fitName("abcdefgh.bin", " (2)", 12), "abcd (2).bin");
    EXPECT_EQ(fitName(".hidden", " (1)", 10), ".hidde (1)");  // no extension: the whole name is the stem
    // "é" is two bytes, "€" three, "𝄞" four: no cut lands inside one.
    EXPECT_EQ(fitName("\xC3\xA9\xC3\xA9\xC3\xA9.bin", "", 9), "\xC3\xA9\xC3\xA9.bin");
    EXPECT_EQ(fitName("\xE2\x82\xAC\xE2\x82\xAC.bin", "", 9), "\xE2\x82\xAC.bin");
    EXPECT_EQ(fitName("\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E.bin", "", 11), "\xF0\x9D\x84\x9E.bin");
    // Bytes that are not UTF-8 are cut where the limit falls.
    EXPECT_EQ(fitName("\x80\x80\x80\x80\x80\x80.bin", "", 8), "\x80\x80\x80\x80.bin");
    // An extension that leaves no room for the stem is cut with the name.
    EXPECT_EQ(fitName("a." + std::string(300, 'e'), "", 255), "a." + std::string(253, 'e'));
    EXPECT_EQ(fitName(std::string(300, 'n') + ".zip").size(), kNameMax);
}

TEST(FileUtil, TemporaryNamesFitAndOnlyWholeHintsAreRecovered) {
    testing::TempDir dir;
    const std::string shortPath = uniqueTempPath(dir.path(), "game.zip");
    EXPECT_EQ(tempNameHint(baseName(shortPath)), "game.zip");
    const std::string longName = std::string(251, 'g') + ".zip";
    const std::string longPath = uniqueTempPath(dir.path(), longName);
    const std::string temp = baseName(longPath);
    EXPECT_EQ(temp.size(), kNameMax);
    EXPECT_EQ(temp.substr(temp.size() - 5), "g.zip");
    // A cut hint names no file, so a leftover of it is never "restored"
    // under a name that is not the original's.
    EXPECT_EQ(tempNameHint(temp), "");
    testing::writeFile(longPath, "made");
    EXPECT_EQ(testing::readFile(longPath), "made");
}

}  // namespace
}  // namespace quorvane
