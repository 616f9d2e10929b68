#include <gtest/gtest.h>

#include <algorithm>

#include "import_fixture.h"

namespace quorvane {
namespace {

using testing::ImportFixture;
using V = std::vector<std::string>;

std::string datafile(const std::string& header, const std::string& body) {
    return "<?xml version=\"1.0\"?>\n<datafile>\n\t<header>\n" + header + "\t</header>\n" + body + "</datafile>\n";
}

const std::string kHeader = "\t\t<name>Sys</name>\n\t\t<version>1.0</version>\n\t\t<author>Me</author>\n";

TEST(XmlDat, StoresSetsAndRomsInTheTextFormsOfTheOtherReaders) {
    ImportFixture f;
    // A byte-order mark and blank lines before the declaration; header values
    // wrapped over lines; no author.
    const std::string path = f.dat(
        "sys.xml",
        "\xEF\xBB\xBF\r\n\n" +
            datafile("\t\t<description>ignored</description>\n\t\t<name>\n\t\t\tSys &amp; Co\n\t\t</name>\n"
                     "\t\t<version>2</version>\n\t\t<clrmamepro forcepacking=\"zip\"/>\n",
                     "\t<game name=\"g&lt;1&gt;\">\n\t\t<description>Game (rom ( text ) cloneof x)</description>\n"
                     "\t\t<year>1996</year>\n"
                     "\t\t<rom name=\"a.bin\" size=\"1024\" crc=\"0xABCDEF\" md5=\"ABCD\" sha1=\"0xDEADBEEF\"/>\n"
                     "\t\t<rom name=\"gone.bin\" size=\"16\" crc=\"11111111\" status=\"nodump\"/>\n"
                     "\t\t<rom name=\"bad.bin\" size=\"sixteen\" crc=\"1234abcd5678\" status=\"baddump\"/>\n"
                     "\t\t<disk name=\"hd\" md5=\"0F0F\" sha1=\"E6481C367AD24AA285E51C01221A169B1B74B15F\"/>\n"
                     "\t\t<sample name=\"s.wav\"/>\n\t\t<part><rom name=\"deeper.bin\" size=\"1\"/></part>\n"
                     "\t</game>\n"
                     "\t<machine name=\"bios\" isbios=\"yes\"><rom name=\"b.bin\" size=\"8\" crc=\"2222\"/></machine>\n"
                     "\t<machine name=\"dev\" isdevice=\"yes\"><device_ref name=\"x\"/>"
                     "<rom name=\"d.bin\" size=\"0\" crc=\"33333333\"/></machine>\n"
                     "\t<machine name=\"empty\"/>\n"));
    f.import({path});
    EXPECT_TRUE(f.host.messages().empty()) << f.host.messages().front();
    EXPECT_FALSE(f.scratchFilesLeft());

    const auto g = f.rowsOf("g<1>");
    ASSERT_EQ(g.size(), 3u);
    EXPECT_EQ(g[0].system, "Sys & Co");
    EXPECT_EQ(g[0].version, "2");
    EXPECT_EQ(g[0].author, "");
    EXPECT_EQ(g[0].romName, "a.bin");
    EXPECT_EQ(g[0].size, "1024");
    EXPECT_EQ(g[0].crc, "00abcdef");
    EXPECT_EQ(g[0].md5, "abcd");
    EXPECT_EQ(g[0].sha1, "deadbeef");
    EXPECT_EQ(g[1].romName, "bad.bin");
    EXPECT_EQ(g[1].size, "-");
    EXPECT_EQ(g[1].crc, "abcd5678");
    EXPECT_EQ(g[2].romName, "hd");
    EXPECT_EQ(g[2].crc, "");
    EXPECT_EQ(g[2].size, "-");
    EXPECT_EQ(g[2].md5, "0f0f");
    EXPECT_EQ(g[2].sha1, "e6481c367ad24aa285e51c01221a169b1b74b15f");

    ASSERT_EQ(f.rowsOf("bios").size(), 1u);
    EXPECT_EQ(f.rowsOf("bios")[0].crc, "00002222");
    ASSERT_EQ(f.rowsOf("dev").size(), 1u);
    EXPECT_EQ(f.rowsOf("dev")[0].size, "-");
    EXPECT_EQ(f.rows().size(), 5u);
}

TEST(XmlDat, MalformedFileStoresNothingAndKeepsTheOldSystem) {
    ImportFixture f;
    const std::string v1 = f.dat("v1.xml", datafile(kHeader, "<game name=\"g\"><rom name=\"old.bin\" size=\"1\" crc=\"1\"/></game>\n"));
    f.import({v1});
    ASSERT_EQ(f.rows().size(), 1u);

    // Well-formed up to line 9, where a ROM element closes with the wrong tag.
    std::string body;
    for (int i = 0; i < 3; ++i) body += "<game name=\"n" + std::to_string(i) + "\"><rom name=\"new.bin\" size=\"1\" crc=\"2\"/></game>\n";
    body += "<game name=\"bad\"><rom name=\"x\"></game>\n";
    const std::string v2 = f.dat("v2.xml", datafile("<name>Sys</name><version>2.0</version>\n", body));
    // Stops before its header ends; blank lines in front count in the line number.
    const std::string early = f.dat("early.xml", "\n\n<datafile><header><name>Other</nam></header></datafile>");
    // Ends inside an element of the first set, after the header.
    const std::string truncated = f.dat("cut.xml", "<datafile><header><name>Cut</name></header><game name=\"t\"><rom name=\"t.bin\"");
    f.host.answers = {true};
    f.import({v2, early, truncated});

    EXPECT_EQ(f.host.eventsOf("askYesIgnore"),
              V{"Romset Sys already exists [version: 1.0]. Do you want to replace it with version 2.0?"});
    const auto messages = f.host.messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], v2 + " is not well-formed XML (line 9: mismatched tag); nothing imported.");
    EXPECT_EQ(messages[1], early + " is not well-formed XML (line 3: mismatched tag); nothing imported.");
    EXPECT_NE(messages[2].find(truncated + " is not well-formed XML (line "), std::string::npos) << messages[2];
    const auto rows = f.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].romName, "old.bin");
    EXPECT_EQ(rows[0].version, "1.0");
    EXPECT_FALSE(f.scratchFilesLeft());
    EXPECT_EQ(f.host.eventsOf("info"),
              (V{"Import completed: 1 file imported, 0 failed.", "Import completed: 0 files imported, 3 failed."}));
}

