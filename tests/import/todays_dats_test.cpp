// DATs as collectors download them today: long credits, folders and zipped
// packs of DATs, MAME's list output, software lists, other encodings.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "archive/zip_writer.h"
#include "core/file_util.h"
#include "import/dat_sources.h"
#include "import_fixture.h"

namespace quorvane {
namespace {

using testing::ImportFixture;
using testing::realDatPath;
using testing::TempDir;
using V = std::vector<std::string>;

std::string xmlDat(const std::string& system, const std::string& author, const std::string& games) {
    return "<?xml version=\"1.0\"?>\n<datafile>\n<header><name>" + system + "</name><version>1</version><author>" +
           author + "</author></header>\n" + games + "</datafile>\n";
}

std::string oneGame(const std::string& game, const std::string& rom, const std::string& crc) {
    return "<game name=\"" + game + "\"><rom name=\"" + rom + "\" size=\"4\" crc=\"" + crc + "\"/></game>\n";
}

// Systems and their row counts, as stored.
std::map<std::string, int> systemRows(ImportFixture& f) {
    std::map<std::string, int> out;
    for (const RomRow& r : f.rows()) ++out[r.system];
    return out;
}

void makeZip(const std::string& zip, const std::map<std::string, std::string>& entries, const TempDir& scratch) {
    ZipWriter writer(zip);
    ASSERT_EQ(writer.open(), ZipStatus::Ok);
    for (const auto& [name, content] : entries) {
        const std::string source = scratch.file("zip-source");
        testing::writeFile(source, content);
        ASSERT_EQ(writer.addFile(source, name), ZipStatus::Ok) << name;
    }
    writer.close();
}

TEST(TodaysDats, ALongAuthorIsShortenedAtACharacterBoundaryWhileOverlongKeysAreRefused) {
    ImportFixture f;
    // 127 two-byte characters and one more: byte 255 would cut the last one.
    std::string credits;
    for (int i = 0; i < 128; ++i) credits += "\xC3\xA9";
    const std::string noIntro =
        f.dat("nointro.xml", xmlDat("Nintendo - NES", credits, oneGame("Game (USA)", "g.nes", "1")));
    const std::string longSystem = f.dat("sys.xml", xmlDat(std::string(256, 's'), "a", oneGame("g", "r", "2")));
    const std::string longGame =
        f.dat("game.xml", xmlDat("Other", "a", oneGame(std::string(256, 'g'), "r", "3") + oneGame("ok", "r", "4")));
    f.import({noIntro, longSystem, longGame});

    const auto rows = f.rowsOf("Game (USA)");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].author, credits.substr(0, 254));
    EXPECT_EQ(f.rowsOf("ok").size(), 1u);
    EXPECT_EQ(f.host.messages(),
              (V{"The author in " + noIntro + " is longer than 255 bytes; it is stored as its first 254 bytes.",
                 "The romset name in " + longSystem + " is longer than 255 bytes; nothing imported.",
                 "ROM r of game " + std::string(256, 'g') + " in " + longGame +
                     " was not imported: the game name is longer than 255 bytes."}));
    EXPECT_EQ(f.host.eventsOf("info"), V{"Import completed: 2 files imported, 1 failed."});
}

