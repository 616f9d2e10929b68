// The game index and what it serves: one game's ROMs without a walk of its
// system, a listing without the ROMs, and databases made before the index
// existed.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_check.h"
#include "catalogue/catalogue_repair.h"
#include "catalogue/row_store.h"
#include "keyfile/block_file.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class GameIndexTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    std::string base = dir.file("roms");
    Catalogue db{base};

    void add(const std::string& system, const std::string& game, const std::string& rom, const std::string& crc,
             const std::string& cloneOf = "") {
        ASSERT_TRUE(db.addRom({.system = system, .game = game, .crc = crc, .romName = rom, .size = "1",
                               .cloneOf = cloneOf, .version = "v1", .author = "me"}))
            << db.lastError();
    }
    // "kind:rom=status,..." of one game, or "none".
    std::string roms(const std::string& system, const std::string& game) {
        Game g;
        if (!db.getGame(system, game, g)) return "none";
        std::string out = std::to_string(int(g.kind)) + ":";
        for (const Rom& r : g.roms) out += r.name + "=" + r.status + (&r == &g.roms.back() ? "" : ",");
        EXPECT_EQ(g.statusString.size(), g.roms.size());
        return out;
    }
    // roms() of each system and game, joined by " | ".
    std::string roms(std::initializer_list<std::pair<std::string, std::string>> games) {
        std::string out;
        for (const auto& [system, game] : games) out += (out.empty() ? "" : " | ") + roms(system, game);
        return out;
    }
    Lines problems() {
        CatalogueReport report;
        EXPECT_EQ(checkCatalogue(base, report), StoreStatus::Ok);
        return report.problems;
    }
    // The database as the program wrote it before the game index existed:
    // the same record file and four key files, no _game.idx.
    void dropGameIndex() {
        db.closeDB();
        fs::remove(base + "_game.idx");
    }
};

TEST_F(GameIndexTest, AGamesRomsComeInStoredOrderWithItsKindAndStatus) {
    add("S", "g", "b.bin", "00000002");
    add("T", "g", "other.bin", "00000009");  // the same game name in another system
    add("S", "h", "x.bin", "00000003");
    ASSERT_TRUE(db.addGameFacts("S", "v1", "me", {.game = "g", .kind = SetKind::Bios}));
    add("S", "g", "a.bin", "00000001");
    ASSERT_TRUE(db.addGameFacts("S", "v1", "me", {.game = "facts-only"}));
    db.setHave("00000001", "1", "a.bin", "g", "S");
    // facts-only is a set with nothing to hold, as in the listing.
    EXPECT_EQ(roms({{"S", "g"}, {"T", "g"}, {"S", "nope"}, {"nope", "g"}, {"S", "facts-only"}}),
              "1:b.bin=N,a.bin=Y | 0:other.bin=N | none | none | none");
    EXPECT_TRUE(problems().empty());
}

// Names that fill the key's 255 bytes share one key; the rows tell them apart.
TEST_F(GameIndexTest, LongNamesCutToOneKeyStayApart) {
    const std::string system(200, 's');
    const std::string a = std::string(100, 'g') + "A", b = std::string(100, 'g') + "B";
    ASSERT_EQ(RowStore::gameKey(system, a), RowStore::gameKey(system, b));
    add(system, a, "a.bin", "0000000a");
    add(system, b, "b.bin", "0000000b");
    EXPECT_EQ(roms({{system, a}, {system, b}}), "0:a.bin=N | 0:b.bin=N");
    EXPECT_TRUE(problems().empty());
}

TEST_F(GameIndexTest, DeletedSystemsLeaveNoEntriesAndReusedRowsAreFiledAgain) {
    add("S", "g", "a.bin", "00000001");
    add("S", "g", "b.bin", "00000002");
    add("T", "t", "t.bin", "00000003");
    ASSERT_TRUE(db.deleteSystem("S"));
    EXPECT_EQ(roms("S", "g"), "none");
    EXPECT_TRUE(problems().empty());
    // Same sizes: the freed rows are reused, under other names.
    add("S", "k", "c.bin", "00000004");
    add("S", "k", "d.bin", "00000005");
    EXPECT_EQ(roms({{"S", "k"}, {"S", "g"}, {"T", "t"}}), "0:c.bin=N,d.bin=N | none | 0:t.bin=N");
    EXPECT_TRUE(problems().empty());
}

