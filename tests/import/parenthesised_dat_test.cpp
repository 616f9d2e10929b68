#include <gtest/gtest.h>

#include <algorithm>

#include "import_fixture.h"

namespace quorvane {
namespace {

using testing::ImportFixture;

const char* kHeader = "clrmamepro (\n\tname Sys\n\tversion 1.0\n\tauthor Me\n)\n";

TEST(ParenthesisedDat, StoresOneRowWithItsTextForms) {
    ImportFixture f;
    const std::string path =
        f.dat("one.dat", std::string(kHeader) + "game (\n\tname g1\n\trom ( name a.bin size 1024 crc 0xABCDEF12 )\n)\n");
    const JobResult result = f.import({path});
    const auto rows = f.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].system, "Sys");
    EXPECT_EQ(rows[0].version, "1.0");
    EXPECT_EQ(rows[0].author, "Me");
    EXPECT_EQ(rows[0].game, "g1");
    EXPECT_EQ(rows[0].romName, "a.bin");
    EXPECT_EQ(rows[0].size, "1024");
    EXPECT_EQ(rows[0].crc, "abcdef12");
    EXPECT_EQ(rows[0].status, RomStatus::Missing);
    EXPECT_TRUE(rows[0].md5.empty() && rows[0].sha1.empty() && rows[0].cloneOf.empty() && rows[0].romOf.empty());
    EXPECT_FALSE(f.scratchFilesLeft());
    EXPECT_EQ(result.refresh, JobResult::Refresh::SystemsAndGames);
    EXPECT_TRUE(f.host.messages().empty());
}

TEST(ParenthesisedDat, ProgressIsPublishedAtABoundedRate) {
    ImportFixture f;
    std::string text = std::string(kHeader) + "game (\n\tname g\n";
    for (int i = 0; i < 40000; ++i) text += "\tcomment x\n";
    text += "\trom ( name a size 1 crc 1 )\n)\n";
    const std::string path = f.dat("big.dat", text);
    f.import({path});
    ASSERT_EQ(f.rows().size(), 1u);
    const auto progress = f.host.eventsOf("progress");
    // Ten per-4096-line updates at least; far fewer than one per line.
    EXPECT_GE(progress.size(), 10u);
    EXPECT_LT(progress.size(), 400u);
    EXPECT_NE(std::find(progress.begin(), progress.end(), path + " @ " + std::to_string(text.size())), progress.end());
}

TEST(ParenthesisedDat, ClassifiesLinesByTheirFirstTokens) {
    ImportFixture f;
    f.dat("c.dat",
          "clrmamepro (\r\n\tname Sys\r\n\tversion 2\r\n\tauthor A\r\n)\r\n"
          "game (\r\n"
          "\tname g1\r\n"
          "\tdescription \"not a game ( opener, nor a rom ( line, nor cloneof x\"\r\n"
          "\tmanufacturer cloneof\r\n"
          "\trom ( name \"quoted name.bin\" size 16 crc 1A2B3C4D md5 ABCD sha1 0xDEADBEEF )\r\n"
          "\trom ( name gone.bin size 16 crc 11111111 flags nodump )\r\n"
          "\tdisk ( name hd sha1 E6481C367AD24AA285E51C01221A169B1B74B15F )\r\n"
          "\trom ( name comma,split.bin size 0 crc 12345 )\r\n"
          ")\r\n"
          "\r\n"
          "resource (\r  name   bios\r  rom ( name b.bin size 8 crc 22222222 )\r)\r"
          "game (\n\trom ( name nameless.bin size 4 crc 33333333 )\n)\n"
          "game (\n    name last\n    rom ( name end.bin size 2 crc 44444444 )");
    f.import({f.dir.file("c.dat")});

    const auto g1 = f.rowsOf("g1");
    ASSERT_EQ(g1.size(), 3u);
    EXPECT_EQ(g1[0].romName, "quoted name.bin");
    EXPECT_EQ(g1[0].md5, "abcd");
    EXPECT_EQ(g1[0].sha1, "deadbeef");
    EXPECT_EQ(g1[0].cloneOf, "");
    EXPECT_EQ(g1[1].romName, "hd");
    EXPECT_EQ(g1[1].crc, "");
    EXPECT_EQ(g1[1].size, "-");
    EXPECT_EQ(g1[1].sha1, "e6481c367ad24aa285e51c01221a169b1b74b15f");
    EXPECT_EQ(g1[2].romName, "comma");
    EXPECT_EQ(g1[2].crc, "00012345");
    EXPECT_EQ(g1[2].size, "-");

    // Lone CR line ends and a name line indented with spaces.
    const auto bios = f.rowsOf("bios");
    ASSERT_EQ(bios.size(), 2u);
    EXPECT_EQ(bios[0].romName, "b.bin");
    // A block without a name line keeps the previous block's name.
    EXPECT_EQ(bios[1].romName, "nameless.bin");
    // The end of the file inside a block keeps the block's rows.
    const auto last = f.rowsOf("last");
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0].crc, "44444444");
    EXPECT_EQ(f.rows().size(), 6u);
}

