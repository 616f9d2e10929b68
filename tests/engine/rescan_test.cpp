// A scan of a folder that an earlier scan saw: what it says and the statuses
// it leaves are a full scan's, and where nothing changed it writes nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/scan_cache.h"
#include "engine/scan_job.h"
#include "support/content_crc.h"

namespace quorvane::testing {
namespace {

// Each catalogue file's and the cache's inode and times, to the nanosecond.
std::string stamps(const std::vector<std::string>& paths) {
    std::string out;
    for (const std::string& path : paths) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            out += path + " missing;";
            continue;
        }
        out += std::to_string(st.st_ino) + ':' + std::to_string(st.st_mtim.tv_sec) + '.' +
               std::to_string(st.st_mtim.tv_nsec) + ':' + std::to_string(st.st_ctim.tv_sec) + '.' +
               std::to_string(st.st_ctim.tv_nsec) + ';';
    }
    return out;
}

// And C.zip, which holds only what should be deleted.
class RescanTest : public RescanFixture {
protected:
    void SetUp() override {
        RescanFixture::SetUp();
        makeZips({{f() + "/C.zip", {{"junk.bin", "junk"}, {"copy.bin", "content a1"}}}});
    }
    std::vector<std::string> files() const {
        std::vector<std::string> out{scanCachePath(), db->basePath() + ".jnl"};
        for (const char* suffix : {".rcf", "_sys.idx", "_crc.idx", "_sysCat.idx", "_del.idx", "_game.idx"})
            out.push_back(db->basePath() + suffix);
        return out;
    }
    // Forges B.zip's record as one whose entries made no row "have".
    void forgeBPlacedNothing() {
        forgeScanRecord("B.zip", rowsStamp(), [](const ScanCache&, ScanCache::Record& b) {
            ASSERT_TRUE(b.allInPlace);
            ASSERT_EQ(b.haveRows.size(), 1u);
            b.haveRows.clear();
        });
    }

    const Lines said = {scanning("Sys"), "[C.zip]", "  junk.bin cannot be identified.",
                        "  junk.bin should be deleted.", "  copy.bin should be deleted."};
};

TEST_F(RescanTest, AnUnchangedFolderIsScannedWithoutAWrite) {
    EXPECT_EQ(scan(), said);
    EXPECT_EQ(statuses("A B D Other/O"), "YY Y N N");
    EXPECT_EQ(counts, "2/0/1 3/0/1");
    const std::string before = stamps(files());
    // Past the file system's clock tick: a write now would show in the times.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(scan(), said);
    EXPECT_EQ(db->heldStatusWrites(), 0u);
    EXPECT_EQ(stamps(files()), before);
    EXPECT_EQ(statuses("A B D Other/O"), "YY Y N N");
    EXPECT_EQ(counts, "2/0/1 3/0/1");
}

// A re-scan that takes every archive from the cache still notices one that
// is gone, or one that came, and keeps the cache to what the folder holds.
TEST_F(RescanTest, TheCacheFollowsArchivesGoneOrAddedBesideUnchangedOnes) {
    scan();
    scan();
    // What is left is all in place: every file left is taken whole.
    ASSERT_EQ(::unlink((f() + "/B.zip").c_str()), 0);
    ASSERT_EQ(::unlink((f() + "/C.zip").c_str()), 0);
    scan();
    ScanCache cache = ScanCache::read(scanCachePath(), f(), {}, rowsStamp());
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache.find("B.zip"), nullptr);
    EXPECT_NE(cache.find("A.zip"), nullptr);

    makeZips({{f() + "/B2.zip", {{"b1.bin", "content b1"}}}});
    // Past the settle time, so that the new archive is kept.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    scan();
    cache = ScanCache::read(scanCachePath(), f(), {}, rowsStamp());
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_NE(cache.find("B2.zip"), nullptr);
}

// What changed since the last scan, in the folder or in the statuses (another
// system's scan, a fix), is undone or taken up as a full scan would.
TEST_F(RescanTest, StatusesEndAsAFullScanLeavesThem) {
    scan();
    ASSERT_TRUE(::unlink((f() + "/B.zip").c_str()) == 0);
    db->setHave(crcOf("content d1"), "10", "d1.bin", "D", "Sys");
    db->setPresent(crcOf("content a1"), "10", "a1.bin", "A", "Sys");
    db->setPresent(crcOf("content o1"), "10", "o1.bin", "O", "Other");
    ASSERT_EQ(statuses("A B D Other/O"), "PY Y Y P");
    const Lines rescanned = scan();
    EXPECT_EQ(std::count(rescanned.begin(), rescanned.end(), "[C.zip]"), 1);
    // Another system's status is not this scan's to clean.
    EXPECT_EQ(statuses("A B D Other/O"), "YY N N P");
    EXPECT_EQ(counts, "1/0/2 2/0/2");

    db->cleanStatus();
    settings.fullScan = true;
    EXPECT_EQ(scan(), rescanned);
    EXPECT_EQ(statuses("A B D Other/O"), "YY N N N");
}

// A fix writes the rows whose status it changed and no other, and leaves
// the statuses as the scan after it finds them; a status another system's
// scan gave stays.
TEST_F(RescanTest, AFixWritesOnlyTheStatusesItChanges) {
    makeZips({{f() + "/E.zip", {{"d1.bin", "content d1"}}}});
    db->setPresent(crcOf("content o1"), "10", "o1.bin", "O", "Other");
    scan();
    ASSERT_EQ(statuses("A B D Other/O"), "YY Y P P");
    ASSERT_TRUE(run(std::make_unique<FixJob>(db, host, settings, "Sys")));
    EXPECT_EQ(db->heldStatusWrites(), 1u);  // d1: from elsewhere to in its set
    EXPECT_EQ(statuses("A B D Other/O"), "YY Y Y P");
    EXPECT_EQ(folderState(f()), (Lines{"A.zip: a1.bin=content a1 a2.bin=content a2", "B.zip: b1.bin=content b1",
                                       "D.zip: d1.bin=content d1"}));
    scan();
    EXPECT_EQ(db->heldStatusWrites(), 0u);
    EXPECT_EQ(statuses("A B D Other/O"), "YY Y Y P");
    EXPECT_EQ(counts, "3/0/0 4/0/0");
}

// The rows an archive made "have" are marked again from the cache only while
// the catalogue's rows and the merge modes are those they were found under.
TEST_F(RescanTest, RowsMadeHaveAreBelievedOnlyUnderTheSameCatalogue) {
    scan();
    forgeBPlacedNothing();
    EXPECT_EQ(scan(), said);
    EXPECT_EQ(statuses("A B"), "YY N");

    // A scan that believed the forged record keeps it: a full one mends it.
    fullScan();
    forgeBPlacedNothing();
    settings.mergeMode = MergeMode::NonMerged;
    EXPECT_EQ(scan(), said);
    EXPECT_EQ(statuses("A B"), "YY Y");
    settings.mergeMode = MergeMode::Split;
    fullScan();

    forgeBPlacedNothing();
    addRoms({"Other/P/p1.bin"});
    EXPECT_EQ(scan(), said);
    EXPECT_EQ(statuses("A B"), "YY Y");
}

}  // namespace
}  // namespace quorvane::testing
