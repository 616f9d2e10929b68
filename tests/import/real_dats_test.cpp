// The readers on real, unmodified DAT files.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "import_fixture.h"

namespace quorvane {
namespace {

using testing::ImportFixture;
using testing::realDatPath;

#define REAL_DAT(var, relative)                                           \
    const std::string var = realDatPath(relative);                        \
    if (var.empty()) GTEST_SKIP() << "no shared DAT folder: " << relative

const RomRow* find(const std::vector<RomRow>& rows, const std::string& game, const std::string& rom) {
    for (const RomRow& r : rows)
        if (r.game == game && r.romName == rom) return &r;
    return nullptr;
}

std::vector<RomRow> importOne(ImportFixture& f, const std::string& path) {
    f.import({path});
    EXPECT_TRUE(f.host.messages().empty()) << f.host.messages().front();
    EXPECT_TRUE(f.host.eventsOf("askYesIgnore").empty());
    return f.rows();
}

TEST(RealParenthesisedDats, ZincRowsAndParents) {
    REAL_DAT(path, "parenthesised/logiqx-zinc-v1.1.dat");
    ImportFixture f;
    const auto rows = importOne(f, path);
    ASSERT_EQ(rows.size(), 689u);  // 685 ROM lines and 4 disks
    const RomRow* r = find(rows, "starglad", "coh-1000c.353");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->system, "ZiNc");
    EXPECT_EQ(r->version, "20050731");
    EXPECT_EQ(r->author, "Logiqx");
    EXPECT_EQ(r->crc, "50033af6");
    EXPECT_EQ(r->size, "524288");
    EXPECT_EQ(r->sha1, "486d92ff6c7f1e54f8e0ef41cd9116eca0e10e1a");
    EXPECT_EQ(r->romOf, "cpzn1");
    EXPECT_EQ(r->cloneOf, "");
    const RomRow* disk = find(rows, "weddingr", "weddingr");
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(disk->crc, "");
    EXPECT_EQ(disk->size, "-");
    EXPECT_EQ(disk->sha1, "e6481c367ad24aa285e51c01221a169b1b74b15f");

    // A row has a parent exactly when its ROM line carries a merge token.
    std::ifstream in(path, std::ios::binary);
    std::string line, game;
    std::set<std::pair<std::string, std::string>> merged;
    const std::regex nameLine(R"(^\tname (\S+)\r?$)"), romLine(R"(^\trom \( name (\S+) (merge )?)");
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, nameLine)) game = m[1];
        else if (std::regex_search(line, m, romLine) && m[2].matched) merged.insert({game, m[1]});
    }
    ASSERT_EQ(merged.size(), 250u);
    size_t withParent = 0;
    for (const RomRow& row : rows) {
        const bool hasParent = !row.cloneOf.empty() || !row.romOf.empty();
        withParent += hasParent;
        EXPECT_EQ(hasParent, merged.count({row.game, row.romName}) == 1) << row.game << " " << row.romName;
    }
    EXPECT_EQ(withParent, 250u);
}

