// The catalogue over its row store: what the row layout, the free-slot index
// and the locks do on their own is the row store test's.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "catalogue/catalogue.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using Lines = std::vector<std::string>;

std::string gameNames(const Romset& r) {
    std::string out;
    for (const Game& g : r.games) out += (out.empty() ? "" : ",") + g.name + ":" + g.statusString;
    return out;
}

class RomsDbTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    Catalogue db{dir.file("roms")};

    void add(const std::string& system, const std::string& game, const std::string& rom, const std::string& crc,
             const std::string& size, const std::string& cloneOf = "", const std::string& romOf = "",
             const std::string& md5 = "") {
        ASSERT_TRUE(db.addRom({.system = system, .game = game, .crc = crc, .md5 = md5, .romName = rom, .size = size,
                               .cloneOf = cloneOf, .romOf = romOf, .version = "v1", .author = "me"})) << db.lastError();
    }
    std::string hits(const std::string& crc, const std::string& size, const std::string& md5 = "") {
        std::vector<RomMatch> list;
        db.findRom(list, crc, size, md5, "");
        std::string out;
        for (const RomMatch& g : list) out += (out.empty() ? "" : ",") + g.system + "/" + g.game + "/" + g.name;
        return out;
    }
};

TEST_F(RomsDbTest, FindRomMatchesDigestsAndDeliversParentRowsOnly) {
    add("S", "parent", "p.bin", "abcdef01", "10", "", "", std::string(32, '1'));
    add("S", "clone", "p.bin", "abcdef01", "10", "parent", "");
    add("S", "other", "o.bin", "abcdef01", "10");
    add("T", "bios", "b.bin", "abcdef01", "10", "", "", std::string(32, '2'));
    EXPECT_EQ(hits("ABCDEF01", "10"), "S/parent/p.bin,S/other/o.bin,T/bios/b.bin");
    // "other" has no MD5: it agrees.
    EXPECT_EQ(hits("abcdef01", "10", std::string(32, '1')), "S/parent/p.bin,S/other/o.bin");
    EXPECT_EQ(hits("abcdef01", "11"), "");
    int count = -1;
    db.countRom(count, "ABCDEF01", "10", "p.bin", "clone", "S");
    EXPECT_EQ(count, 1);

    // Rows filled into a vector that held others keep nothing of them.
    for (const char* game : {"c1", "c2"})
        add("U", game, "c.bin", "00000003", "10", "parent", "bios", std::string(32, '3'));
    for (const char* game : {"p1", "p2"}) add("U", game, "p.bin", "00000002", "10");
    auto text = [](const std::vector<Catalogue::FiledRow>& rows) {
        std::string out;
        for (const Catalogue::FiledRow& f : rows) {
            const RomMatch& m = f.row;
            out += m.system + "/" + m.game + "/" + m.name + "/" + m.status + "/" + m.md5 + "/" + m.sha1 + "/" +
                   m.cloneOf + "/" + m.romOf + "/" + m.foundIn.archivePath + "@" + std::to_string(f.offset) + ";";
        }
        return out;
    };
    std::vector<Catalogue::FiledRow> reused, fresh;
    db.rowsFiledUnder("00000003", "10", reused);
    ASSERT_EQ(reused.size(), 2u);
    for (Catalogue::FiledRow& f : reused) f.row.foundIn.archivePath = "a.zip";
    db.rowsFiledUnder("00000002", "10", reused);
    db.rowsFiledUnder("00000002", "10", fresh);
    ASSERT_EQ(fresh.size(), 2u);
    EXPECT_EQ(text(reused), text(fresh));
    EXPECT_EQ(fresh[0].row.cloneOf + fresh[1].row.romOf + fresh[0].row.md5, "");
}

TEST_F(RomsDbTest, SetHaveAndSetPresentFollowTheParentRule) {
    add("S", "parent", "p.bin", "00000001", "10");
    add("S", "clone1", "p.bin", "00000001", "10", "parent", "");
    add("S", "clone2", "p.bin", "00000001", "10", "", "parent");
    add("S", "unrelated", "p.bin", "00000001", "10");
    add("T", "clone1", "p.bin", "00000001", "10", "parent", "");  // other system
    db.setHave("00000001", "10", "p.bin", "parent", "S");
    EXPECT_EQ(gameNames(db.getRomset("S", 0)), "clone1:Y,clone2:Y,parent:Y,unrelated:N");
    EXPECT_EQ(gameNames(db.getRomset("T", 0)), "clone1:N");
    db.cleanSystemStatus("S");
    db.setPresent("00000001", "10", "p.bin", "unrelated", "S");
    EXPECT_EQ(gameNames(db.getRomset("S", 0)), "clone1:N,clone2:N,parent:N,unrelated:P");
    db.setHave("00000001", "10", "p.bin", "unrelated", "S");
    EXPECT_EQ(gameNames(db.getRomset("S", 1)), "unrelated:Y");
}

