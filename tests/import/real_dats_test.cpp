// The readers on real, unmodified DAT files.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>

#include "import_fixture.h"

namespace quorvane {
namespace {

using testing::ImportFixture;
using testing::V;

// `nameless`: ROMs without a name, each left out with one message.
std::vector<RomRow> importRows(ImportFixture& f, const std::string& path, size_t nameless = 0) {
    f.import({path});
    V said = f.said();
    const auto isNameless = [](const std::string& l) { return l.ends_with("has no name and was not imported."); };
    EXPECT_EQ(std::erase_if(said, isNameless), nameless);
    EXPECT_EQ(said, V{"info: Import completed: 1 file imported, 0 failed."});
    return f.rows();
}

// Digest lines (ending "*": prefixes), each as many times as rows have it.
struct RealDat {
    const char* path;
    size_t rows, withParent;
    V samples;
    size_t nameless = 0;
};

void PrintTo(const RealDat& d, std::ostream* os) { *os << d.path; }

class RealDats : public ::testing::TestWithParam<RealDat> {};

TEST_P(RealDats, StoreTheirRowsWithTheirValues) {
    const RealDat& d = GetParam();
    REAL_DAT(path, d.path);
    ImportFixture f;
    const auto rows = importRows(f, path, d.nameless);
    ASSERT_EQ(rows.size(), d.rows);
    size_t withParent = 0;
    for (const RomRow& r : rows) withParent += !r.cloneOf.empty() || !r.romOf.empty();
    EXPECT_EQ(withParent, d.withParent);
    const V digest = testing::digest(rows);
    for (const std::string& s : d.samples) {
        const std::string want = s.substr(0, s.find('*'));
        const auto same = [&](const std::string& l) { return want == s ? l == want : l.rfind(want, 0) == 0; };
        EXPECT_EQ(std::count_if(digest.begin(), digest.end(), same), std::count(d.samples.begin(), d.samples.end(), s))
            << s;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, RealDats,
    ::testing::Values(
        // 685 ROM lines and 4 disks ("<name>.chd", no size); merge tokens give the 250 parents.
        RealDat{"parenthesised/logiqx-zinc-v1.1.dat", 689, 250,
                {"[ZiNc|20050731|Logiqx]",
                 "starglad/coh-1000c.353:524288:50033af6::486d92ff6c7f1e54f8e0ef41cd9116eca0e10e1a::cpzn1",
                 "weddingr/weddingr.chd:-:::e6481c367ad24aa285e51c01221a169b1b74b15f"}},
        RealDat{"xml/logiqx-zinc-v1.1.xml.dat", 689, 250, {"[ZiNc|20050731|Logiqx]"}},
        RealDat{"sectioned/logiqx-zinc-v1.1.dat", 678, 0, {"[ZiNc|20050731|Logiqx]"}},
        // 661 ROMs, 34 never dumped; no machine flagged isbios, none naming another.
        RealDat{"xml/progettosnaps-mame-bios-0.287.xml.dat", 627, 0,
                {"[MAME|1.0|AntoPISA]", "3dobios/goldstar.bin:1048576:b6f5028b::c4a2e5336f77fb5f743de1eea2cda43675ee2de7"}},
        RealDat{"parenthesised/libretro-lowres-nx.dat", 154, 0,
                {"[LowResNX|1.2|]", "EPAINT/EPAINT.nx:23893:010418ce:c5927ab209a2be0fbf67b0d529f09e37",
                 "EPAINT/EPAINT.nx:23893:010418ce:c5927ab209a2be0fbf67b0d529f09e37"}},
        // Half its ROMs have no name: those are left out.
        RealDat{"parenthesised/libretro-dice.dat", 11, 0, {"[DICE|2025.3.8|Ken Mitton]", "Breakout/breakout.dmy:9:14d4ca82"}, 11},
        RealDat{"parenthesised/logiqx-mame-samples-20040307.dat", 719, 0,
                {"[MAME Samples|20040307|R.Scherzer www.clrmame.com]",
                 "armora/beep.wav:266:ae7c76e9::606b835ba5817f6c28727be7f93c4df367afa6f7"}},
        // A ROM of 4 GiB; the last block ends without a line feed after its ")".
        RealDat{"parenthesised/libretro-nointro-new-nintendo-3ds.dat", 11, 0,
                {"Fire Emblem Musou (Japan)/Fire Emblem Musou (Japan).3ds:4294967296:59fbceda:"
                 "b937be5e84bbaa799ff1e029fd4246e4*",
                 "Xenoblade Chronicles 3D (USA) (En,Fr,Es) (Rev 1)/"
                 "Xenoblade Chronicles 3D (USA) (En,Fr,Es) (Rev 1).3ds:4294967296:204ee143*"}},
        // The BIOS section is not a game of its own: eight rows.
        RealDat{"sectioned/logiqx-crystal-system-v1.1.dat", 8, 0,
                {"[Crystal System Emulator|20041231|Logiqx, http://www.logiqx.com/]",
                 "evosocc/mx27l1000.u14:131072:beff39a9"}},
        // The last row has no line end.
        RealDat{"sectioned/logiqx-ngx0.6b-new-games.dat", 241, 0,
                {"[NeoRAGEx|New Games for Neoragex0.6b Version 20021223|flycboy]",
                 "kof2002/265n-m1.rom:131072:ab9d360e", "neogeo/ng-sfix.rom:*"}},
        // Software lists: ROMs inside parts and data areas, sizes in hex; a
        // continuation without a name is no ROM of its own.
        RealDat{"softlist/mame-softlist-advision.xml", 5, 0,
                {"[advision||]", "defender/defender.bin:4096:3e280096::33e6bc08b3e8a951942e078102e90fbc8ba729a8"}},
        RealDat{"softlist/mame-softlist-a7800.xml", 213, 0, {"[a7800||]"}}));

// The ZiNc data in three syntaxes: the XML file gives the parenthesised rows
// and facts; the sectioned one files a clone's ROMs under its parent, leaves
// out BIOS sets and disks, and writes one CRC complemented. Every reference
// names a set that holds the ROM in its own right: scan finds a file in that
// set and marks the rows naming it. sfexj, a clone of sfex, lists the ZN1
// BIOS ROM that sfex has from cpzn1.
TEST(RealDatsAgree, ZincInEverySyntax) {
    REAL_DAT(paren, "parenthesised/logiqx-zinc-v1.1.dat");
    REAL_DAT(xml, "xml/logiqx-zinc-v1.1.xml.dat");
    REAL_DAT(sectioned, "sectioned/logiqx-zinc-v1.1.dat");
    ImportFixture fp, fx, fs;
    const auto prows = importRows(fp, paren);
    EXPECT_EQ(testing::digest(importRows(fx, xml)), testing::digest(prows));
    const V facts = fx.facts("ZiNc");
    EXPECT_EQ(fp.facts("ZiNc"), facts);
    EXPECT_EQ(std::count_if(facts.begin(), facts.end(), [](const std::string& l) { return l.ends_with(" 1"); }), 7);
    EXPECT_NE(std::find(facts.begin(), facts.end(), "sfexj 0 sfex"), facts.end());
    EXPECT_NE(std::find(facts.begin(), facts.end(), "sfex 0  cpzn1"), facts.end());

    std::set<std::string> own;
    for (const RomRow& r : prows)
        if (r.cloneOf.empty() && r.romOf.empty()) own.insert(r.game + "/" + r.romName + ":" + r.crc + ":" + r.sha1);
    size_t references = 0;
    for (const RomRow& r : prows) {
        const std::string& holder = r.romOf.empty() ? r.cloneOf : r.romOf;
        if (holder.empty()) continue;
        ++references;
        EXPECT_TRUE(own.count(holder + "/" + r.romName + ":" + r.crc + ":" + r.sha1))
            << r.game << "/" << r.romName << " names " << holder;
    }
    EXPECT_EQ(references, 250u);
    const auto sfexj = std::find_if(prows.begin(), prows.end(),
                                    [](const RomRow& r) { return r.game == "sfexj" && r.romName == "coh-1000c.353"; });
    ASSERT_NE(sfexj, prows.end());
    EXPECT_EQ(sfexj->romOf + "|" + sfexj->cloneOf, "cpzn1|");

    std::set<std::string> bios;
    for (const RomRow& r : prows)
        if (!r.romOf.empty()) bios.insert(r.romOf);
    ASSERT_EQ(bios.size(), 7u);
    auto roms = [&](const std::vector<RomRow>& rows) {
        std::set<std::string> out;
        for (const RomRow& r : rows)
            if (!bios.count(r.game) && !r.crc.empty()) out.insert(r.romName + " " + r.size + " " + r.crc);
        return out;
    };
    const std::set<std::string> fromParen = roms(prows), fromSectioned = roms(importRows(fs, sectioned));
    V onlyParen, onlySectioned;
    std::set_difference(fromParen.begin(), fromParen.end(), fromSectioned.begin(), fromSectioned.end(),
                        std::back_inserter(onlyParen));
    std::set_difference(fromSectioned.begin(), fromSectioned.end(), fromParen.begin(), fromParen.end(),
                        std::back_inserter(onlySectioned));
    ASSERT_EQ(onlyParen.size(), 1u);
    ASSERT_EQ(onlySectioned.size(), 1u);
    const size_t crcAt = onlyParen[0].size() - 8;
    EXPECT_EQ(onlyParen[0].substr(0, crcAt), onlySectioned[0].substr(0, crcAt));
    const unsigned long p = std::stoul(onlyParen[0].substr(crcAt), nullptr, 16);
    EXPECT_EQ(p ^ std::stoul(onlySectioned[0].substr(crcAt), nullptr, 16), 0xFFFFFFFFul);
}

}  // namespace
}  // namespace quorvane
