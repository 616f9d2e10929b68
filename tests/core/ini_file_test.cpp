#include <gtest/gtest.h>

#include "core/ini_file.h"
#include "core/line_reader.h"
#include "core/text.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::writeFile;

TEST(IniFile, ReadsWithProfileRules) {
    testing::TempDir dir;
    writeFile(dir.file("a.ini"), "; comment\r\njunk line without equals\n[quorvane]\r\n  BaseDir =  /x/y  \r\n"
                                 "basedir=/second\r\nusemd5=0x10\rusesha1=yes\n[Quorvane]\ncurrentdb=romsGood\n"
                                 "[Other]\nkey=\n");
    IniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.readString("QUORVANE", "basedir", "d"), "/x/y");  // first match wins
    EXPECT_TRUE(ini.readBool("Quorvane", "useMD5", false));           // hexadecimal non-zero
    EXPECT_EQ(std::pair(ini.readBool("Quorvane", "useSHA1", true), ini.readBool("Quorvane", "useSHA1", false)),
              std::pair(true, false));  // not a number: the default
    EXPECT_EQ(ini.readString("Quorvane", "currentdb", "roms"), "roms");  // only the first section of a name is read
    EXPECT_EQ(ini.readString("other", "key", "d") + "|" + ini.readString("missing", "key", "d"), "|d");
    EXPECT_EQ(ini.readInteger("other", "key", 7), 7);
}

TEST(IniFile, WritesReplaceInPlaceAndKeepUnknownLines) {
    testing::TempDir dir;
    const std::string path = dir.file("a.ini");
    writeFile(path, "; keep me\n[window]\ntop=5\n\n[Quorvane]\nbasedir=/a\n");
    IniFile ini(path);
    ASSERT_TRUE(ini.writeInteger("Window", "Top", 42) && ini.writeInteger("Window", "Left", 7) &&
                ini.writeString("New", "k", "v"));
    EXPECT_EQ(readFile(path),
              "; keep me\r\n[window]\r\nTop=42\r\nLeft=7\r\n\r\n[Quorvane]\r\nbasedir=/a\r\n\r\n[New]\r\nk=v\r\n");
    EXPECT_EQ(IniFile(path).keys("window"), (std::vector<std::string>{"Top", "Left"}));
    // A failed write is reported.
    writeFile(dir.file("blocker"), "a regular file");
    IniFile blocked(dir.file("blocker") + "/settings.ini");
    EXPECT_FALSE(blocked.writeString("S", "k", "v"));
    EXPECT_FALSE(blocked.lastError().empty());
}

// A section name ends at the line's last "]": names of systems hold brackets.
TEST(IniFile, ListsSectionsAndReadsBracketedNames) {
    testing::TempDir dir;
    writeFile(dir.file("a.ini"), "[A]\n[System Amiga - [ADF]]\noutput=7z\n[a]\n not a section\n");
    IniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"A", "System Amiga - [ADF]", "a"}));
    EXPECT_EQ(ini.readString("system amiga - [adf]", "output", ""), "7z");
}

// Removing a key: a section left with nothing but blank lines goes too;
// only the first section of a name is touched; nothing to remove, nothing written.
TEST(IniFile, EraseKeyDropsEmptiedSectionsOnly) {
    struct Case {
        const char* before;
        const char* section;
        const char* key;
        const char* after;
    };
    const Case cases[] = {
        {"[A]\nk=1\nj=2\n", "a", "K", "[A]\r\nj=2\r\n"},
        {"[A]\nx=1\n\n[System S]\noutput=7z\n\n[B]\ny=2\n", "system s", "output", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
        {"[A]\nx=1\n[S]\noutput=7z\n", "S", "output", "[A]\r\nx=1\r\n"},
        {"[S]\n; mine\noutput=7z\n", "S", "output", "[S]\r\n; mine\r\n"},
        {"[S]\na=1\n[s]\noutput=2\n", "S", "output", "[S]\na=1\n[s]\noutput=2\n"},
        {"[S]\na=1\n", "T", "a", "[S]\na=1\n"},
    };
    for (const Case& c : cases) {
        testing::TempDir dir;
        writeFile(dir.file("a.ini"), c.before);
        IniFile ini(dir.file("a.ini"));
        EXPECT_TRUE(ini.eraseKey(c.section, c.key)) << c.before;
        EXPECT_EQ(readFile(dir.file("a.ini")), c.after) << c.before;
    }
}

TEST(IniFile, ScanReadsRequestedKeysOfAnyFile) {
    testing::TempDir dir;
    writeFile(dir.file("d.dat"), "[CREDITS]\r\nAuthor=Me\r\n" + std::string(200000, 'x') +  // a very long line
                                     "\r\n\xAC\x80\xFF=odd bytes\r\n[Emulator]\r\nrefname=SysA\r\n"
                                     "[credits]\r\nVersion=late\r\n");
    bool opened = false;
    const auto found = IniFile::scan(dir.file("d.dat"), {{"EMULATOR", "refname"}, {"CREDITS", "author"},
                                                         {"CREDITS", "Version"}}, &opened);
    EXPECT_TRUE(opened);
    // Only the first CREDITS section counts.
    EXPECT_EQ(found, (std::vector<std::optional<std::string>>{"SysA", "Me", std::nullopt}));
    EXPECT_FALSE(IniFile::scan(dir.file("missing.dat"), {{"a", "b"}}, &opened)[0].has_value());
    EXPECT_FALSE(opened);
}

// Every line end, none at the end, and a CR at the very end of the first
// buffer with its LF at the start of the next, before a line longer than
// any buffer.
TEST(LineReader, EveryLineEndAcrossBufferBoundaries) {
    testing::TempDir dir;
    const std::string first(65535, 'a'), longLine(300000, 'q');
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"one\r\ntwo\nthree\rfour\r\r\nfive", {"one", "two", "three", "four", "", "five"}},
        {"x\n\n", {"x", ""}}, {"", {}}, {first + "\r\n" + longLine + "\nend", {first, longLine, "end"}}};
    for (const auto& [text, want] : cases) {
        testing::writeFile(dir.file("a"), text);
        LineReader reader(dir.file("a"));
        std::vector<std::string> lines;
        for (std::string line; reader.next(line);) lines.push_back(line);
        EXPECT_TRUE(lines == want) << text.substr(0, 40);
    }
    EXPECT_FALSE(LineReader(dir.path()).isOpen());
}

}  // namespace
}  // namespace quorvane