TEST_F(RomsDbTest, GetRomsetModesAndCatalogueStatus) {
    const char* games[][2] = {
        {"b-complete", "1"}, {"a-mixed", "1"}, {"a-mixed", "2"}, {"c-present", "1"}, {"d-missing", "1"}};
    for (int i = 0; i < 5; ++i) add("S", games[i][0], games[i][1], "0000000" + std::to_string(i + 1), "1");
    EXPECT_EQ(db.getSystemVersion("S") + "|" + db.getSystemVersion("nope"), "v1|0");
    db.setHave("00000001", "1", "1", "b-complete", "S");
    db.setHave("00000002", "1", "1", "a-mixed", "S");
    db.setPresent("00000004", "1", "1", "c-present", "S");
    const Lines modes = {"a-mixed:YN,b-complete:Y,c-present:P,d-missing:N", "b-complete:Y", "d-missing:N",
                         "a-mixed:YN,c-present:P"};
    for (int mode = 0; mode < 4; ++mode) EXPECT_EQ(gameNames(db.getRomset("S", mode)), modes[size_t(mode)]) << mode;
    EXPECT_TRUE(db.getCompleteSystems().empty());
    db.deleteSystem("S");
    add("S", "g", "1", "00000001", "1");
    db.setHave("00000001", "1", "1", "g", "S");
    EXPECT_TRUE(db.getRomset("S", 2).games.empty());  // mode 2 returns nothing ...
    EXPECT_EQ(db.getCompleteSystems(), Lines{"S"});   // ... but marks the system complete
    db.cleanStatus();
    EXPECT_TRUE(db.getCompleteSystems().empty());
    EXPECT_EQ(gameNames(db.getRomset("S", 0)), "g:N");
}

// A game's BIOS is its own romOf set or, for a clone, its parent's; a loop
// of parents ends; a BIOS the system does not hold is none. Facts rows are
// neither games of their own nor ROMs to count.
TEST_F(RomsDbTest, GetRomsetTellsEachGameItsBiosAndWhetherThatIsWhole) {
    const GameFacts facts[] = {{"b", SetKind::Bios, "", ""},    {"b2", SetKind::Bios, "", ""},
                               {"d", SetKind::Device, "", ""},  {"p", SetKind::Game, "", "b"},
                               {"c", SetKind::Game, "p", ""},   {"x", SetKind::Game, "", "absent"},
                               {"y", SetKind::Game, "", "b2"},  {"l1", SetKind::Game, "l2", ""},
                               {"l2", SetKind::Game, "l1", ""}, {"none", SetKind::Device, "", ""}};
    for (const GameFacts& f : facts) ASSERT_TRUE(db.addGameFacts("S", "v1", "me", f));
    const char* roms[][2] = {{"b", "b1"}, {"b", "b2"}, {"b2", "z"}, {"d", "d"},  {"p", "p"},
                             {"c", "c"},  {"x", "x"},  {"y", "y"},  {"l1", "l"}, {"l2", "m"}};
    for (int i = 0; i < 10; ++i) add("S", roms[i][0], roms[i][1], "0000000" + std::to_string(i), "1");
    ASSERT_TRUE(db.addRom({.system = "S", .game = "p", .sha1 = std::string(40, '1'), .romName = "p.chd", .size = ""}));
    db.setHave("00000000", "1", "b1", "b", "S");
    db.setHave("00000002", "1", "z", "b2", "S");
    const auto listing = [&](int mode) {
        Lines out;
        for (const Game& g : db.getRomset("S", mode).games)
            out.push_back(g.name + ":" + std::to_string(int(g.kind)) + ":" + g.bios + (g.biosIncomplete ? "!" : ""));
        return out;
    };
    EXPECT_EQ(listing(0), (Lines{"b:1:", "b2:1:", "c:0:b!", "d:2:", "l1:0:", "l2:0:", "p:0:b!", "x:0:", "y:0:b2"}));
    EXPECT_EQ(listing(1), (Lines{"b2:1:"}));
    db.setHave("00000001", "1", "b2", "b", "S");
    EXPECT_EQ(listing(2), (Lines{"c:0:b", "d:2:", "l1:0:", "l2:0:", "p:0:b", "x:0:", "y:0:b2"}));
    EXPECT_EQ(db.getCount(1), "11");
}

