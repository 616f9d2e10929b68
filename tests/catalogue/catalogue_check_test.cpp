// Check and repair against a table of targeted damages: each must be found,
// repair must leave a database that checks sound, and where only an index
// was damaged the listings must come back exactly.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_check.h"
#include "catalogue/catalogue_repair.h"
#include "keyfile/byte_coding.h"
#include "catalogue_state.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;
using Bytes = std::string;

constexpr size_t kBlock = 4096;
const char* const kSuffixes[] = {".rcf", "_sys.idx", "_crc.idx", "_sysCat.idx", "_del.idx", "_game.idx"};

uint8_t* blockAt(Bytes& file, size_t n) { return reinterpret_cast<uint8_t*>(file.data() + n * kBlock); }

// The first block after the root of `level`, or 0.
size_t findBlock(Bytes& file, int level) {
    for (size_t n = 2; n < file.size() / kBlock; ++n)
        if (blockAt(file, n)[0] == level) return n;
    return 0;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

std::string listing(Catalogue& db) { return testing::catalogueState(db, "00000002", "1002"); }

class CatalogueCheckTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string base = dir.file("roms");
    std::string backup = dir.file("Backup/");

    void SetUp() override {
        Catalogue db(base);
        ASSERT_EQ(db.openDB(), StoreStatus::Ok);
        auto add = [&](const std::string& system, int games, int first) {  // two ROMs a game
            for (int n = 2 * first; n < 2 * (first + games); ++n) {
                char crc[16];
                std::snprintf(crc, sizeof crc, "%08x", n);
                ASSERT_TRUE(db.addRom({.system = system, .game = "game " + std::to_string(n / 2), .crc = crc,
                                       .romName = "r" + std::to_string(n % 2), .size = std::to_string(1000 + n),
                                       .version = "1", .author = "me"}));
            }
        };
        add("Alpha", 250, 0);
        add("Gone", 300, 1000);
        add("Beta", 150, 0);
        ASSERT_TRUE(db.deleteSystem("Gone"));  // free rows, and free blocks from the merges
        add("Zeta", 40, 2000);
        db.setHave("00000002", "1002", "r0", "game 1", "Alpha");
        db.setHave("00000003", "1003", "r1", "game 1", "Alpha");
        ASSERT_EQ(db.closeDB(), StoreStatus::Ok);
        for (const std::string& s : db.getSystems()) db.getRomset(s, 0);
        original = listing(db);
        ASSERT_TRUE(db.lastError().empty()) << db.lastError();
    }

    std::string original;

    CatalogueReport check() {
        CatalogueReport report;
        EXPECT_EQ(checkCatalogue(base, report), StoreStatus::Ok);
        return report;
    }
};

struct Damage {
    const char* name;
    const char* file;
    std::function<void(Bytes&)> apply;
    const char* expected;   // in one of the problems
    bool indexOnly;         // the listings must come back exactly
    const char* said = "";  // in what the repair says
};

TEST_F(CatalogueCheckTest, EveryTargetedDamageIsFoundAndRepaired) {
    const CatalogueReport sound = check();
    EXPECT_TRUE(sound.sound()) << sound.problems.front();
    EXPECT_EQ(std::tuple(sound.systems, sound.rows, sound.freeRows),
              std::tuple(3u, 2u * (250 + 150 + 40), 2u * 300 - 2u * 40));
    Bytes sys = readFile(base + "_sys.idx");
    EXPECT_NE(findBlock(sys, 254), 0u);  // free blocks exist, so the free chain is walked too
    const Damage damages[] = {
        {"block 1 is no data block", "_crc.idx", [](Bytes& f) { blockAt(f, 1)[0] = 7; }, "data chain", true},
        {"an inner block loses a child", "_crc.idx",
         [](Bytes& f) { putU16(blockAt(f, 0) + 9, getU16(blockAt(f, 0) + 9) - 1); }, "belongs to nothing", true},
        {"a leaf drops out of its sibling chain", "_sys.idx",
         [](Bytes& f) { putU32(blockAt(f, findBlock(f, 0)) + 5, 1); }, "as previous", true},
        {"the free chain names a tree block", "_sys.idx",
         [](Bytes& f) { putU32(blockAt(f, 0) + 5, uint32_t(findBlock(f, 0))); }, "both free and in the tree", true},
        // Row 0: status, then system "Alpha", game "game 0", crc.
        {"a row's CRC changes", ".rcf", [](Bytes& f) { f[1 + 1 + 5 + 1 + 6 + 1] = 'f'; },
         "points at a row with CRC and size", false},
        // The last row ends with version "1" and author "me": its version's
        // length byte now runs past the end of the file.
        {"the last row cannot be read", ".rcf", [](Bytes& f) { f[f.size() - 5] = static_cast<char>(250); },
         "is damaged", false, "System Beta lost 1 rows whose bytes cannot be read."},
    };
    const std::string pristine = dir.file("pristine/");
    fs::create_directories(pristine);
    for (const char* suffix : kSuffixes) fs::copy_file(base + suffix, pristine + suffix);

    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        for (const char* suffix : kSuffixes)
            fs::copy_file(pristine + suffix, base + suffix, fs::copy_options::overwrite_existing);
        Bytes bytes = readFile(base + d.file);
        d.apply(bytes);
        writeFile(base + d.file, bytes);

        const std::string problems = joined(check().problems);
        EXPECT_NE(problems.find(d.expected), problems.npos) << problems;

        RepairReport repair;
        ASSERT_EQ(repairCatalogue(base, backup, repair), StoreStatus::Ok) << repair.error;
        const std::string said = joined(repair.lines);
        EXPECT_NE(said.find("A copy of the damaged files is in " + backup), said.npos) << said;
        EXPECT_NE(said.find(d.said), said.npos) << said;
        EXPECT_EQ(joined(check().problems), "") << said;
        Catalogue db(base);
        const std::string now = listing(db);
        EXPECT_TRUE(db.lastError().empty()) << db.lastError();
        EXPECT_TRUE(d.indexOnly ? now == original : now.find("Alpha/") != now.npos) << "the listings after the repair";
        // The damaged file went to the backup folder as it was.
        bool kept = false;
        for (const auto& e : fs::recursive_directory_iterator(backup))
            kept |= e.path().filename() == std::string("roms") + d.file && readFile(e.path().string()) == bytes;
        EXPECT_TRUE(kept);
        fs::remove_all(backup);
    }
}

TEST_F(CatalogueCheckTest, ARepairCutShortAfterItsCommitIsCompletedByTheNextOpen) {
    // What a crash leaves between the marker and the renames: the new files
    // beside the old ones. Here the new ones are a copy of a sound database
    // without Beta, the old ones are damaged.
    const RomRow solo{.system = "Solo", .game = "g", .crc = "00000001", .romName = "r", .size = "5"};
    ASSERT_TRUE(Catalogue(base + ".repair").addRom(solo));
    Bytes crc = readFile(base + "_crc.idx");
    blockAt(crc, 1)[0] = 7;
    writeFile(base + "_crc.idx", crc);
    writeFile(base + ".repaired", "");
    Catalogue db(base);
    EXPECT_EQ(db.getSystems(), std::vector<std::string>{"Solo"}) << db.lastError();
    EXPECT_FALSE(fs::exists(base + ".repaired"));
    EXPECT_TRUE(check().sound());
}

}  // namespace
}  // namespace quorvane
