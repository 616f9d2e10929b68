#include <gtest/gtest.h>

#include "import_fixture.h"

namespace quorvane {
namespace {

using testing::ImportFixture;

// Builds a games row from its fields with the Windows-1252 separator.
std::string row(std::initializer_list<std::string> fields, const std::string& sep = "\xAC") {
    std::string out;
    for (const std::string& f : fields) out += sep + f;
    return out + sep + "\r\n";
}

TEST(SectionedDat, StoresFieldsOneFiveSixSeven) {
    ImportFixture f;
    f.dat("s.dat", "[CREDITS]\r\nAuthor=Me\r\nVersion=2\r\n[EMULATOR]\r\nrefname=SysA\r\n[GAMES]\r\n" +
                       row({"GameA", "Game A", "GameA", "Game A", "roma.bin", "ABCDEF12", "4096"}));
    f.import({f.dir.file("s.dat")});
    const auto rows = f.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].system, "SysA");
    EXPECT_EQ(rows[0].author, "Me");
    EXPECT_EQ(rows[0].version, "2");
    EXPECT_EQ(rows[0].game, "GameA");
    EXPECT_EQ(rows[0].romName, "roma.bin");
    EXPECT_EQ(rows[0].crc, "abcdef12");
    EXPECT_EQ(rows[0].size, "4096");
    EXPECT_TRUE(rows[0].md5.empty() && rows[0].sha1.empty() && rows[0].cloneOf.empty() && rows[0].romOf.empty());
    EXPECT_TRUE(f.host.messages().empty());
    EXPECT_FALSE(f.scratchFilesLeft());
}

TEST(SectionedDat, RowsThatCountAndRowsThatDoNot) {
    ImportFixture f;
    const std::string a = row({"par", "P", "clone", "C", "a.bin", "1", "10"});
    const std::string b = row({"par", "P", "par", "P", "b.bin", "22", "20"});
    f.dat("s.dat", "[emulator]\nREFNAME=Sys\n[GAMES]\n; a comment\n" + a + a + "\r\n" + a + b + a + "   " + b +
                       // UTF-8 separator, a short row and a row with no separator after field 7.
                       row({"utf", "U", "utf", "U", "u.bin", "33", "30"}, "\xC2\xAC") + "\xAC" + "short\xAC" + "x\r\n" +
                       "\xAC" + "g\xAC" + "d\xAC" + "g\xAC" + "d\xAC" + "n.bin\xAC" + "44\xAC" + "50\r\n"
                       "[RESOURCES]\n" + row({"res", "R", "res", "R", "r.bin", "55", "60"}));
    f.import({f.dir.file("s.dat")});
    std::vector<std::string> got;
    for (const RomRow& r : f.rows())
        got.push_back(r.game + "|" + r.romName + "|" + r.crc + "|" + r.size + "|" + r.version + "|" + r.author);
    using V = std::vector<std::string>;
    // Repeats next to each other (also across a blank line) once, apart twice;
    // a clone's ROM under field 1; leading blanks trimmed; missing keys "None".
    EXPECT_EQ(got, (V{"par|a.bin|00000001|10|None|None", "par|b.bin|00000022|20|None|None",
                      "par|a.bin|00000001|10|None|None", "par|b.bin|00000022|20|None|None",
                      "utf|u.bin|00000033|30|None|None", "g|n.bin|00000044|-|None|None"}));
    EXPECT_EQ(f.host.messages(), V{"Line 13 of " + f.dir.file("s.dat") + ": a ROM of game \"short\" has no name and was not imported."});
}

TEST(SectionedDat, RefnameNoneOrMissingIsNotSectioned) {
    ImportFixture f;
    const std::string none = f.dat("none.dat", "[EMULATOR]\nrefname=None\n[GAMES]\n" +
                                                   row({"g", "", "", "", "a", "1", "1"}));
    const std::string noGames = f.dat("nogames.dat", "[EMULATOR]\nrefname=Sys\n");
    f.import({none, noGames});
    EXPECT_TRUE(f.rows().empty());
    const auto messages = f.host.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], none + " is not a DAT file; nothing imported.");
    // A header without rows imports nothing, and says so.
    EXPECT_EQ(messages[1], "No ROMs found in " + noGames + "; nothing imported.");
    EXPECT_EQ(f.host.failedSteps(), 2);
}

TEST(SectionedDat, RowsWhoseNamesWouldLeaveTheirFolderAreRefusedTheRestIsStored) {
    ImportFixture f;
    const std::string path = f.dat("s.dat", "[EMULATOR]\r\nrefname=Sys\r\n[GAMES]\r\n" +
                                                row({"g", "", "", "", "..\\x.bin", "1", "1"}) +  // line 4
                                                row({".", "", "", "", "a.bin", "2", "1"}) +      // line 5
                                                row({"g", "", "", "", "a.bin", "3", "1"}));
    f.import({path});
    const auto rows = f.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].game + "/" + rows[0].romName, "g/a.bin");
    const auto messages = f.host.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].rfind("Line 4 of " + path + ": ROM \"..\\x.bin\" of game \"g\" was not imported: ", 0), 0u)
        << messages[0];
    EXPECT_EQ(messages[1].rfind("Line 5 of " + path + ": ROM \"a.bin\" of game \".\" was not imported: a game name", 0),
              0u)
        << messages[1];
}

}  // namespace
}  // namespace quorvane