TEST(ParenthesisedDat, KeepsAParentOnlyWhereTheParentHoldsTheRom) {
    ImportFixture f;
    f.dat("p.dat", std::string(kHeader) +
                       "resource (\n\tname bios\n\trom ( name bios.bin size 10 crc aaaaaaaa )\n)\n"
                       "game (\n\tname parent\n\tromof bios\n"
                       "\trom ( name bios.bin merge bios.bin size 10 crc aaaaaaaa )\n"
                       "\trom ( name shared.bin size 20 crc bbbbbbbb )\n"
                       "\trom ( name other.bin size 30 crc cccccccc )\n)\n"
                       "game (\n\tname clone\n\tcloneof parent\n\tromof parent\n"
                       "\trom ( name shared.bin merge shared.bin size 20 crc bbbbbbbb )\n"
                       "\trom ( name own.bin size 20 crc bbbbbbbb )\n"
                       "\trom ( name other.bin size 31 crc cccccccc )\n)\n"
                       "game (\n\tname clone2\n\tcloneof parent\n\tromof bios\n"
                       "\trom ( name bios.bin size 10 crc aaaaaaaa )\n"
                       "\trom ( name shared.bin size 20 crc bbbbbbbb )\n"
                       "\trom ( name mine.bin size 40 crc dddddddd )\n)\n"
                       "game (\n\tname orphan\n\tcloneof nowhere\n\trom ( name shared.bin size 20 crc bbbbbbbb )\n)\n");
    f.import({f.dir.file("p.dat")});

    auto parents = [&](const std::string& game) {
        std::vector<std::string> out;
        for (const RomRow& r : f.rowsOf(game)) out.push_back(r.romName + ":" + r.cloneOf + "/" + r.romOf);
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(parents("bios"), (V{"bios.bin:/"}));
    EXPECT_EQ(parents("parent"), (V{"bios.bin:/bios", "shared.bin:/", "other.bin:/"}));
    // cloneof and romof naming the same parent: a clone only.
    EXPECT_EQ(parents("clone"), (V{"shared.bin:parent/", "own.bin:/", "other.bin:/"}));
    // romof names the BIOS, cloneof the parent: each ROM goes to the set that holds it.
    EXPECT_EQ(parents("clone2"), (V{"bios.bin:/bios", "shared.bin:parent/", "mine.bin:/"}));
    EXPECT_EQ(parents("orphan"), (V{"shared.bin:/"}));
}

TEST(ParenthesisedDat, RefusedFilesSayWhy) {
    ImportFixture f;
    const std::string noName = f.dat("noname.dat", "clrmamepro (\n\tversion 1\n)\ngame (\n\tname g\n\trom ( name a )\n)\n");
    const std::string junk = f.dat("junk.txt", "just some text\nwith lines\n");
    const std::string empty = f.dat("empty.dat", "");
    const std::string missing = f.dir.file("missing.dat");
    const std::string slash = f.dat("slash.dat", "clrmamepro (\n\tname a/b\n\tversion 1\n\tauthor x\n)\n"
                                                 "game (\n\tname g\n\trom ( name a size 1 crc 1 )\n)\n");
    const std::string dots = f.dat("dots.dat", "clrmamepro ( name .. version 1 author x )\ngame (\n\tname g\n"
                                               "\trom ( name a size 1 crc 1 )\n)\n");
    f.import({noName, junk, empty, missing, slash, dots});
    EXPECT_TRUE(f.rows().empty());
    const auto messages = f.host.messages();
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(messages[0], "No romset name found in " + noName + "; nothing imported.");
    EXPECT_EQ(messages[1], junk + " is not a DAT file; nothing imported.");
    EXPECT_EQ(messages[2], empty + " is not a DAT file; nothing imported.");
    EXPECT_EQ(messages[3], "Cannot open " + missing + " (file not found)");
    EXPECT_NE(messages[4].find("\"a/b\""), std::string::npos);
    EXPECT_NE(messages[5].find("\"..\""), std::string::npos);
    EXPECT_EQ(f.host.eventsOf("info"),
              std::vector<std::string>{"Import completed: 0 files imported, 6 failed."});
    EXPECT_EQ(f.host.failedSteps(), 6);
    EXPECT_FALSE(f.scratchFilesLeft());
}

TEST(ParenthesisedDat, ARowTooLongIsReportedAndTheRestIsStored) {
    ImportFixture f;
    const std::string longName(300, 'x');
    const std::string path = f.dat("long.dat", std::string(kHeader) + "game (\n\tname g\n\trom ( name " + longName +
                                                   " size 1 crc 1 )\n\trom ( name ok.bin size 1 crc 2 )\n)\n");
    f.import({path});
    const auto rows = f.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].romName, "ok.bin");
    const auto messages = f.host.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "ROM " + longName + " of game g in " + path +
                               " was not imported: the ROM name is longer than 255 bytes.");
}

