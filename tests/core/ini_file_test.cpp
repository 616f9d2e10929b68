#include <gtest/gtest.h>

#include <optional>

#include "core/ini_file.h"
#include "core/text.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(IniFile, ReadsWithProfileRules) {
    TempDir dir;
    const std::string path = dir.file("a.ini");
    writeFile(path,
              "; comment\r\n"
              "junk line without equals\n"
              "[quorvane]\r\n"
              "  BaseDir =  /x/y  \r\n"
              "basedir=/second\r\n"
              "usemd5=0x10\r"
              "usesha1=yes\n"
              "[Quorvane]\n"
              "currentdb=romsGood\n"
              "[Other]\nkey=\n");
    IniFile ini(path);
    EXPECT_EQ(ini.readString("QUORVANE", "basedir", "d"), "/x/y");  // first match wins
    EXPECT_TRUE(ini.readBool("Quorvane", "useMD5", false));           // hexadecimal non-zero
    EXPECT_TRUE(ini.readBool("Quorvane", "useSHA1", true));           // not a number: default
    EXPECT_FALSE(ini.readBool("Quorvane", "useSHA1", false));
    // Only the first section of a name is read.
    EXPECT_EQ(ini.readString("Quorvane", "currentdb", "roms"), "roms");
    EXPECT_EQ(ini.readString("other", "key", "d"), "");
    EXPECT_EQ(ini.readString("missing", "key", "d"), "d");
    EXPECT_EQ(ini.readInteger("other", "key", 7), 7);
}

TEST(IniFile, WritesReplaceInPlaceAndKeepUnknownLines) {
    TempDir dir;
    const std::string path = dir.file("a.ini");
    writeFile(path, "; keep me\n[window]\ntop=5\n\n[Quorvane]\nbasedir=/a\n");
    IniFile ini(path);
    ASSERT_TRUE(ini.writeInteger("Window", "Top", 42));
    ASSERT_TRUE(ini.writeInteger("Window", "Left", 7));
    ASSERT_TRUE(ini.writeString("New", "k", "v"));
    EXPECT_EQ(readFile(path),
              "; keep me\r\n[window]\r\nTop=42\r\nLeft=7\r\n\r\n[Quorvane]\r\nbasedir=/a\r\n\r\n[New]\r\nk=v\r\n");
    IniFile again(path);
    EXPECT_EQ(again.readInteger("WINDOW", "LEFT", 0), 7);
    EXPECT_EQ(again.keys("window"), (std::vector<std::string>{"Top", "Left"}));
}

TEST(IniFile, FailedWriteLeavesNoTemporaryAndReportsIt) {
    TempDir dir;
    writeFile(dir.file("blocker"), "a regular file");
    IniFile ini(dir.file("blocker") + "/settings.ini");
    EXPECT_FALSE(ini.writeString("S", "k", "v"));
    EXPECT_FALSE(ini.lastError().empty());
}

TEST(IniFile, ScanReadsRequestedKeysOfAnyFile) {
    TempDir dir;
    std::string big = "[CREDITS]\r\nAuthor=Me\r\n";
    big += std::string(200000, 'x') + "\r\n";  // a very long line
    big += "\xAC\x80\xFF=odd bytes\r\n[Emulator]\r\nrefname=SysA\r\n[credits]\r\nVersion=late\r\n";
    writeFile(dir.file("d.dat"), big);
    bool opened = false;
    auto found = IniFile::scan(dir.file("d.dat"),
                               {{"EMULATOR", "refname"}, {"CREDITS", "author"}, {"CREDITS", "Version"}}, &opened);
    EXPECT_TRUE(opened);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].value_or("None"), "SysA");
    EXPECT_EQ(found[1].value_or("None"), "Me");
    EXPECT_EQ(found[2].value_or("None"), "None");  // only the first CREDITS section counts
    auto none = IniFile::scan(dir.file("missing.dat"), {{"a", "b"}}, &opened);
    EXPECT_FALSE(opened);
    EXPECT_FALSE(none[0].has_value());
}

TEST(ProfileInteger, DecimalAndHexOnly) {
    const std::pair<const char*, std::optional<long long>> cases[] = {
        {"12", 12}, {"-3", -3},   {"0x1F", 31},
        {" 7 ", 7}, {"12px", {}}, {"", {}},
        {"0x", {}}, {"true", {}}, {"99999999999999999999999", {}}};
    for (const auto& [text, value] : cases) EXPECT_EQ(parseProfileInteger(text), value) << text;
}

}  // namespace
}  // namespace quorvane