// Clearing a system's statuses writes only the rows that were not missing:
// a system with nothing had leaves its record file as it was.
TEST_F(RomsDbTest, CleanSystemStatusWritesOnlyTheRowsItChanges) {
    for (int i = 0; i < 50; ++i) add("S", "g" + std::to_string(i), "r", "000000" + std::to_string(10 + i), "1");
    db.closeDB();
    // An old modification time that any write would replace.
    const std::string rcf = dir.file("roms") + ".rcf";
    const auto writtenSinceReset = [&] {
        struct stat st {};
        EXPECT_EQ(::stat(rcf.c_str(), &st), 0);
        return st.st_mtim.tv_sec != 1000;
    };
    const auto reset = [&] {
        const timespec old[2] = {{1000, 0}, {1000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, rcf.c_str(), old, 0), 0);
    };
    reset();
    db.cleanSystemStatus("S");
    EXPECT_FALSE(writtenSinceReset());
    db.setHave("00000012", "1", "r", "g2", "S");
    db.setPresent("00000013", "1", "r", "g3", "S");
    EXPECT_EQ(gameNames(db.getRomset("S", 1)), "g2:Y");
    db.closeDB();
    reset();
    db.cleanSystemStatus("S");
    EXPECT_TRUE(writtenSinceReset());
    for (const Game& g : db.getRomset("S", 0).games) EXPECT_EQ(g.statusString, "N") << g.name;
}

// forEachGame and listGames serve getRomset's games: forEachGame one at a
// time with the same ROMs in the same order (also when a game's rows lie
// apart in the store), leaving out only the BIOS; listGames without the
// ROMs, in every mode. Each marks the system complete as getRomset does.
TEST_F(RomsDbTest, ForEachGameAndListGamesAgreeWithGetRomset) {
    const GameFacts facts[] = {{"bios", SetKind::Bios, "", ""}, {"facts only", SetKind::Game, "", "bios"},
                               {"p", SetKind::Game, "", "bios"}, {"c", SetKind::Game, "p", ""},
                               {"dev", SetKind::Device, "", ""}};
    for (const GameFacts& f : facts) ASSERT_TRUE(db.addGameFacts("S", "v1", "me", f));
    const char* rows[][5] = {{"zz", "z1", "00000001", "", ""},   {"bios", "b1", "00000002", "", ""},
                             {"aa", "a2", "00000003", "zz", ""}, {"zz", "z0", "00000005", "", ""},
                             {"aa", "a1", "00000006", "", "bios"}, {"bios", "b2", "00000007", "", ""},
                             {"p", "p1", "00000008", "", ""},    {"c", "c1", "00000009", "p", ""},
                             {"dev", "d1", "00000010", "", ""}};
    for (const auto& r : rows) {
        add("S", r[0], r[1], r[2], "1", r[3], r[4]);
        if (&r == &rows[2]) add("T", "aa", "other system", "00000004", "1");
    }
    db.setHave("00000006", "1", "a1", "aa", "S");
    db.setPresent("00000005", "1", "z0", "zz", "S");
    db.setHave("00000002", "1", "b1", "bios", "S");
    db.setHave("00000008", "1", "p1", "p", "S");
    const auto head = [](const Game& g, bool bios) {
        return g.name + ":" + std::to_string(int(g.kind)) + ":" + g.statusString +
               (bios ? ":" + g.bios + (g.biosIncomplete ? "!" : "") : "");
    };
    const auto withRoms = [&](const Game& g) {
        std::string out = head(g, false);
        for (const Rom& r : g.roms) out += " " + r.name + "/" + r.crc + "/" + r.status + "/" + r.cloneOf + "/" + r.romOf;
        return out;
    };
    Lines expected, visited;
    for (const Game& g : db.getRomset("S", 0).games) expected.push_back(withRoms(g));
    db.forEachGame("S", [&](const Game& g) {
        EXPECT_TRUE(g.bios.empty());
        visited.push_back(withRoms(g));
    });
    EXPECT_EQ(visited, expected);
    EXPECT_EQ(visited, (Lines{"aa:0:NY a2/00000003/N/zz/ a1/00000006/Y//bios", "bios:1:YN b1/00000002/Y// b2/00000007/N//",
                              "c:0:N c1/00000009/N/p/", "dev:2:N d1/00000010/N//", "p:0:Y p1/00000008/Y//",
                              "zz:0:NP z1/00000001/N// z0/00000005/P//"}));
    for (int mode = 0; mode < 4; ++mode) {
        Lines listed, full;
        for (const Game& g : db.listGames("S", mode).games) {
            EXPECT_TRUE(g.roms.empty());
            listed.push_back(head(g, true));
        }
        for (const Game& g : db.getRomset("S", mode).games) full.push_back(head(g, true));
        EXPECT_EQ(listed, full) << "mode " << mode;
    }
    EXPECT_EQ(db.listGames("S", 0).games.at(2).bios + (db.listGames("S", 0).games.at(2).biosIncomplete ? "!" : ""),
              "bios!");

    const auto haveAll = [&] {
        for (const auto& r : rows) db.setHave(r[2], "1", r[1], r[0], "S");
    };
    haveAll();
    EXPECT_TRUE(db.getCompleteSystems().empty());
    db.forEachGame("S", [&](const Game&) {});
    EXPECT_EQ(db.getCompleteSystems(), Lines{"S"});
    db.cleanStatus();
    haveAll();
    EXPECT_TRUE(db.getCompleteSystems().empty());
    db.listGames("S", 2);
    EXPECT_EQ(db.getCompleteSystems(), Lines{"S"});
    db.forEachGame("nope", [&](const Game&) { ADD_FAILURE() << "a game of no system"; });
}