TEST(ParenthesisedDat, RowsWhoseNamesWouldLeaveTheirFolderAreRefusedTheRestIsStored) {
    ImportFixture f;
    // Line numbers: the header takes lines 1 to 5.
    const std::string path =
        f.dat("names.dat", std::string(kHeader) +
                               "game (\n\tname ok\n"                                      // 6, 7
                               "\trom ( name a.bin size 1 crc 1 )\n"                      // 8
                               "\trom ( name ../../x size 1 crc 2 )\n"                    // 9
                               "\trom ( name /abs/x size 1 crc 3 )\n"                     // 10
                               "\trom ( name .. size 1 crc 4 )\n"                         // 11
                               "\trom ( name dir\\x.bin size 1 crc 5 )\n"                 // 12
                               "\trom ( name sub/inner.bin size 1 crc 6 )\n"              // 13
                               "\trom ( size 1 crc 7 )\n)\n"                              // 14, 15
                               "game (\n\tname \"a/b\"\n\trom ( name r size 1 crc 8 )\n)\n"  // 16-19
                               "game (\n\tname \"\"\n\trom ( name s size 1 crc 9 )\n)\n"     // 20-23
                               "game (\n\tname ..\n\trom ( name t size 1 crc 10 )\n)\n"      // 24-27
                               "game (\n\tname .hidden\n\trom ( name u size 1 crc 11 )\n)\n");  // 28-31
    f.import({path});
    std::vector<std::string> stored;
    for (const RomRow& r : f.rows()) stored.push_back(r.game + "/" + r.romName);
    EXPECT_EQ(stored, (std::vector<std::string>{"ok/a.bin", "ok/sub/inner.bin"}));
    const auto messages = f.host.messages();
    ASSERT_EQ(messages.size(), 9u);
    const std::string badRom = " was not imported: a ROM name must be a relative path without empty, \".\" or "
                               "\"..\" steps and without backslashes.";
    const std::string badGame = " was not imported: a game name must be usable as an archive name: not empty, not "
                                "starting with \".\", without \"/\".";
    EXPECT_EQ(messages[0], "Line 9 of " + path + ": ROM \"../../x\" of game \"ok\"" + badRom);
    EXPECT_EQ(messages[1], "Line 10 of " + path + ": ROM \"/abs/x\" of game \"ok\"" + badRom);
    EXPECT_EQ(messages[2], "Line 11 of " + path + ": ROM \"..\" of game \"ok\"" + badRom);
    EXPECT_EQ(messages[3], "Line 12 of " + path + ": ROM \"dir\\x.bin\" of game \"ok\"" + badRom);
    EXPECT_EQ(messages[4], "Line 14 of " + path + ": a ROM of game \"ok\" has no name and was not imported.");
    EXPECT_EQ(messages[5], "Line 18 of " + path + ": ROM \"r\" of game \"a/b\"" + badGame);
    EXPECT_EQ(messages[6], "Line 22 of " + path + ": ROM \"s\" of game \"\"" + badGame);
    EXPECT_EQ(messages[7], "Line 26 of " + path + ": ROM \"t\" of game \"..\"" + badGame);
    EXPECT_EQ(messages[8], "Line 30 of " + path + ": ROM \"u\" of game \".hidden\"" + badGame);
    EXPECT_FALSE(f.scratchFilesLeft());
}

}  // namespace
}  // namespace quorvane
