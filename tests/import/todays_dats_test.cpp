// DATs as collectors download them today: long credits, folders and zipped
// packs of DATs, MAME's list output, software lists, other encodings.
#include <gtest/gtest.h>

#include <map>

#include "archive/zip_writer.h"
#include "import/dat_sources.h"
#include "import_fixture.h"

namespace quorvane {
namespace {

using testing::ImportCase;
using testing::kAbsent;
using testing::V;

std::string xmlDat(const std::string& system, const std::string& author, const std::string& games,
                   const std::string& declaration = "<?xml version=\"1.0\"?>") {
    return declaration + "\n<datafile>\n<header><name>" + system + "</name><version>1</version><author>" + author +
           "</author></header>\n" + games + "</datafile>\n";
}

std::string oneGame(const std::string& game, const std::string& rom, const std::string& crc) {
    return "<game name=\"" + game + "\"><rom name=\"" + rom + "\" size=\"4\" crc=\"" + crc + "\"/></game>\n";
}

std::string utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

std::string softwareList(const std::string& name) {
    return "<softwarelist name=\"" + name + "\"><software name=\"s" + name + "\"><part name=\"cart\"><dataarea "
           "name=\"rom\" size=\"0x10\"><rom name=\"" + name + ".bin\" size=\"0x10\" crc=\"1\"/><rom size=\"0x10\" "
           "offset=\"0x10\" loadflag=\"continue\"/></dataarea></part></software></softwarelist>\n";
}

// 127 two-byte characters and one more: byte 255 would cut the last one.
std::string repeat(const std::string& s, int n) { return n ? s + repeat(s, n - 1) : ""; }
const std::string kCredits = repeat("\xC3\xA9", 128);

const ImportCase kCases[] = {
    {"a long author is shortened at a character boundary; overlong keys are refused",
     {{"nointro.xml", xmlDat("Nintendo - NES", kCredits, oneGame("Game (USA)", "g.nes", "1"))},
      {"sys.xml", xmlDat(std::string(256, 's'), "a", oneGame("g", "r", "2"))},
      {"game.xml", xmlDat("Other", "a", oneGame(std::string(256, 'g'), "r", "3") + oneGame("ok", "r", "4"))}},
     {"[Nintendo - NES|1|" + kCredits.substr(0, 254) + "]", "Game (USA)/g.nes:4:00000001", "[Other|1|a]",
      "ok/r:4:00000004"},
     {"The author in @/nointro.xml is longer than 255 bytes; it is stored as its first 254 bytes.",
      "The romset name in @/sys.xml is longer than 255 bytes; nothing imported.",
      "ROM r of game " + std::string(256, 'g') + " in @/game.xml was not imported: the game name is longer than 255 "
      "bytes.",
      "info: Import completed: 2 files imported, 1 failed.", "failedSteps: 1"}},
    {"MAME's list output is one system named by its build",
     {{"mame.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE mame [\n<!ELEMENT mame (machine+)>\n]>\n"
                   "<mame build=\"0.262 (mame0262)\" debug=\"no\" mameconfig=\"10\">\n"
                   "<machine name='neogeo' isbios='yes'><biosset name='euro'/>"
                   "<rom name='sp-s2.sp1' bios='euro' size='131072' crc='9036d879'/></machine>\n"
                   "<machine name='z80' isdevice='yes' runnable='no'/>\n<machine name='mslug' romof='neogeo'>"
                   "<device_ref name='z80'/><rom name='sp-s2.sp1' merge='sp-s2.sp1' bios='euro' size='131072' "
                   "crc='9036d879'/><rom name='201-p1.p1' size='2097152' crc='08d8daa5'/><rom name='missing.bin' "
                   "size='1024' status='nodump'/><disk name='mslugcd' sha1='0123456789abcdef0123456789abcdef01234567'/>"
                   "</machine>\n</mame>\n"}},
     {"[MAME|0.262 (mame0262)|]", "mslug/sp-s2.sp1:131072:9036d879::::neogeo", "mslug/201-p1.p1:2097152:08d8daa5",
      "mslug/mslugcd.chd:-:::0123456789abcdef0123456789abcdef01234567", "neogeo/sp-s2.sp1:131072:9036d879"},
     {"info: Import completed: 1 file imported, 0 failed."}},
    // Each list is its own system; a No keeps one, and a broken list leaves
    // the lists before it stored.
    {"several software lists in one file",
     {{"old.xml", "<softwarelist name='two'><software name='old'><rom name='o' size='1' crc='9'/></software>"
                  "</softwarelist>"},
      {},
      {"lists.xml",
       "<softwarelists>\n" + softwareList("one") + softwareList("two") + softwareList("three") + "</softwarelists>\n"},
      {"broken.xml", "<softwarelists>\n" + softwareList("four") + "<softwarelist name=\"five\"><software>\n"}},
     {"[four||]", "sfour/four.bin:16:00000001", "[one||]", "sone/one.bin:16:00000001", "[three||]",
      "sthree/three.bin:16:00000001", "[two||]", "old/o:1:00000009"},
     {"info: Import completed: 1 file imported, 0 failed.",
      "askYesIgnore: Romset two already exists [version: ]. Do you want to replace it with version ?",
      "@/broken.xml is not well-formed XML (line 4: no element found); the software lists before line 4 were imported.",
      "info: Import completed: 1 file imported, 1 failed.", "failedSteps: 1"},
     {false}},
    {"UTF-16 is read when it is XML and refused with a reason otherwise",
     {{"u16.xml", utf16le(xmlDat("Wide", "a", oneGame("w", "w.bin", "5"), "<?xml version='1.0' encoding='UTF-16'?>"))},
      {"u16.dat", utf16le("clrmamepro (\n\tname Wide\n)\n")},
      {"comment.xml", xmlDat("Commented", "a", oneGame("c", "c.bin", "6"), "<!-- made by hand -->")}},
     {"[Commented|1|a]", "c/c.bin:4:00000006", "[Wide|1|a]", "w/w.bin:4:00000005"},
     {"@/u16.dat is UTF-16 text but not XML; only XML DATs can be read in UTF-16. Save it as UTF-8 to import it; "
      "nothing imported.",
      "info: Import completed: 2 files imported, 1 failed.", "failedSteps: 1"}},
};

TEST(TodaysDats, Cases) {
    for (const ImportCase& c : kCases) testing::runCase(c);
}

// The bytes of a zip holding the entries.
std::string zipOf(const std::map<std::string, std::string>& entries) {
    testing::TempDir scratch;
    ZipWriter writer(scratch.file("z.zip"));
    EXPECT_EQ(writer.open(), ZipStatus::Ok);
    for (const auto& [name, content] : entries) {
        testing::writeFile(scratch.file("entry"), content);
        EXPECT_EQ(writer.addFile(scratch.file("entry"), name), ZipStatus::Ok) << name;
    }
    writer.close();
    return testing::readFile(scratch.file("z.zip"));
}

TEST(TodaysDats, AFolderIsReadRecursivelyInNameOrderAndAZipForEachDatInside) {
    testing::TempDir d;
    testing::writeFile(d.file("t/b/x.xml"), "");
    testing::writeFile(d.file("t/a/y.DAT"), "");
    testing::writeFile(d.file("t/z.txt"), "");
    testing::writeFile(d.file("p.zip"), zipOf({{"In/a.dat", ""}, {"In/b.xml", ""}, {"i.txt", ""}}));
    V paths;
    for (const DatSource& s : findDatSources({d.file("t"), d.file("p.zip")})) paths.push_back(s.path);
    EXPECT_EQ(paths, (V{d.file("t/a/y.DAT"), d.file("t/b/x.xml"), d.file("p.zip/In/a.dat"), d.file("p.zip/In/b.xml")}));

    testing::runCase(
        {"folders and zips",
         {{"~dats/b/Sega.xml", xmlDat("Sega", "a", oneGame("s", "s.bin", "1"))},
          {"~dats/a/Atari.DAT", "clrmamepro (\n\tname Atari\n)\ngame (\n\tname t\n\trom ( name t.bin size 4 crc 2 )"},
          {"~dats/readme.txt", "not a DAT"}, {"~dats/c/empty.dat", ""}, {"~none/readme.txt", "x"}, {"dats", kAbsent},
          {"pack.zip", zipOf({{"No-Intro/Nintendo - NES.dat", xmlDat("NES", "a", oneGame("n", "n.nes", "3"))},
                              {"No-Intro/Nintendo - SNES.xml", xmlDat("SNES", "a", oneGame("m", "m.sfc", "4"))},
                              {"index.txt", "not a DAT"}})},
          {"docs.zip", zipOf({{"readme.txt", "x"}})}, {"damaged.zip", std::string("PK\x03\x04", 4) + "truncated"},
          {"nothing", kAbsent}, {"none", kAbsent}},
         {"[Atari||]", "t/t.bin:4:00000002", "[NES|1|a]", "n/n.nes:4:00000003", "[SNES|1|a]", "m/m.sfc:4:00000004",
          "[Sega|1|a]", "s/s.bin:4:00000001"},
         {"@/dats/c/empty.dat is not a DAT file; nothing imported.",
          "@/docs.zip holds no DAT file (*.dat, *.xml); nothing imported.", "@/damaged.zip is a damaged zip (*",
          "Cannot open @/nothing (file not found)", "No DAT file (*.dat, *.xml) in @/none; nothing imported.",
          "info: Import completed: 4 files imported, 5 failed.", "failedSteps: 5"}});
}

}  // namespace
}  // namespace quorvane