TEST(TodaysDats, AFolderIsReadRecursivelyInNameOrderAndAZipForEachDatInside) {
    ImportFixture f;
    const std::string tree = f.dir.file("dats");
    testing::writeFile(tree + "/b/Sega.xml", xmlDat("Sega", "a", oneGame("s", "s.bin", "1")));
    testing::writeFile(tree + "/a/Atari.DAT",
                       "clrmamepro (\n\tname Atari\n)\ngame (\n\tname t\n\trom ( name t.bin size 4 crc 2 )\n)\n");
    testing::writeFile(tree + "/readme.txt", "not a DAT");
    testing::writeFile(tree + "/c/empty.dat", "");
    TempDir scratch;
    const std::string pack = f.dir.file("pack.zip");
    makeZip(pack,
            {{"No-Intro/Nintendo - NES.dat", xmlDat("NES", "a", oneGame("n", "n.nes", "3"))},
             {"No-Intro/Nintendo - SNES.xml", xmlDat("SNES", "a", oneGame("m", "m.sfc", "4"))},
             {"index.txt", "not a DAT"}},
            scratch);
    const std::string noDats = f.dir.file("docs.zip");
    makeZip(noDats, {{"readme.txt", "x"}}, scratch);
    const std::string damaged = f.dat("damaged.zip", std::string("PK\x03\x04", 4) + "truncated");
    std::string packBefore;
    ASSERT_TRUE(readWholeFile(pack, packBefore));

    const auto sources = findDatSources({tree, pack});
    V paths;
    for (const DatSource& s : sources) paths.push_back(s.path);
    EXPECT_EQ(paths, (V{tree + "/a/Atari.DAT", tree + "/b/Sega.xml", tree + "/c/empty.dat",
                        pack + "/No-Intro/Nintendo - NES.dat", pack + "/No-Intro/Nintendo - SNES.xml"}));

    f.import({tree, pack, noDats, damaged, f.dir.file("nothing")});
    EXPECT_EQ(systemRows(f), (std::map<std::string, int>{{"Atari", 1}, {"Sega", 1}, {"NES", 1}, {"SNES", 1}}));
    const auto messages = f.host.messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], tree + "/c/empty.dat is not a DAT file; nothing imported.");
    EXPECT_EQ(messages[1], noDats + " holds no DAT file (*.dat, *.xml); nothing imported.");
    EXPECT_NE(messages[2].find(damaged + " is a damaged zip ("), std::string::npos) << messages[2];
    EXPECT_NE(messages[3].find("nothing (file not found)"), std::string::npos) << messages[3];
    EXPECT_EQ(f.host.eventsOf("info"), V{"Import completed: 4 files imported, 4 failed."});

    // The pack is the user's: unchanged, and no unpacked copy stays behind.
    std::string packAfter;
    ASSERT_TRUE(readWholeFile(pack, packAfter));
    EXPECT_EQ(packAfter, packBefore);
    EXPECT_FALSE(pathExists(f.settings.databasesDir + "DatUnpack"));
    EXPECT_FALSE(f.scratchFilesLeft());

    ImportFixture empty;
    ASSERT_TRUE(makeFolders(empty.dir.file("none")));
    empty.import({empty.dir.file("none")});
    EXPECT_EQ(empty.host.messages(),
              V{"No DAT file (*.dat, *.xml) in " + empty.dir.file("none") + "; nothing imported."});
}

TEST(TodaysDats, MameListOutputIsOneSystemNamedByItsBuild) {
    ImportFixture f;
    const std::string path =
        f.dat("mame.xml",
              "<?xml version=\"1.0\"?>\n<!DOCTYPE mame [\n<!ELEMENT mame (machine+)>\n]>\n"
              "<mame build=\"0.262 (mame0262)\" debug=\"no\" mameconfig=\"10\">\n"
              "<machine name=\"neogeo\" isbios=\"yes\"><biosset name=\"euro\"/>"
              "<rom name=\"sp-s2.sp1\" bios=\"euro\" size=\"131072\" crc=\"9036d879\"/></machine>\n"
              "<machine name=\"z80\" isdevice=\"yes\" runnable=\"no\"/>\n"
              "<machine name=\"mslug\" romof=\"neogeo\"><device_ref name=\"z80\"/>"
              "<rom name=\"sp-s2.sp1\" merge=\"sp-s2.sp1\" bios=\"euro\" size=\"131072\" crc=\"9036d879\"/>"
              "<rom name=\"201-p1.p1\" size=\"2097152\" crc=\"08d8daa5\"/>"
              "<rom name=\"missing.bin\" size=\"1024\" status=\"nodump\"/>"
              "<disk name=\"mslugcd\" sha1=\"0123456789abcdef0123456789abcdef01234567\"/></machine>\n"
              "</mame>\n");
    f.import({path});
    EXPECT_TRUE(f.host.messages().empty()) << f.host.messages().front();
    const auto rows = f.rowsOf("mslug");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].system, "MAME");
    EXPECT_EQ(rows[0].version, "0.262 (mame0262)");
    V names;
    for (const RomRow& r : rows) names.push_back(r.romName + (r.romOf.empty() ? "" : " of " + r.romOf));
    EXPECT_EQ(names, (V{"sp-s2.sp1 of neogeo", "201-p1.p1", "mslugcd"}));
    EXPECT_EQ(f.rowsOf("neogeo").size(), 1u);
}