TEST(RealParenthesisedDats, LibretroAndSampleFiles) {
    REAL_DAT(lowres, "parenthesised/libretro-lowres-nx.dat");
    REAL_DAT(dice, "parenthesised/libretro-dice.dat");
    REAL_DAT(samples, "parenthesised/logiqx-mame-samples-20040307.dat");
    REAL_DAT(n3ds, "parenthesised/libretro-nointro-new-nintendo-3ds.dat");
    {
        ImportFixture f;
        const auto rows = importOne(f, lowres);
        ASSERT_EQ(rows.size(), 154u);
        const RomRow* r = find(rows, "EPAINT", "EPAINT.nx");
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->system, "LowResNX");
        EXPECT_EQ(r->version, "1.2");
        EXPECT_EQ(r->author, "");
        EXPECT_EQ(r->crc, "010418ce");
        EXPECT_EQ(r->size, "23893");
        EXPECT_EQ(r->md5, "c5927ab209a2be0fbf67b0d529f09e37");
    }
    {
        ImportFixture f;
        const auto rows = importOne(f, dice);
        ASSERT_EQ(rows.size(), 22u);
        const RomRow* r = find(rows, "Anti-Aircraft", "");
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->crc, "9de772d5");
        EXPECT_EQ(r->size, "32");
        EXPECT_EQ(r->author, "Ken Mitton");
        EXPECT_EQ(f.rowsOf("Attack").size(), 2u);  // two blocks of one name
    }
    {
        ImportFixture f;
        const auto rows = importOne(f, samples);
        ASSERT_EQ(rows.size(), 719u);
        const RomRow* r = find(rows, "armora", "beep.wav");
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->crc, "ae7c76e9");
        EXPECT_EQ(r->size, "266");
        EXPECT_EQ(r->sha1, "606b835ba5817f6c28727be7f93c4df367afa6f7");
        EXPECT_EQ(r->version, "20040307");
    }
    {
        ImportFixture f;
        const auto rows = importOne(f, n3ds);
        ASSERT_EQ(rows.size(), 11u);
        const RomRow* big = find(rows, "Fire Emblem Musou (Japan)", "Fire Emblem Musou (Japan).3ds");
        ASSERT_NE(big, nullptr);
        EXPECT_EQ(big->size, "4294967296");
        EXPECT_EQ(big->crc, "59fbceda");
        EXPECT_EQ(big->md5, "b937be5e84bbaa799ff1e029fd4246e4");
        // The last block ends without a line feed after its ")".
        const RomRow* last = find(rows, "Xenoblade Chronicles 3D (USA) (En,Fr,Es) (Rev 1)",
                                        "Xenoblade Chronicles 3D (USA) (En,Fr,Es) (Rev 1).3ds");
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(last->crc, "204ee143");
    }
}

TEST(RealSectionedDats, CrystalAndNeoragex) {
    REAL_DAT(crystal, "sectioned/logiqx-crystal-system-v1.1.dat");
    REAL_DAT(ngx, "sectioned/logiqx-ngx0.6b-new-games.dat");
    {
        ImportFixture f;
        const auto rows = importOne(f, crystal);
        ASSERT_EQ(rows.size(), 8u);
        const RomRow* r = find(rows, "evosocc", "mx27l1000.u14");
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->system, "Crystal System Emulator");
        EXPECT_EQ(r->version, "20041231");
        EXPECT_EQ(r->author, "Logiqx, http://www.logiqx.com/");
        EXPECT_EQ(r->crc, "beff39a9");
        EXPECT_EQ(r->size, "131072");
        EXPECT_TRUE(find(rows, "crysbios", "mx27l1000.u14") == nullptr);
    }
    {
        ImportFixture f;
        const auto rows = importOne(f, ngx);
        ASSERT_EQ(rows.size(), 241u);
        EXPECT_EQ(rows[0].system, "NeoRAGEx");
        EXPECT_EQ(rows[0].author, "flycboy");
        const RomRow* r = find(rows, "kof2002", "265n-m1.rom");
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->crc, "ab9d360e");
        EXPECT_EQ(r->size, "131072");
        // The last row has no line end.
        EXPECT_NE(find(rows, "neogeo", "ng-sfix.rom"), nullptr);
    }
}

