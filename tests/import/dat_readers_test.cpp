// The three DAT readers, each case one import: the files, the rows stored and
// what the person was told.
#include <gtest/gtest.h>

#include "import_fixture.h"

namespace quorvane {
namespace {

using testing::ImportCase;
using testing::kAbsent;

const std::string kParen = "clrmamepro (\n\tname Sys\n\tversion 1.0\n\tauthor Me\n)\n";
const std::string kOne = "info: Import completed: 1 file imported, 0 failed.";

// A parenthesised block: its name line (and what follows it), one line per ROM.
std::string block(const std::string& name, std::initializer_list<std::string> roms, const char* kind = "game") {
    std::string out = std::string(kind) + " (\n\tname " + name + "\n";
    for (const std::string& r : roms) out += "\trom ( " + r + " )\n";
    return out + ")\n";
}

// A sectioned games row with the Windows-1252 separator.
std::string row(std::initializer_list<std::string> fields, const std::string& sep = "\xAC") {
    std::string out;
    for (const std::string& f : fields) out += sep + f;
    return out + sep + "\r\n";
}

std::string xml(const std::string& header, const std::string& body) {
    return "<?xml version=\"1.0\"?>\n<datafile>\n\t<header>\n" + header + "\t</header>\n" + body + "</datafile>\n";
}
const std::string kXmlHeader = "\t\t<name>Sys</name>\n\t\t<version>1.0</version>\n\t\t<author>Me</author>\n";

std::string laughs() {
    std::string out = "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile [\n<!ENTITY l0 \"lol\">\n";
    for (int i = 1; i < 10; ++i) {
        out += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) out += "&l" + std::to_string(i - 1) + ";";
        out += "\">\n";
    }
    return out + "]>\n<datafile><header><name>&l9;</name></header></datafile>";
}

const std::string kLong(300, 'x');
const std::string kCloneRow = row({"par", "P", "clone", "C", "a.bin", "1", "10"});
const std::string kParentRow = row({"par", "P", "par", "P", "b.bin", "22", "20"});

const ImportCase kCases[] = {
    {"parenthesised: one row and one too long",
     {{"long.dat", kParen + block("g", {"name " + kLong + " size 1 crc 1", "name a.bin size 1024 crc 0xABCDEF12"})}},
     {"[Sys|1.0|Me]", "g/a.bin:1024:abcdef12"},
     {"ROM " + kLong + " of game g in @/long.dat was not imported: the ROM name is longer than 255 bytes.", kOne}},
    // Quoted openers, nodump, disks, commas, CR and CRLF line ends, blocks
    // without a name line (the previous name holds), a file ending inside a block.
    {"parenthesised: lines go by their first tokens",
     {{"c.dat", "clrmamepro (\r\n\tname Sys\r\n\tversion 2\r\n\tauthor A\r\n)\r\ngame (\r\n\tname g1\r\n"
                "\tdescription \"not a game ( opener, nor a rom ( line, nor cloneof x\"\r\n\tmanufacturer cloneof\r\n"
                "\trom ( name \"quoted name.bin\" size 16 crc 1A2B3C4D md5 ABCD sha1 0xDEADBEEF )\r\n"
                "\trom ( name gone.bin size 16 crc 11111111 flags nodump )\r\n"
                "\tdisk ( name hd sha1 E6481C367AD24AA285E51C01221A169B1B74B15F )\r\n"
                "\trom ( name comma,split.bin size 0 crc 12345 )\r\n)\r\n\r\n"
                "resource (\r  name   bios\r  rom ( name b.bin size 8 crc 22222222 )\r)\r"
                "game (\n\trom ( name nameless.bin size 4 crc 33333333 )\n)\n"
                "game (\n    name last\n    rom ( name end.bin size 2 crc 44444444 )"}},
     {"[Sys|2|A]", "bios/b.bin:8:22222222", "bios/nameless.bin:4:33333333",
      "g1/quoted name.bin:16:1a2b3c4d:abcd:deadbeef", "g1/hd.chd:-:::e6481c367ad24aa285e51c01221a169b1b74b15f",
      "g1/comma:-:00012345", "last/end.bin:2:44444444"},
     {kOne}},
    // cloneof and romof naming one parent make a clone only; romof naming the
    // BIOS and cloneof the parent send each ROM to the set that holds it.
    {"parenthesised: a parent only where it holds the ROM",
     {{"p.dat", kParen + block("bios", {"name bios.bin size 10 crc aaaaaaaa"}, "resource") +
                    block("parent\n\tromof bios", {"name bios.bin merge bios.bin size 10 crc aaaaaaaa",
                                                   "name shared.bin size 20 crc bbbbbbbb",
                                                   "name other.bin size 30 crc cccccccc"}) +
                    block("clone\n\tcloneof parent\n\tromof parent",
                          {"name shared.bin merge shared.bin size 20 crc bbbbbbbb", "name own.bin size 20 crc bbbbbbbb",
                           "name other.bin size 31 crc cccccccc"}) +
                    block("clone2\n\tcloneof parent\n\tromof bios",
                          {"name bios.bin size 10 crc aaaaaaaa", "name shared.bin size 20 crc bbbbbbbb",
                           "name mine.bin size 40 crc dddddddd"}) +
                    block("orphan\n\tcloneof nowhere", {"name shared.bin size 20 crc bbbbbbbb"})}},
     {"[Sys|1.0|Me]", "bios/bios.bin:10:aaaaaaaa", "clone/shared.bin:20:bbbbbbbb:::parent", "clone/own.bin:20:bbbbbbbb",
      "clone/other.bin:31:cccccccc", "clone2/bios.bin:10:aaaaaaaa::::bios", "clone2/shared.bin:20:bbbbbbbb:::parent",
      "clone2/mine.bin:40:dddddddd", "orphan/shared.bin:20:bbbbbbbb", "parent/bios.bin:10:aaaaaaaa::::bios",
      "parent/shared.bin:20:bbbbbbbb", "parent/other.bin:30:cccccccc"},
     {kOne}},
    // A bare XML root element is still XML; an XML-looking value further in
    // does not make a parenthesised file XML; refname None is not sectioned.
    {"files refused, each with its reason",
     {{"noname.dat", "clrmamepro (\n\tversion 1\n)\n" + block("g", {"name a"})},
      {"junk.txt", "just some text\nwith lines\n"}, {"empty.dat", ""}, {"missing.dat", kAbsent},
      {"slash.dat", "clrmamepro (\n\tname a/b\n)\n" + block("g", {"name a size 1 crc 1"})},
      {"dots.dat", "clrmamepro ( name .. version 1 author x )\n" + block("g", {"name a size 1 crc 1"})},
      {"none.dat", "[EMULATOR]\nrefname=None\n[GAMES]\n" + row({"g", "", "", "", "a", "1", "1"})},
      {"nogames.dat", "[EMULATOR]\nrefname=Sys\n"},
      {"noname.xml", xml("<version>1</version>", "<game name='g'><rom name='a'/></game>")},
      {"noheader.xml", "<?xml version=\"1.0\"?><catalog><game name='m'><rom name='a'/></game></catalog>"},
      {"empty.xml", "<datafile/>"}, {"slash.xml", xml("<name>a/b</name>", "<game name='g'><rom name='a'/></game>")},
      {"bare.xml", " \t<datafile><header><name>Bare</name></header><game name='g'>"
                   "<rom name='r' size='2' crc='2'/></game></datafile>"},
      {"p.dat", "clrmamepro (\n\tname P\n\tversion 1\n\tauthor \"<?xml\"\n)\n" + block("g", {"name p size 1 crc 1"})}},
     {"[Bare||]", "g/r:2:00000002", "[P|1|<?xml]", "g/p:1:00000001"},
     {"No romset name found in @/noname.dat; nothing imported.", "@/junk.txt is not a DAT file; nothing imported.",
      "@/empty.dat is not a DAT file; nothing imported.", "Cannot open @/missing.dat (file not found)",
      "Romset name \"a/b\" cannot be used as a file name; it was refused. Nothing of @/slash.dat was imported.",
      "Romset name \"..\"*", "@/none.dat is not a DAT file*", "No ROMs found in @/nogames.dat; nothing imported.",
      "No romset name found in @/noname.xml*",
      "@/noheader.xml is XML but not a DAT (its root element is <catalog>); nothing imported.",
      "No romset name found in @/empty.xml*", "Romset name \"a/b\"*",
      "info: Import completed: 2 files imported, 12 failed.", "failedSteps: 12"}},
    // The header takes lines 1 to 5, the first block 6 to 15, then four lines
    // each. A nameless ROM could never be had.
    {"parenthesised: names that would leave their folder",
     {{"names.dat", kParen +
                        block("ok", {"name a.bin size 1 crc 1", "name ../../x size 1 crc 2", "name /abs/x size 1 crc 3",
                                     "name .. size 1 crc 4", "name dir\\x.bin size 1 crc 5",
                                     "name sub/inner.bin size 1 crc 6", "size 1 crc 7"}) +
                        block("\"a/b\"", {"name r size 1 crc 8"}) + block("\"\"", {"name s size 1 crc 9"}) +
                        block("..", {"name t size 1 crc 10"}) + block(".hidden", {"name u size 1 crc 11"})}},
     {"[Sys|1.0|Me]", "ok/a.bin:1:00000001", "ok/sub/inner.bin:1:00000006"},
     {"Line 9 of @/names.dat: ROM \"../../x\" of game \"ok\" was not imported: a ROM name must be a relative path "
      "without empty, \".\" or \"..\" steps and without backslashes.",
      "Line 10 of @/names.dat: ROM \"/abs/x\" of game \"ok\" was not imported: a ROM name*",
      "Line 11 of @/names.dat: ROM \"..\" of game \"ok\" was not imported: a ROM name*",
      "Line 12 of @/names.dat: ROM \"dir\\x.bin\" of game \"ok\" was not imported: a ROM name*",
      "Line 14 of @/names.dat: a ROM of game \"ok\" has no name and was not imported.",
      "Line 18 of @/names.dat: ROM \"r\" of game \"a/b\" was not imported: a game name must be usable as an archive "
      "name: not empty, not starting with \".\", without \"/\".",
      "Line 22 of @/names.dat: ROM \"s\" of game \"\" was not imported: a game name*",
      "Line 26 of @/names.dat: ROM \"t\" of game \"..\" was not imported: a game name*",
      "Line 30 of @/names.dat: ROM \"u\" of game \".hidden\" was not imported: a game name*", kOne}},

    // Fields one, five, six and seven of a row; the header takes lines 1 to 6.
    {"sectioned: fields and names that would leave their folder",
     {{"s.dat", "[CREDITS]\r\nAuthor=Me\r\nVersion=2\r\n[EMULATOR]\r\nrefname=SysA\r\n[GAMES]\r\n" +
                    row({"g", "", "", "", "..\\x.bin", "1", "1"}) + row({".", "", "", "", "a.bin", "2", "1"}) +
                    row({"g", "Game", "g2", "G", "roma.bin", "ABCDEF12", "4096"})}},
     {"[SysA|2|Me]", "g/roma.bin:4096:abcdef12"},
     {"Line 7 of @/s.dat: ROM \"..\\x.bin\" of game \"g\" was not imported: a ROM name*",
      "Line 8 of @/s.dat: ROM \"a.bin\" of game \".\" was not imported: a game name*", kOne}},
    // Repeats next to each other (also across a blank line) once, apart twice;
    // a clone's ROM under field 1; a UTF-8 separator; a short row; no
    // separator after field 7; missing keys "None"; resources left out.
    {"sectioned: rows that count and rows that do not",
     {{"s.dat", "[emulator]\nREFNAME=Sys\n[GAMES]\n; a comment\n" + kCloneRow + kCloneRow + "\r\n" + kCloneRow +
                    kParentRow + kCloneRow + "   " + kParentRow +
                    row({"utf", "U", "utf", "U", "u.bin", "33", "30"}, "\xC2\xAC") + "\xAC" "short\xAC" "x\r\n"
                    "\xAC" "g\xAC" "d\xAC" "g\xAC" "d\xAC" "n.bin\xAC" "44\xAC" "50\r\n[RESOURCES]\n" +
                    row({"res", "R", "res", "R", "r.bin", "55", "60"})}},
     {"[Sys|None|None]", "par/a.bin:10:00000001", "par/b.bin:20:00000022", "par/a.bin:10:00000001",
      "par/b.bin:20:00000022", "utf/u.bin:30:00000033", "g/n.bin:-:00000044"},
     {"Line 13 of @/s.dat: a ROM of game \"short\" has no name and was not imported.", kOne}},

    // A byte-order mark and blank lines before the declaration; header values
    // wrapped over lines; no author; nodump, parts and samples left out.
    {"xml: sets and ROMs in the other readers' text forms",
     {{"sys.xml", "\xEF\xBB\xBF\r\n\n" +
                      xml("\t\t<description>ignored</description>\n\t\t<name>\n\t\t\tSys &amp; Co\n\t\t</name>\n"
                          "\t\t<version>2</version>\n\t\t<clrmamepro forcepacking=\"zip\"/>\n",
                          "<game name='g&lt;1&gt;'><description>Game (rom ( text ) cloneof x)</description>\n"
                          "<rom name='a.bin' size='1024' crc='0xABCDEF' md5='ABCD' sha1='0xDEADBEEF'/>\n"
                          "<rom name='gone.bin' size='16' crc='11111111' status='nodump'/>\n"
                          "<rom name='bad.bin' size='sixteen' crc='1234abcd5678' status='baddump'/>\n"
                          "<disk name='hd' md5='0F0F' sha1='E6481C367AD24AA285E51C01221A169B1B74B15F'/>\n"
                          "<sample name='s.wav'/>\n<part><rom name='deeper.bin' size='1'/></part>\n</game>\n"
                          "<machine name='bios' isbios='yes'><rom name='b.bin' size='8' crc='2222'/></machine>\n"
                          "<machine name='dev' isdevice='yes'><device_ref name='x'/>"
                          "<rom name='d.bin' size='0' crc='33333333'/></machine>\n<machine name='empty'/>\n")}},
     {"[Sys & Co|2|]", "bios/b.bin:8:00002222", "dev/d.bin:-:33333333", "g<1>/a.bin:1024:00abcdef:abcd:deadbeef",
      "g<1>/bad.bin:-:abcd5678", "g<1>/hd.chd:-::0f0f:e6481c367ad24aa285e51c01221a169b1b74b15f"},
     {kOne}},
    // v2 closes a ROM with the wrong tag on line 9; early.xml stops before its
    // header ends (blank lines count); cut.xml ends inside its first set.
    {"xml: a malformed file stores nothing and keeps the old system",
     {{"v1.xml", xml(kXmlHeader, "<game name='g'><rom name='old.bin' size='1' crc='1'/></game>\n")},
      {},
      {"v2.xml", xml("<name>Sys</name><version>2.0</version>\n",
                     "<game name='n0'><rom name='new.bin' size='1' crc='2'/></game>\n"
                     "<game name='n1'><rom name='new.bin' size='1' crc='2'/></game>\n"
                     "<game name='n2'><rom name='new.bin' size='1' crc='2'/></game>\n"
                     "<game name='bad'><rom name='x'></game>\n")},
      {"early.xml", "\n\n<datafile><header><name>Other</nam></header></datafile>"},
      {"cut.xml", "<datafile><header><name>Cut</name></header><game name='t'><rom name='t.bin'"}},
     {"[Sys|1.0|Me]", "g/old.bin:1:00000001"},
     {kOne, "askYesIgnore: Romset Sys already exists [version: 1.0]. Do you want to replace it with version 2.0?",
      "@/v2.xml is not well-formed XML (line 9: mismatched tag); nothing imported.",
      "@/early.xml is not well-formed XML (line 3: mismatched tag); nothing imported.",
      "@/cut.xml is not well-formed XML (line *", "info: Import completed: 0 files imported, 3 failed.",
      "failedSteps: 3"},
     {true}},
    {"xml: entities never reach outside the file nor explode",
     {{"~secret.txt", "SECRET"}, {"~evil.dtd", "<!ENTITY author \"FROM DTD\">"},
      {"ext.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile SYSTEM \"evil.dtd\" [\n"
                  "<!ENTITY ext SYSTEM \"secret.txt\">\n<!ENTITY % pe SYSTEM \"evil.dtd\">\n%pe;\n]>\n<datafile>"
                  "<header><name>Ent</name><version>&#49;</version><author>a&ext;b</author></header>"
                  "<game name='g'><rom name='&quot;q&apos;' size='1' crc='1'/></game></datafile>"},
      {"bomb.xml", laughs()}},
     {"[Ent|1|ab]", "g/\"q':1:00000001"},
     {"@/bomb.xml is not well-formed XML (line *", "info: Import completed: 1 file imported, 1 failed.",
      "failedSteps: 1"}},
    // The declaration is line 1, <datafile> line 2, the header lines 3 to 7.
    {"xml: names that would leave their folder",
     {{"n.xml", xml(kXmlHeader, "<game name=\"g\">\n<rom name=\"/abs/x\" size=\"1\" crc=\"1\"/>\n"  // 8, 9
                                "<rom name=\"ok.bin\" size=\"1\" crc=\"2\"/>\n</game>\n<game name=\"..\">\n"
                                "<rom name=\"r.bin\" size=\"1\" crc=\"3\"/>\n</game>\n")}},  // 13
     {"[Sys|1.0|Me]", "g/ok.bin:1:00000002"},
     {"Line 9 of @/n.xml: ROM \"/abs/x\" of game \"g\" was not imported: a ROM name*",
      "Line 13 of @/n.xml: ROM \"r.bin\" of game \"..\" was not imported: a game name*", kOne}},
    // A copier-header rule the program knows, one it does not, and a
    // nameless ROM beside a named one.
    {"a header rule is named and a nameless ROM skipped",
     {{"nes.xml", "<?xml version=\"1.0\"?>\n<datafile>\n<header><name>NES</name><version>1</version>"
                  "<author>a</author><clrmamepro header=\"No-Intro_NES.xml\"/></header>\n<game name=\"G\">\n"
                  "<rom name=\"\" size=\"4\" crc=\"01020304\"/>\n<rom name=\"g.nes\" size=\"4\" crc=\"0a0b0c0d\"/>\n"
                  "</game>\n</datafile>\n"},
      {"other.dat", "clrmamepro (\n\tname Other\n\theader Custom_GBA.xml\n\tversion 2\n\tauthor b\n)\n" +
                        block("H", {"name h.bin size 4 crc 11223344"})}},
     {"[NES|1|a]", "G/g.nes:4:0a0b0c0d", "[Other|2|b]", "H/h.bin:4:11223344"},
     {"@/nes.xml names the header rule \"No-Intro_NES.xml\": files are matched with and without their iNES header.",
      "Line 5 of @/nes.xml: a ROM of game \"G\" has no name and was not imported.",
      "@/other.dat names the header rule \"Custom_GBA.xml\", which is not known here; files are matched as they are "
      "and without any known header.",
      "info: Import completed: 2 files imported, 0 failed."}},
};

TEST(DatReaders, Cases) {
    for (const ImportCase& c : kCases) testing::runCase(c);
}

}  // namespace
}  // namespace quorvane
