// The rollback journal: a torn journal on its own, and a database killed at
// every block write of a change, which must open as wholly before.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <zlib.h>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_check.h"
#include "keyfile/block_file.h"
#include "keyfile/journal.h"
#include "keyfile/key_file_internal.h"
#include "catalogue_state.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using std::filesystem::exists;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

class JournalTest : public ::testing::Test {
protected:
    TempDir dir;
    std::array<std::string, Journal::kFiles> files{dir.file("b.rcf"), dir.file("b_sys.idx"), dir.file("b_crc.idx"),
                                                   dir.file("b_sysCat.idx"), dir.file("b_del.idx"),
                                                   dir.file("b_game.idx")};
    std::string journalPath = dir.file("b.jnl");

    // A record file of 40 bytes and key files of 2 blocks, journalled as they are.
    void writeOriginals(Journal& journal) {
        writeFile(files[0], std::string(40, 'r'));
        for (size_t i = 1; i < Journal::kFiles; ++i) writeFile(files[i], std::string(2 * 4096, 'z'));
        journal.begin({.recordLength = 40, .blockCounts = {2, 2, 2, 2, 2}});
    }
};

TEST_F(JournalTest, TornJournalsRestoreOnlyWhatWasSynced) {
    std::string stale;  // the records of an older journal (another salt)
    {
        Journal old(journalPath, files);
        writeOriginals(old);
        ASSERT_EQ(old.add(0, 30, "OLD", 3) + old.sync(), 0);
        stale = readFile(journalPath).substr(Journal::kHeaderSize);
    }
    const std::string changed = std::string(40, 'n') + "more";  // grown past the journalled length
    const std::string abc = "abc" + std::string(37, 'n');
    using Records = std::vector<std::pair<uint64_t, std::string>>;
    // What, the records journalled, how the journal is torn, what the record file holds after the roll-back.
    const std::tuple<const char*, Records, std::function<void(std::string&)>, std::string> cases[] = {
        // The change wrote nothing yet, so the files stay as they are, grown.
        {"a header that never reached the disk whole", {{0, "r"}}, [](std::string& j) { j[20] ^= 1; }, changed},
        {"a sound record before a stale one", {{0, "abc"}}, [&](std::string& j) { j += stale; }, abc},
        {"the second record torn", {{0, "abc"}, {5, "def"}}, [](std::string& j) { j.back() ^= 0x40; }, abc},
    };
    for (const auto& [what, records, tear, restored] : cases) {
        SCOPED_TRACE(what);
        Journal journal(journalPath, files);
        writeOriginals(journal);
        for (const auto& [offset, bytes] : records) ASSERT_EQ(journal.add(0, offset, bytes.data(), bytes.size()), 0);
        ASSERT_EQ(journal.sync(), 0);
        std::string bytes = readFile(journalPath);
        tear(bytes);
        writeFile(journalPath, bytes);
        writeFile(files[0], changed);
        ASSERT_EQ(Journal::rollBack(journalPath, files), 0);
        EXPECT_EQ(readFile(files[0]), restored);
        EXPECT_FALSE(exists(journalPath));
    }
}

// A journal left by a version without the game index: four block counts in
// a 44-byte header. It rolls back its files and leaves the game index alone.
TEST_F(JournalTest, AJournalOfTheFourKeyFileLayoutRollsBack) {
    {
        Journal journal(journalPath, files);
        writeOriginals(journal);
        const std::string block(4096, 'z');
        ASSERT_EQ(journal.add(0, 10, "rrr", 3) + journal.add(4, 4096, block.data(), block.size()) + journal.sync(), 0);
    }
    std::string bytes = readFile(journalPath);
    // The old header: magic "QVJOURN1", counts at 20..35, blocks per file at
    // 36, its CRC at 40; the records follow at 44.
    std::string old = bytes.substr(0, 36);
    old[7] = '1';
    old += bytes.substr(40, 4);
    const auto putCrc = [](std::string& header) {
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(header.data()), static_cast<uInt>(header.size()));
        for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<char>((crc >> shift) & 0xff));
    };
    putCrc(old);
    writeFile(journalPath, old + bytes.substr(Journal::kHeaderSize));
    writeFile(files[0], std::string(10, 'r') + "NEW" + std::string(27, 'r') + "grown");
    writeFile(files[4], std::string(4096, 'z') + std::string(4096, 'x') + std::string(4096, 'y'));
    writeFile(files[5], std::string(3 * 4096, 'g'));
    ASSERT_EQ(Journal::rollBack(journalPath, files), 0);
    EXPECT_EQ(readFile(files[0]), std::string(40, 'r'));
    EXPECT_EQ(readFile(files[4]), std::string(2 * 4096, 'z'));
    EXPECT_EQ(readFile(files[5]), std::string(3 * 4096, 'g'));
    EXPECT_FALSE(exists(journalPath));
}

std::string snapshot(Catalogue& db) { return testing::catalogueState(db, "0000abcd", "100"); }