TEST(XmlDat, RecognitionAndFilesThatNameNoSystem) {
    ImportFixture f;
    const std::string noName = f.dat("noname.xml", datafile("<version>1</version>", "<game name=\"g\"><rom name=\"a\"/></game>"));
    const std::string noHeader =
        f.dat("noheader.xml", "<?xml version=\"1.0\"?><catalog><game name=\"m\"><rom name=\"a\"/></game></catalog>");
    const std::string empty = f.dat("empty.xml", "<datafile/>");
    const std::string slash = f.dat("slash.xml", datafile("<name>a/b</name>", "<game name=\"g\"><rom name=\"a\"/></game>"));
    // No declaration, only the root element: still XML.
    const std::string bare = f.dat("bare.xml", " \t<datafile><header><name>Bare</name></header><game name=\"g\">"
                                               "<rom name=\"r\" size=\"2\" crc=\"2\"/></game></datafile>");
    // An XML-looking text further in does not make a parenthesised file XML.
    const std::string paren = f.dat("p.dat", "clrmamepro (\n\tname P\n\tversion 1\n\tauthor \"<?xml\"\n)\n"
                                             "game (\n\tname g\n\trom ( name p size 1 crc 1 )\n)\n");
    f.import({noName, noHeader, empty, slash, bare, paren});
    const auto messages = f.host.messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], "No romset name found in " + noName + "; nothing imported.");
    EXPECT_EQ(messages[1], noHeader + " is XML but not a DAT (its root element is <catalog>); nothing imported.");
    EXPECT_EQ(messages[2], "No romset name found in " + empty + "; nothing imported.");
    EXPECT_NE(messages[3].find("\"a/b\""), std::string::npos);
    std::vector<std::string> systems;
    for (const RomRow& r : f.rows()) systems.push_back(r.system + ":" + r.romName);
    EXPECT_EQ(systems, (V{"Bare:r", "P:p"}));
}

TEST(XmlDat, EntitiesNeverReachOutsideTheFileNorExplode) {
    ImportFixture f;
    testing::writeFile(f.dir.file("secret.txt"), "SECRET");
    testing::writeFile(f.dir.file("evil.dtd"), "<!ENTITY author \"FROM DTD\">");
    const std::string external = f.dat(
        "ext.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile SYSTEM \"evil.dtd\" [\n"
                   "<!ENTITY ext SYSTEM \"secret.txt\">\n<!ENTITY % pe SYSTEM \"evil.dtd\">\n%pe;\n]>\n"
                   "<datafile><header><name>Ent</name><version>&#49;</version><author>a&ext;b</author></header>"
                   "<game name=\"g\"><rom name=\"&quot;q&apos;\" size=\"1\" crc=\"1\"/></game></datafile>");
    std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile [\n<!ENTITY l0 \"lol\">\n";
    for (int i = 1; i < 10; ++i)
        laughs += "<!ENTITY l" + std::to_string(i) + " \"" + [&] {
            std::string s;
            for (int k = 0; k < 10; ++k) s += "&l" + std::to_string(i - 1) + ";";
            return s;
        }() + "\">\n";
    laughs += "]>\n<datafile><header><name>&l9;</name></header></datafile>";
    const std::string bomb = f.dat("bomb.xml", laughs);
    f.import({external, bomb});

    const auto rows = f.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].system, "Ent");
    EXPECT_EQ(rows[0].version, "1");
    EXPECT_EQ(rows[0].author, "ab");
    EXPECT_EQ(rows[0].romName, "\"q'");
    const auto messages = f.host.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(bomb + " is not well-formed XML (line "), std::string::npos) << messages[0];
}

TEST(XmlDat, RowsWhoseNamesWouldLeaveTheirFolderAreRefusedTheRestIsStored) {
    ImportFixture f;
    // The declaration is line 1, <datafile> line 2, the header lines 3 to 7.
    const std::string path = f.dat("n.xml", datafile(kHeader,
                                                     "\t<game name=\"g\">\n"                          // 8
                                                     "\t\t<rom name=\"/abs/x\" size=\"1\" crc=\"1\"/>\n"  // 9
                                                     "\t\t<rom name=\"ok.bin\" size=\"1\" crc=\"2\"/>\n"
                                                     "\t</game>\n"
                                                     "\t<game name=\"..\">\n"
                                                     "\t\t<rom name=\"r.bin\" size=\"1\" crc=\"3\"/>\n"  // 13
                                                     "\t</game>\n"));
    f.import({path});
    const auto rows = f.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].game + "/" + rows[0].romName, "g/ok.bin");
    const auto messages = f.host.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].rfind("Line 9 of " + path + ": ROM \"/abs/x\" of game \"g\" was not imported: a ROM name", 0),
              0u)
        << messages[0];
    EXPECT_EQ(messages[1].rfind("Line 13 of " + path + ": ROM \"r.bin\" of game \"..\" was not imported: a game name",
                                0),
              0u)
        << messages[1];
    EXPECT_FALSE(f.scratchFilesLeft());
}

}  // namespace
}  // namespace quorvane