TEST(TodaysDats, SoftwareListsImportEachListAsASystemWithItsPartsRoms) {
    ImportFixture f;
    const std::string advision = realDatPath("softlist/mame-softlist-advision.xml");
    if (advision.empty()) GTEST_SKIP() << "no shared DAT folder";
    const std::string a7800 = realDatPath("softlist/mame-softlist-a7800.xml");
    f.import({advision, a7800});
    EXPECT_TRUE(f.host.messages().empty()) << f.host.messages().front();
    const auto defender = f.rowsOf("defender");
    ASSERT_EQ(defender.size(), 1u);
    EXPECT_EQ(defender[0].system, "advision");
    EXPECT_EQ(defender[0].romName, "defender.bin");
    EXPECT_EQ(defender[0].size, "4096");
    EXPECT_EQ(defender[0].crc, "3e280096");
    const auto counts = systemRows(f);
    EXPECT_EQ(counts.at("advision"), 5);
    EXPECT_GT(counts.at("a7800"), 100);

    // Several lists in one file: each is its own system; a No keeps one, and
    // a broken list leaves the lists before it stored.
    const std::string list =
        "<softwarelist name=\"%\"><software name=\"s%\"><part name=\"cart\">"
        "<dataarea name=\"rom\" size=\"0x10\"><rom name=\"%.bin\" size=\"0x10\" crc=\"1\"/>"
        "<rom size=\"0x10\" offset=\"0x10\" loadflag=\"continue\"/></dataarea></part></software>"
        "</softwarelist>\n";
    auto named = [&](const std::string& name) {
        std::string out = list;
        for (size_t at; (at = out.find('%')) != std::string::npos;) out.replace(at, 1, name);
        return out;
    };
    ImportFixture g;
    g.import({g.dat("old.xml",
                    "<softwarelist name=\"two\"><software name=\"old\"><rom name=\"o\" size=\"1\" crc=\"9\"/>"
                    "</software></softwarelist>")});
    g.host.answers = {false};  // keep "two"
    const std::string lists =
        g.dat("lists.xml", "<softwarelists>\n" + named("one") + named("two") + named("three") + "</softwarelists>\n");
    const std::string broken =
        g.dat("broken.xml", "<softwarelists>\n" + named("four") + "<softwarelist name=\"five\"><software>\n");
    g.import({lists, broken});
    EXPECT_EQ(systemRows(g), (std::map<std::string, int>{{"one", 1}, {"two", 1}, {"three", 1}, {"four", 1}}));
    EXPECT_EQ(g.rowsOf("old").size(), 1u);
    const auto messages = g.host.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("(line 4: no element found); the software lists before line 4 were imported."),
              std::string::npos)
        << messages[0];
    EXPECT_EQ(g.host.eventsOf("info").back(), "Import completed: 1 file imported, 1 failed.");
}

TEST(TodaysDats, Utf16IsReadWhenItIsXmlAndRefusedWithAReasonOtherwise) {
    auto utf16le = [](const std::string& ascii) {
        std::string out = "\xFF\xFE";
        for (char c : ascii) out += std::string{c, '\0'};
        return out;
    };
    ImportFixture f;
    const std::string xml = f.dat("u16.xml", utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n" +
                                                     xmlDat("Wide", "a", oneGame("w", "w.bin", "5")).substr(22)));
    const std::string text = f.dat("u16.dat", utf16le("clrmamepro (\n\tname Wide\n)\n"));
    const std::string comment = f.dat(
        "comment.xml", "<!-- made by hand -->\n" + xmlDat("Commented", "a", oneGame("c", "c.bin", "6")).substr(22));
    f.import({xml, text, comment});
    EXPECT_EQ(systemRows(f), (std::map<std::string, int>{{"Wide", 1}, {"Commented", 1}}));
    EXPECT_EQ(f.host.messages(), V{text + " is UTF-16 text but not XML; only XML DATs can be read in UTF-16. "
                                          "Save it as UTF-8 to import it; nothing imported."});
}

}  // namespace
}  // namespace quorvane