void addSystem(Catalogue& db, const std::string& system, int games, const std::string& version) {
    for (int g = 0; g < games; ++g)
        for (int r = 0; r < 3; ++r)
            db.addRom({.system = system, .game = "game " + std::to_string(g),
                       .crc = r == 0 ? "0000abcd" : "1234" + std::to_string(1000 + g),
                       .romName = "rom" + std::to_string(r), .size = r == 0 ? "100" : std::to_string(200 + r),
                       .version = version});
}

// Status writes in place, a cleaned catalogue status, a system replaced and
// one added: in-place row writes, freed and reused rows, splits and merges.
void change(Catalogue& db) {
    db.cleanSystemStatus("Beta");
    for (int g = 0; g < 150; g += 2)
        db.setHave("1234" + std::to_string(1000 + g), "201", "rom1", "game " + std::to_string(g), "Beta");
    db.getRomset("Beta", 0);
    db.deleteSystem("Alpha");
    addSystem(db, "Alpha", 180, "2");
    addSystem(db, "Gamma", 60, "1");
}

class DatabaseKillTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string base = dir.file("db");

    void SetUp() override {
        // A small cache makes the change spill appended blocks and park
        // the changed old ones, as a big import does.
        keyfile::setCachePerKeyFileForTesting(4);
        Catalogue db(base);
        ASSERT_EQ(db.openDB(), StoreStatus::Ok);
        addSystem(db, "Alpha", 150, "1");
        addSystem(db, "Beta", 150, "1");
        db.cleanSystemStatus("Alpha");
        db.setHave("0000abcd", "100", "rom0", "game 7", "Alpha");
        ASSERT_EQ(db.closeDB(), StoreStatus::Ok);
        db.getRomset("Alpha", 0);
        keyfile::setCachePerKeyFileForTesting(0);
    }

    // Runs the change, killed at its `killAt`-th block write (0: never);
    // returns the number of block writes it made.
    int run(int killAt) {
        keyfile::setCachePerKeyFileForTesting(4);
        int writes = 0;
        keyfile::setBlockIoFaultForTesting([&](bool write, uint32_t) {
            if (write && ++writes == killAt) ::raise(SIGKILL);
            return 0;
        });
        bool done = false;
        if (Catalogue db(base); db.openDB() == StoreStatus::Ok) done = (change(db), db.closeDB() == StoreStatus::Ok);
        keyfile::setBlockIoFaultForTesting(nullptr);
        keyfile::setCachePerKeyFileForTesting(0);
        return done ? writes : -1;
    }
};

// Killed at every one of its block writes (spread over 40 when there are
// more), the database opens, checks sound and holds exactly the state before
// the change: every block write comes before the commit point (the journal's
// deletion), so each kill must roll the change back.
TEST_F(DatabaseKillTest, AChangeKilledAtAnyWriteIsWhollyUndone) {
    const std::string pristine = dir.file("pristine");
    ASSERT_EQ(::system(("mkdir -p " + pristine + " && cp " + base + "* " + pristine + "/").c_str()), 0);
    const std::string before = snapshot(*std::make_unique<Catalogue>(base));
    const int total = run(0);
    ASSERT_GT(total, 10);
    const std::string after = snapshot(*std::make_unique<Catalogue>(base));
    ASSERT_NE(before, after);
    for (int i = 0, points = std::min(40, total); i < points; ++i) {
        const int at = 1 + i * (total - 1) / std::max(points - 1, 1);
        ASSERT_EQ(::system(("rm -f " + base + "* && cp " + pristine + "/* " + dir.path() + "/").c_str()), 0);
        const pid_t pid = ::fork();
        if (pid == 0) ::_exit(run(at) == total ? 0 : 3);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "kill at " << at << ": " << status;
        Catalogue db(base);
        const std::string now = snapshot(db);
        ASSERT_TRUE(db.lastError().empty()) << "kill at write " << at << ": " << db.lastError();
        CatalogueReport report;
        ASSERT_EQ(checkCatalogue(base, report), StoreStatus::Ok);
        EXPECT_TRUE(report.sound()) << "kill at write " << at << ": " << report.problems.front();
        EXPECT_EQ(now, before) << "kill at write " << at << " of " << total << (now == after ? ": committed" : "");
    }
}

TEST_F(DatabaseKillTest, AFailedCommitLeavesTheOldState) {
    Catalogue db(base);
    const std::string before = snapshot(db);
    ASSERT_EQ(db.openDB(), StoreStatus::Ok);
    db.deleteSystem("Beta");
    int writes = 0;
    keyfile::setBlockIoFaultForTesting([&](bool write, uint32_t) { return write && ++writes == 3 ? EIO : 0; });
    EXPECT_NE(db.closeDB(), StoreStatus::Ok);
    keyfile::setBlockIoFaultForTesting(nullptr);
    EXPECT_EQ(snapshot(db), before);
    EXPECT_FALSE(exists(base + ".jnl"));
    // And the database takes the next change.
    EXPECT_TRUE(db.deleteSystem("Beta")) << db.lastError();
    EXPECT_EQ(db.getSystems(), std::vector<std::string>{"Alpha"});
}

}  // namespace
}  // namespace quorvane