TEST_F(RomsDbTest, RefusalsAreReportedAndStoreNothing) {
    EXPECT_FALSE(db.addRom({.system = "S", .game = "g", .crc = "1", .romName = std::string(300, 'x'), .size = "1"}));
    EXPECT_EQ(db.lastError(), "Cannot store ROM " + std::string(300, 'x') +
                                  " of game g: a field is longer than 255 bytes or the row longer than 1024 bytes");
    const std::string f255(255, 'f');  // each field fits, the row does not
    EXPECT_FALSE(
        db.addRom({.system = "S", .game = f255, .crc = "1", .romName = f255, .cloneOf = f255, .romOf = f255}));
    EXPECT_TRUE(db.getSystems().empty());
    ASSERT_EQ(db.openDB(), StoreStatus::Ok);  // kept open: other writers are locked out until it closes
    add("S", "g", "r", "00000001", "1");
    Catalogue other(dir.file("roms"));
    EXPECT_FALSE(other.addRom({.system = "S", .game = "g2", .crc = "00000002", .romName = "r", .size = "1"}));
    EXPECT_NE(other.lastError().find("in use by another Quorvane process"), std::string::npos);
    db.setHave("00000001", "1", "r", "g", "S");
    ASSERT_EQ(db.closeDB(), StoreStatus::Ok);
    EXPECT_EQ(gameNames(other.getRomset("S", 0)), "g:Y");
}

// A job that keeps the store open and looks up many ROMs reads the CRC index
// whole; rows added or removed meanwhile are found, or not, at once.
TEST_F(RomsDbTest, ManyLookupsInAKeptOpenStoreSeeEveryChange) {
    for (int i = 0; i < 300; ++i) add("S", "g" + std::to_string(i), "r.bin", std::to_string(10000000 + i), "4");
    add("S", "p", "b.bin", "0000000b", "4");
    add("S", "q", "b.bin", "0000000b", "4");
    ASSERT_EQ(db.openDB(), StoreStatus::Ok);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 300; ++i) ASSERT_EQ(hits(std::to_string(10000000 + i), "4"), "S/g" + std::to_string(i) + "/r.bin");
        EXPECT_EQ(hits("0000000B", "4"), "S/p/b.bin,S/q/b.bin");
        EXPECT_EQ(hits("0000000b", "40"), "");
        add("T", "new", "b.bin", "0000000b", "4");
        EXPECT_EQ(hits("0000000b", "4"), "S/p/b.bin,S/q/b.bin,T/new/b.bin");
        ASSERT_TRUE(db.deleteSystem("T"));
        EXPECT_EQ(hits("0000000b", "4"), "S/p/b.bin,S/q/b.bin");
    }
    ASSERT_EQ(db.closeDB(), StoreStatus::Ok);
}

