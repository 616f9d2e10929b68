// Names and text from DATs and archives: where they may lead, how they are
// cut to fit, how they are shown.
#include <gtest/gtest.h>

#include "core/file_util.h"
#include "core/names.h"
#include "core/records.h"
#include "core/text.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

// File and game names never leave their folder; a game's archive is never hidden.
TEST(NamesTest, NamesNeverLeaveTheirFolderNorHide) {
    const std::string nul("a\0b", 3);
    // name, safe as a file name, as a game name, as an entry name
    const std::tuple<std::string, bool, bool, bool> cases[] = {
        {"", 0, 0, 0}, {".", 0, 0, 0}, {"..", 0, 0, 0}, {"a/b", 0, 0, 1}, {"/abs", 0, 0, 0}, {nul, 0, 0, 0},
        {".hidden", 1, 0, 1}, {"Game (Europe) [!]", 1, 1, 1}, {"clone/rom.bin", 0, 0, 1}, {"a b/c..d/.e", 0, 0, 1},
        {"../../x", 0, 0, 0}, {"a/../b", 0, 0, 0}, {"a/./b", 0, 0, 0}, {"a//b", 0, 0, 0}, {"dir/", 0, 0, 0},
        {"a\\b", 1, 1, 0}, {"..\\x", 1, 0, 0}};
    for (const auto& [name, file, game, entry] : cases) {
        EXPECT_EQ(isSafeFileName(name), file) << name;
        EXPECT_EQ(isSafeGameName(name), game) << name;
        EXPECT_EQ(isSafeEntryName(name), entry) << name;
    }
}

// Names cut to a limit keep the extension and whole UTF-8 characters ("é" is
// two bytes, "€" three, "𝄞" four); bytes that are not UTF-8 are cut where the
// limit falls; an extension that leaves no room for the stem is cut with the name.
TEST(FileUtil, FitNameCutsTheStemAtACharacterBoundary) {
    const std::tuple<std::string, const char*, size_t, std::string> cases[] = {
        {"game.bin", " (1)", kNameMax, "game (1).bin"}, {"abcdefgh.bin", " (2)", 12, "abcd (2).bin"},
        {".hidden", " (1)", 10, ".hidde (1)"},  // no extension: the whole name is the stem
        {"\xC3\xA9\xC3\xA9\xC3\xA9.bin", "", 9, "\xC3\xA9\xC3\xA9.bin"},
        {"\xE2\x82\xAC\xE2\x82\xAC.bin", "", 9, "\xE2\x82\xAC.bin"},
        {"\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E.bin", "", 11, "\xF0\x9D\x84\x9E.bin"},
        {"\x80\x80\x80\x80\x80\x80.bin", "", 8, "\x80\x80\x80\x80.bin"},
        {"a." + std::string(300, 'e'), "", 255, "a." + std::string(253, 'e')},
        {std::string(300, 'n') + ".zip", "", kNameMax, std::string(kNameMax - 4, 'n') + ".zip"}};
    for (const auto& [name, suffix, limit, fitted] : cases) EXPECT_EQ(fitName(name, suffix, limit), fitted) << name;
}

// A cut hint names no file, so a leftover of it is never "restored" under a
// name that is not the original's.
TEST(FileUtil, TemporaryNamesFitAndOnlyWholeHintsAreRecovered) {
    testing::TempDir dir;
    EXPECT_EQ(tempNameHint(baseName(uniqueTempPath(dir.path(), "game.zip"))), "game.zip");
    const std::string longPath = uniqueTempPath(dir.path(), std::string(251, 'g') + ".zip");
    const std::string temp = baseName(longPath);
    EXPECT_EQ(temp.size(), kNameMax);
    EXPECT_EQ(temp.substr(temp.size() - 5), "g.zip");
    EXPECT_EQ(tempNameHint(temp), "");
    testing::writeFile(longPath, "made");  // fails the test when the name does not fit
}

// Whatever a name holds, a terminal shown it obeys nothing: controls (C0,
// DEL, C1 as UTF-8 and as a bare byte) and bytes that are not UTF-8 (Latin-1
// as old DATs write it, a cut sequence, an overlong "/", a surrogate, a code
// point above U+10FFFF) are escaped; valid UTF-8 stays.
// Missing folders are made down from the first that exists; a folder
// cannot be made under a file.
TEST(FileUtil, MakeFoldersMakesWhatIsMissingAndNothingUnderAFile) {
    testing::TempDir dir;
    EXPECT_TRUE(makeFolders(dir.file("a/b/c/")));
    EXPECT_TRUE(isDirectory(dir.file("a/b/c")));
    EXPECT_TRUE(makeFolders(dir.file("a/b")));  // already there
    testing::writeFile(dir.file("a/file"), "x");
    EXPECT_FALSE(makeFolders(dir.file("a/file")));
    EXPECT_FALSE(makeFolders(dir.file("a/file/d/e")));
    EXPECT_FALSE(makeFolders(""));
}

// Which files are zips by name: ".zip" in any case, anywhere in the path.
TEST(FileUtil, AZipIsNamedSoAnywhereInAnyCase) {
    for (const char* zip : {"a.zip", "/x/B.ZIP", "set.zip.bak", "/roms.Zip/game.7z", ".zip", "a..zIp"})
        EXPECT_TRUE(isZipPath(zip)) << zip;
    for (const char* other : {"", "zip", "a.zi", "a.zi.p", "a_zip", "/x.zi/p", "a.7z", "a.z1p"})
        EXPECT_FALSE(isZipPath(other)) << other;
    EXPECT_EQ(joinPath("/a/", "b.zip"), "/a/b.zip");
    EXPECT_EQ(joinPath("/a", "b.zip"), "/a/b.zip");
    EXPECT_EQ(joinPath("", "b.zip"), "b.zip");
}

TEST(TerminalText, EscapesControlsAndBrokenUtf8AndKeepsTheRest) {
    const std::string valid = "Pok\xc3\xa9mon \xe3\x83\x9d\xe3\x82\xb1 \xf0\x9f\x8e\xae \xc2\xa0 plain ~!";
    const std::pair<std::string, std::string> cases[] = {
        {"\x1b[2Jgame", "\\x1b[2Jgame"}, {"fake\rline\nnext\t", "fake\\x0dline\\x0anext\\x09"},
        {std::string("a\0b", 3), "a\\x00b"}, {"del\x7f", "del\\x7f"}, {"\xc2\x9b" "31m", "\\xc2\\x9b31m"},
        {"\x9b" "31m", "\\x9b31m"}, {valid, valid}, {"Pok\xe9mon", "Pok\\xe9mon"}, {"end\xe3\x83", "end\\xe3\\x83"},
        {"\xc0\xaf", "\\xc0\\xaf"}, {"\xed\xa0\x80", "\\xed\\xa0\\x80"}, {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"\xe3" "a\xc3\xa9", "\\xe3a\xc3\xa9"}};  // a broken lead byte does not swallow the valid text after it
    for (const auto& [text, shown] : cases) EXPECT_EQ(terminalText(text), shown);
}

}  // namespace
}  // namespace quorvane