// The sectioned ZiNc file files a clone's ROMs under its parent and leaves
// out BIOS sets and disks; otherwise both files describe the same ROMs.
TEST(RealSectionedDats, ZincAgreesWithTheParenthesisedFile) {
    REAL_DAT(sectioned, "sectioned/logiqx-zinc-v1.1.dat");
    REAL_DAT(parenthesised, "parenthesised/logiqx-zinc-v1.1.dat");
    ImportFixture fs, fp;
    const auto srows = importOne(fs, sectioned);
    const auto prows = importOne(fp, parenthesised);
    ASSERT_EQ(srows.size(), 678u);
    EXPECT_EQ(srows[0].version, "20050731");
    EXPECT_EQ(srows[0].author, "Logiqx");

    std::map<std::string, std::string> parentOf;
    std::set<std::string> biosSets;
    {
        std::ifstream in(parenthesised, std::ios::binary);
        std::string line, game;
        bool resource = false;
        const std::regex nameLine(R"(^\tname (\S+)\r?$)"), cloneLine(R"(^\tcloneof (\S+)\r?$)");
        std::smatch m;
        while (std::getline(in, line)) {
            if (line.rfind("resource (", 0) == 0) resource = true;
            else if (line.rfind("game (", 0) == 0) resource = false;
            else if (std::regex_search(line, m, nameLine)) {
                game = m[1];
                if (resource) biosSets.insert(game);
            } else if (std::regex_search(line, m, cloneLine)) parentOf[game] = m[1];
        }
    }
    ASSERT_EQ(biosSets.size(), 7u);
    using Key = std::tuple<std::string, std::string, std::string, std::string>;
    std::set<Key> fromParenthesised, fromSectioned;
    for (const RomRow& r : prows) {
        if (biosSets.count(r.game) || r.crc.empty()) continue;
        const auto parent = parentOf.find(r.game);
        fromParenthesised.insert({parent == parentOf.end() ? r.game : parent->second, r.romName, r.crc, r.size});
    }
    for (const RomRow& r : srows) fromSectioned.insert({r.game, r.romName, r.crc, r.size});

    std::vector<Key> onlyP, onlyS;
    std::set_difference(fromParenthesised.begin(), fromParenthesised.end(), fromSectioned.begin(),
                        fromSectioned.end(), std::back_inserter(onlyP));
    std::set_difference(fromSectioned.begin(), fromSectioned.end(), fromParenthesised.begin(),
                        fromParenthesised.end(), std::back_inserter(onlyS));
    ASSERT_EQ(onlyP.size(), 1u);
    ASSERT_EQ(onlyS.size(), 1u);
    EXPECT_EQ(std::get<0>(onlyP[0]), std::get<0>(onlyS[0]));
    EXPECT_EQ(std::get<1>(onlyP[0]), std::get<1>(onlyS[0]));
    EXPECT_EQ(std::get<3>(onlyP[0]), std::get<3>(onlyS[0]));
    const unsigned long p = std::stoul(std::get<2>(onlyP[0]), nullptr, 16);
    const unsigned long s = std::stoul(std::get<2>(onlyS[0]), nullptr, 16);
    EXPECT_EQ(p ^ s, 0xFFFFFFFFul);
}

// The XML ZiNc file holds the parenthesised file's data: every game of both
// imports has the same ROMs with the same values and parents.
TEST(RealXmlDats, ZincGivesTheParenthesisedRows) {
    REAL_DAT(xml, "xml/logiqx-zinc-v1.1.xml.dat");
    REAL_DAT(parenthesised, "parenthesised/logiqx-zinc-v1.1.dat");
    ImportFixture fx, fp;
    const auto xrows = importOne(fx, xml);
    const auto prows = importOne(fp, parenthesised);
    ASSERT_EQ(xrows.size(), 689u);
    EXPECT_EQ(xrows[0].system, "ZiNc");
    EXPECT_EQ(xrows[0].version, "20050731");
    EXPECT_EQ(xrows[0].author, "Logiqx");

    const Romset x = fx.db->getRomset("ZiNc", 0);
    const Romset p = fp.db->getRomset("ZiNc", 0);
    ASSERT_EQ(x.games.size(), 78u);
    ASSERT_EQ(x.games.size(), p.games.size());
    auto describe = [](const Game& g) {
        std::vector<std::string> out;
        for (const Rom& r : g.roms)
            out.push_back(r.name + " " + r.crc + " " + r.size + " " + r.md5 + " " + r.sha1 + " " + r.cloneOf + "/" +
                          r.romOf);
        return out;
    };
    size_t withParent = 0;
    for (size_t i = 0; i < x.games.size(); ++i) {
        ASSERT_EQ(x.games[i].name, p.games[i].name);
        EXPECT_EQ(describe(x.games[i]), describe(p.games[i])) << x.games[i].name;
        for (const Rom& r : x.games[i].roms) withParent += !r.cloneOf.empty() || !r.romOf.empty();
    }
    EXPECT_EQ(withParent, 250u);
}

}  // namespace
}  // namespace quorvane
