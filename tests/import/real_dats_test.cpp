// The readers on real, unmodified DAT files.
#include <gtest/gtest.h>

#include <algorithm>
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

std::vector<RomRow> importOne(ImportFixture& f, const std::string& path, size_t messages = 0) {
    f.import({path});
    EXPECT_EQ(f.host.messages().size(), messages) << (f.host.messages().empty() ? "" : f.host.messages().front());
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

// The rows of a file with one game and ROM name, and the values of the first
// (a null value is not checked).
struct ExpectedRow {
    const char* game;
    const char* rom;
    const char* system = nullptr;
    const char* version = nullptr;
    const char* author = nullptr;
    const char* crc = nullptr;
    const char* size = nullptr;
    const char* md5 = nullptr;
    const char* sha1 = nullptr;
    int times = -1;  // how many rows have these names; -1: at least one
};

struct RealDat {
    const char* path;
    size_t rows;
    std::vector<ExpectedRow> expected;
    size_t messages = 0;
};

void PrintTo(const RealDat& d, std::ostream* os) { *os << d.path; }

class RealDats : public ::testing::TestWithParam<RealDat> {};

TEST_P(RealDats, StoreTheirRowsWithTheirValues) {
    const RealDat& d = GetParam();
    REAL_DAT(path, d.path);
    ImportFixture f;
    const auto rows = importOne(f, path, d.messages);
    ASSERT_EQ(rows.size(), d.rows);
    for (const ExpectedRow& e : d.expected) {
        const auto same = [&](const RomRow& r) { return r.game == e.game && r.romName == e.rom; };
        const auto count = std::count_if(rows.begin(), rows.end(), same);
        if (e.times < 0) {
            EXPECT_GT(count, 0) << e.game << " " << e.rom;
        } else {
            EXPECT_EQ(count, e.times) << e.game << " " << e.rom;
        }
        const RomRow* r = find(rows, e.game, e.rom);
        if (!r) continue;
        const std::pair<const char*, const std::string*> fields[] = {
            {e.system, &r->system}, {e.version, &r->version}, {e.author, &r->author}, {e.crc, &r->crc},
            {e.size, &r->size},     {e.md5, &r->md5},         {e.sha1, &r->sha1}};
        for (const auto& [want, got] : fields)
            if (want) {
                EXPECT_EQ(*got, want) << e.game << " " << e.rom;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, RealDats,
    ::testing::Values(
        RealDat{"parenthesised/libretro-lowres-nx.dat",
                154u,
                {{.game = "EPAINT",
                  .rom = "EPAINT.nx",
                  .system = "LowResNX",
                  .version = "1.2",
                  .author = "",
                  .crc = "010418ce",
                  .size = "23893",
                  .md5 = "c5927ab209a2be0fbf67b0d529f09e37"}}},
        // Half its ROMs have no name: those are left out.
        RealDat{"parenthesised/libretro-dice.dat",
                11u,
                {{.game = "Breakout", .rom = "breakout.dmy", .author = "Ken Mitton", .crc = "14d4ca82", .size = "9"},
                 {.game = "Anti-Aircraft", .rom = "", .times = 0}},
                11u},
        RealDat{"parenthesised/logiqx-mame-samples-20040307.dat",
                719u,
                {{.game = "armora",
                  .rom = "beep.wav",
                  .version = "20040307",
                  .crc = "ae7c76e9",
                  .size = "266",
                  .sha1 = "606b835ba5817f6c28727be7f93c4df367afa6f7"}}},
        // A ROM of 4 GiB; the last block ends without a line feed after its ")".
        RealDat{"parenthesised/libretro-nointro-new-nintendo-3ds.dat",
                11u,
                {{.game = "Fire Emblem Musou (Japan)",
                  .rom = "Fire Emblem Musou (Japan).3ds",
                  .crc = "59fbceda",
                  .size = "4294967296",
                  .md5 = "b937be5e84bbaa799ff1e029fd4246e4"},
                 {.game = "Xenoblade Chronicles 3D (USA) (En,Fr,Es) (Rev 1)",
                  .rom = "Xenoblade Chronicles 3D (USA) (En,Fr,Es) (Rev 1).3ds",
                  .crc = "204ee143"}}},
        // The BIOS section is not a game of its own.
        RealDat{"sectioned/logiqx-crystal-system-v1.1.dat",
                8u,
                {{.game = "evosocc",
                  .rom = "mx27l1000.u14",
                  .system = "Crystal System Emulator",
                  .version = "20041231",
                  .author = "Logiqx, http://www.logiqx.com/",
                  .crc = "beff39a9",
                  .size = "131072"},
                 {.game = "crysbios", .rom = "mx27l1000.u14", .times = 0}}},
        // The last row has no line end.
        RealDat{"sectioned/logiqx-ngx0.6b-new-games.dat",
                241u,
                {{.game = "kof2002",
                  .rom = "265n-m1.rom",
                  .system = "NeoRAGEx",
                  .author = "flycboy",
                  .crc = "ab9d360e",
                  .size = "131072"},
                 {.game = "neogeo", .rom = "ng-sfix.rom"}}}));

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
