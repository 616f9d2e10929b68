#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/catalogue.h"
#include "catalogue/row_store.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string gameNames(const Romset& r) {
    std::string out;
    for (const Game& g : r.games) out += (out.empty() ? "" : ",") + g.name + ":" + g.statusString;
    return out;
}

std::string hits(const std::vector<RomMatch>& list) {
    std::string out;
    for (const RomMatch& g : list) out += (out.empty() ? "" : ",") + g.system + "/" + g.game + "/" + g.name;
    return out;
}

class RomsDbTest : public ::testing::Test {
protected:
    TempDir dir;
    Catalogue db{dir.file("roms")};

    void add(const std::string& system, const std::string& game, const std::string& rom, const std::string& crc,
             const std::string& size, const std::string& cloneOf = "", const std::string& romOf = "",
             const std::string& md5 = "") {
        ASSERT_TRUE(db.addRom({.system = system,
                               .game = game,
                               .crc = crc,
                               .md5 = md5,
                               .romName = rom,
                               .size = size,
                               .cloneOf = cloneOf,
                               .romOf = romOf,
                               .version = "v1",
                               .author = "me"}))
            << db.lastError();
    }
};

TEST_F(RomsDbTest, SizesThatAreNotPositiveIntegersAreStoredAsDash) {
    const std::pair<std::string, std::string> sizes[] = {{"0", "-"}, {"", "-"}, {"12k", "-"}, {"4096", "4096"}};
    for (int i = 0; i < 4; ++i)
        add("S", "g", std::string(1, static_cast<char>('a' + i)), "0000000" + std::to_string(i + 1), sizes[i].first);
    const Romset r = db.getRomset("S", 0);
    ASSERT_EQ(r.games.size(), 1u);
    ASSERT_EQ(r.games[0].roms.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(r.games[0].roms[static_cast<size_t>(i)].size, sizes[i].second) << sizes[i].first;
    std::vector<RomMatch> found;
    db.findRom(found, "00000001", "-", "", "");
    EXPECT_EQ(hits(found), "S/g/a");  // a size-"-" ROM is found under "-" only
    found.clear();
    db.findRom(found, "00000001", "0", "", "");
    EXPECT_TRUE(found.empty());
}

TEST_F(RomsDbTest, VersionsSystemsAndCounts) {
    EXPECT_EQ(db.getSystemVersion("nope"), "0");
    EXPECT_FALSE(db.hasSystem("nope"));
    add("Beta", "g", "a", "00000001", "1");
    add("Alpha", "g", "a", "00000001", "1");
    add("Alpha", "h", "a", "00000002", "1");
    EXPECT_EQ(db.getSystemVersion("Alpha"), "v1");
    EXPECT_TRUE(db.hasSystem("Alpha"));
    EXPECT_EQ(db.getSystems(), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(db.getCount(1), "3");
    EXPECT_EQ(db.getCount(2), "2");
    EXPECT_EQ(db.getCount(7), "0");
    EXPECT_TRUE(db.getCompleteSystems().empty());
    EXPECT_EQ(db.getIncompleteSystems().size(), 2u);
}

TEST_F(RomsDbTest, FindRomMatchesDigestsAndDeliversParentRowsOnly) {
    add("S", "parent", "p.bin", "abcdef01", "10", "", "", "11111111111111111111111111111111");
    add("S", "clone", "p.bin", "abcdef01", "10", "parent", "");
    add("S", "other", "o.bin", "abcdef01", "10", "", "", "");
    add("T", "bios", "b.bin", "abcdef01", "10", "", "", "22222222222222222222222222222222");
    std::vector<RomMatch> found;
    db.findRom(found, "ABCDEF01", "10", "", "");
    EXPECT_EQ(hits(found), "S/parent/p.bin,S/other/o.bin,T/bios/b.bin");
    for (const RomMatch& g : found) EXPECT_TRUE(g.foundIn.archivePath.empty());
    found.clear();
    db.findRom(found, "abcdef01", "10", "11111111111111111111111111111111", "");
    EXPECT_EQ(hits(found), "S/parent/p.bin,S/other/o.bin");  // other has no md5: agrees
    found.clear();
    db.findRom(found, "abcdef01", "11", "", "");
    EXPECT_TRUE(found.empty());
    int count = -1;
    db.countRom(count, "ABCDEF01", "10", "p.bin", "clone", "S");
    EXPECT_EQ(count, 1);
    db.countRom(count, "abcdef01", "10", "p.bin", "clone", "T");
    EXPECT_EQ(count, 0);
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
    EXPECT_EQ(gameNames(db.getRomset("S", 3)), "");
    EXPECT_EQ(gameNames(db.getRomset("S", 1)), "unrelated:Y");
}

TEST_F(RomsDbTest, GetRomsetModesAndCatalogueStatus) {
    add("S", "b-complete", "1", "00000001", "1");
    add("S", "a-mixed", "1", "00000002", "1");
    add("S", "a-mixed", "2", "00000003", "1");
    add("S", "c-present", "1", "00000004", "1");
    add("S", "d-missing", "1", "00000005", "1");
    db.setHave("00000001", "1", "1", "b-complete", "S");
    db.setHave("00000002", "1", "1", "a-mixed", "S");
    db.setPresent("00000004", "1", "1", "c-present", "S");
    EXPECT_EQ(gameNames(db.getRomset("S", 0)), "a-mixed:YN,b-complete:Y,c-present:P,d-missing:N");
    EXPECT_EQ(gameNames(db.getRomset("S", 1)), "b-complete:Y");
    EXPECT_EQ(gameNames(db.getRomset("S", 2)), "d-missing:N");
    EXPECT_EQ(gameNames(db.getRomset("S", 3)), "a-mixed:YN,c-present:P");
    EXPECT_TRUE(db.getCompleteSystems().empty());

    db.deleteSystem("S");
    add("S", "g", "1", "00000001", "1");
    db.setHave("00000001", "1", "1", "g", "S");
    EXPECT_TRUE(db.getRomset("S", 2).games.empty());  // mode 2 returns nothing ...
    EXPECT_EQ(db.getCompleteSystems(), std::vector<std::string>{"S"});  // ... but marks the system complete
    db.cleanStatus();
    EXPECT_TRUE(db.getCompleteSystems().empty());
    EXPECT_EQ(gameNames(db.getRomset("S", 0)), "g:N");
}

TEST_F(RomsDbTest, DeleteSystemFreesRowsAndReimportReusesEverySlot) {
    auto addSystem = [&] {
        for (int i = 0; i < 50; ++i)
            add("S", "game" + std::to_string(i % 7), "rom" + std::to_string(i), "0000aa" + std::to_string(10 + i),
                std::to_string(100 + i));
    };
    addSystem();
    add("Keep", "g", "k", "0000aa10", "100");
    const auto before = fs::file_size(dir.file("roms.rcf"));
    ASSERT_TRUE(db.deleteSystem("S"));
    EXPECT_EQ(db.getSystems(), std::vector<std::string>{"Keep"});
    EXPECT_EQ(db.getCount(1), "1");
    std::vector<RomMatch> found;
    db.findRom(found, "0000aa10", "100", "", "");
    EXPECT_EQ(hits(found), "Keep/g/k");
    addSystem();
    EXPECT_EQ(fs::file_size(dir.file("roms.rcf")), before);  // no row appended
    add("S", "game-longer", "x", "00000000", "1");
    EXPECT_GT(fs::file_size(dir.file("roms.rcf")), before);
    EXPECT_EQ(db.getCount(1), "52");
}

TEST_F(RomsDbTest, FreedSlotsAreReusedOldestFirst) {
    add("A", "g", "r", "00000001", "1");  // rows of 28 bytes: offsets 0, 28, 56
    add("B", "g", "r", "00000002", "1");
    add("C", "g", "r", "00000003", "1");
    db.deleteSystem("B");
    db.deleteSystem("A");
    add("D", "g", "r", "00000004", "1");  // B's slot was freed first
    add("E", "g", "r", "00000005", "1");  // then A's
    add("F", "g", "r", "00000006", "1");  // no slot left: appended
    RowStore t(dir.file("roms"));
    ASSERT_EQ(t.open(), StoreStatus::Ok);
    RomRow r;
    std::string order;
    for (std::uint64_t offset : {0, 28, 56, 84}) {
        ASSERT_EQ(t.readRecord(offset, r), StoreStatus::Ok);
        order += r.system;
    }
    EXPECT_EQ(order, "EDCF");
}

TEST_F(RomsDbTest, OversizedRowIsReportedAndStoresNothing) {
    EXPECT_FALSE(db.addRom({.system = "S",
                            .game = "g",
                            .crc = "00000001",
                            .romName = std::string(300, 'x'),
                            .size = "1",
                            .version = "1",
                            .author = "a"}));
    EXPECT_NE(db.lastError().find("255"), std::string::npos);
    EXPECT_TRUE(db.getSystems().empty());
}

TEST_F(RomsDbTest, KeptOpenDatabaseLocksOutOtherWritersAndFlushesOnClose) {
    ASSERT_EQ(db.openDB(), StoreStatus::Ok);
    add("S", "g", "r", "00000001", "1");
    Catalogue other(dir.file("roms"));
    EXPECT_FALSE(other.addRom(
        {.system = "S", .game = "g2", .crc = "00000002", .romName = "r", .size = "1", .version = "1", .author = "a"}));
    EXPECT_NE(other.lastError().find("in use by another Quorvane process"), std::string::npos);
    db.setHave("00000001", "1", "r", "g", "S");
    ASSERT_EQ(db.closeDB(), StoreStatus::Ok);
    EXPECT_EQ(gameNames(other.getRomset("S", 0)), "g:Y");
}

TEST_F(RomsDbTest, DeleteDbRemovesFilesAndNextUseStartsEmpty) {
    add("S", "g", "r", "00000001", "1");
    db.openDB();
    db.deleteDB();
    EXPECT_FALSE(db.keptOpen());
    EXPECT_FALSE(fs::exists(dir.file("roms.rcf")));
    EXPECT_TRUE(db.getSystems().empty());
    EXPECT_EQ(fs::file_size(dir.file("roms_sys.idx")), 2u * 4096);
    db.cleanStatus();  // nothing to do on an empty database
    EXPECT_TRUE(db.getSystems().empty());
}

}  // namespace
}  // namespace quorvane