// A database written before the game index existed opens, is given its
// index once, and answers as one made with it; so does one whose index a
// crash left empty (the roll-back of its first build).
TEST_F(GameIndexTest, ADatabaseWithoutTheIndexGetsItAtItsFirstOpen) {
    ASSERT_EQ(db.openDB(), StoreStatus::Ok);  // one transaction, not one per row
    for (int g = 0; g < 300; ++g)
        for (int r = 0; r < 3; ++r)
            add(g % 2 ? "S" : "T", "game " + std::to_string(g), "r" + std::to_string(r), std::to_string(10000000 + g * 3 + r));
    for (const bool emptyFile : {false, true}) {
        SCOPED_TRACE(emptyFile ? "an empty index file" : "no index file");
        dropGameIndex();
        if (emptyFile) {
            Catalogue scratch(dir.file("empty"));
            ASSERT_TRUE(scratch.probe());
            scratch.closeDB();
            fs::copy_file(dir.file("empty_game.idx"), base + "_game.idx", fs::copy_options::overwrite_existing);
        }
        EXPECT_TRUE(problems().empty()) << "an index still to be built is no damage";
        EXPECT_EQ(roms({{"S", "game 201"}, {"T", "game 200"}, {"T", "game 201"}}),
                  "0:r0=N,r1=N,r2=N | 0:r0=N,r1=N,r2=N | none");
        EXPECT_TRUE(fs::exists(base + "_game.idx"));
        EXPECT_FALSE(fs::exists(base + ".jnl"));
        EXPECT_TRUE(problems().empty());
    }
}

// The first build's writes fail: the open fails, nothing of the index
// stays, and the next open builds it whole.
TEST_F(GameIndexTest, AFirstBuildThatCannotBeWrittenIsBuiltAgainAtTheNextOpen) {
    ASSERT_EQ(db.openDB(), StoreStatus::Ok);  // one transaction, not one per row
    for (int g = 0; g < 2000; ++g) add("S", "game " + std::to_string(g), "r", std::to_string(10000000 + g));
    dropGameIndex();
    int writes = 0;
    keyfile::setBlockIoFaultForTesting([&](bool write, uint32_t) { return write && ++writes >= 3 ? EIO : 0; });
    EXPECT_FALSE(db.probe());
    keyfile::setBlockIoFaultForTesting(nullptr);
    ASSERT_GE(writes, 3);
    EXPECT_FALSE(fs::exists(base + ".jnl"));
    EXPECT_TRUE(problems().empty());
    EXPECT_EQ(roms({{"S", "game 1999"}, {"S", "game 0"}}), "0:r=N | 0:r=N");
    EXPECT_TRUE(problems().empty());
}

TEST_F(GameIndexTest, CheckFindsAWrongEntryAndRepairMendsIt) {
    add("S", "g", "a.bin", "00000001");
    add("S", "h", "b.bin", "00000002");
    {
        RowStore store(base);
        ASSERT_EQ(store.open(), StoreStatus::Ok);
        std::vector<std::uint64_t> offsets;
        ASSERT_EQ(store.gameIndex.findOffsets(RowStore::gameKey("S", "h"), offsets), StoreStatus::Ok);
        ASSERT_EQ(offsets.size(), 1u);
        // g's entry now names h's row too; h's is gone.
        store.removeIndexEntry(store.gameIndex, RowStore::gameKey("S", "h"), std::to_string(offsets[0]));
        ASSERT_EQ(store.gameIndex.insert(RowStore::gameKey("S", "g"), std::to_string(offsets[0])), StoreStatus::Ok);
        ASSERT_EQ(store.close(), StoreStatus::Ok);
    }
    std::string found;
    for (const std::string& p : problems()) found += p + "\n";
    EXPECT_NE(found.find("points at the row of game h of system S"), std::string::npos) << found;
    EXPECT_NE(found.find("has 0 game index entries instead of one"), std::string::npos) << found;
    RepairReport repair;
    ASSERT_EQ(repairCatalogue(base, dir.file("backup/"), repair), StoreStatus::Ok) << repair.error;
    EXPECT_TRUE(problems().empty());
    EXPECT_EQ(roms({{"S", "g"}, {"S", "h"}}), "0:a.bin=N | 0:b.bin=N");
}

}  // namespace
}  // namespace quorvane