// A scan's hold: the system's rows read as missing at once, the statuses it
// gives stay in memory, and only the rows that end up changed are written.
TEST_F(RomsDbTest, HeldStatusesReachTheDiskOnlyWhereTheyChanged) {
    add("S", "a", "a.bin", "0000000a", "1");
    add("S", "b", "b.bin", "0000000b", "1");
    add("T", "t", "t.bin", "0000000d", "1");  // amid the held rows, not one of them
    add("S", "c", "c.bin", "0000000c", "1");
    db.setHave("0000000a", "1", "a.bin", "a", "S");
    db.setPresent("0000000b", "1", "b.bin", "b", "S");
    auto status = [&](Catalogue& in, const char* crc) {
        std::vector<RomMatch> list;
        in.findRom(list, crc, "1", "", "");
        return list.size() == 1 ? list[0].status : std::string("?");
    };
    auto stored = [&] {
        Catalogue reader(dir.file("roms"));
        std::string out;
        for (const char* crc : {"0000000a", "0000000b", "0000000c", "0000000d"}) out += status(reader, crc);
        return out;
    };

    ASSERT_EQ(db.openDB(), StoreStatus::Ok);
    db.holdSystemStatus("S");
    EXPECT_EQ(status(db, "0000000a") + status(db, "0000000b"), "NN");
    db.setHave("0000000a", "1", "a.bin", "a", "S");
    db.setPresent("0000000d", "1", "t.bin", "t", "T");  // another system's row: not held
    EXPECT_EQ(status(db, "0000000a") + status(db, "0000000d"), "YP");
    EXPECT_TRUE(db.writeHeldStatus());
    EXPECT_EQ(db.heldStatusWrites(), 1u);  // b: P to N; a was Y before and after
    ASSERT_EQ(db.closeDB(), StoreStatus::Ok);
    EXPECT_EQ(stored(), "YNNP");

    // The same outcome again writes nothing; a status given after the hold
    // ended is written as usual.
    ASSERT_EQ(db.openDB(), StoreStatus::Ok);
    db.holdSystemStatus("S");
    std::vector<RomMatch> rows;
    std::vector<std::uint64_t> offsets;
    db.findRows(rows, "0000000a", "1", "", "", &offsets);
    ASSERT_EQ(offsets.size(), 1u);
    db.markRowsAt(offsets, RomStatus::Have);
    EXPECT_TRUE(db.writeHeldStatus());
    EXPECT_EQ(db.heldStatusWrites(), 0u);
    db.setPresent("0000000c", "1", "c.bin", "c", "S");
    ASSERT_EQ(db.closeDB(), StoreStatus::Ok);
    EXPECT_EQ(stored(), "YNPP");
}

// The game tallies of a scan: each game once, with all its letters in the
// order its rows were added, wherever those rows lie among the others.
TEST_F(RomsDbTest, EachGameIsVisitedOnceWithEveryLetterOfItsRows) {
    const char* rows[][3] = {{"b", "b1.bin", "0000000b"}, {"a", "a1.bin", "0000000a"}, {"b", "b2.bin", "0000000c"},
                             {"c", "c1.bin", "0000000d"}, {"a", "a2.bin", "0000000e"}, {"b", "b3.bin", "0000000f"}};
    for (const auto& r : rows) add("S", r[0], r[1], r[2], "1");
    db.setHave("0000000b", "1", "b1.bin", "b", "S");
    db.setPresent("0000000e", "1", "a2.bin", "a", "S");
    Lines visited;
    auto collect = [&visited](std::string_view letters) { visited.emplace_back(letters); };
    db.forEachGameStatus("S", collect);
    EXPECT_EQ(visited, (Lines{"YNN", "NP", "N"}));

    visited.clear();
    ASSERT_EQ(db.openDB(), StoreStatus::Ok);
    db.holdSystemStatus("S");
    db.setHave("0000000d", "1", "c1.bin", "c", "S");
    bool counted = false;
    EXPECT_TRUE(db.writeHeldStatus(collect, &counted));
    ASSERT_EQ(db.closeDB(), StoreStatus::Ok);
    EXPECT_TRUE(counted);
    EXPECT_EQ(visited, (Lines{"NNN", "NN", "Y"}));

    // Games in name order, each in one run.
    add("T", "x", "x1.bin", "00000011", "1");
    add("T", "x", "x2.bin", "00000012", "1");
    add("T", "y", "y1.bin", "00000013", "1");
    visited.clear();
    db.forEachGameStatus("T", collect);
    EXPECT_EQ(visited, (Lines{"NN", "N"}));
}

}  // namespace
}  // namespace quorvane
