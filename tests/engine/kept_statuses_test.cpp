// A re-scan that finds every archive unchanged and in place takes the
// statuses and counts the last scan left, kept beside its cache, as long as
// nothing they depend on has changed since.
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/scan_cache.h"
#include "engine/scan_job.h"
#include "engine/scan_outcome.h"
#include "support/content_crc.h"

namespace quorvane::testing {
namespace {

class KeptStatusesTest : public RescanFixture {
protected:
    std::string outcomePath() const { return ScanOutcome::pathFor(db->basePath(), "Sys"); }
    // Makes the kept outcome claim 99 complete games: a scan that says so took it.
    void forgeCounts() {
        std::optional<ScanOutcome> kept = ScanOutcome::read(outcomePath());
        ASSERT_TRUE(kept.has_value());
        kept->counts.gamesComplete = 99;
        ASSERT_TRUE(kept->write(outcomePath()));
    }
    // Scans until the outcome is kept (the counts `expected`), then forges it.
    void keepAndForge(const std::string& expected = "2/0/1 3/0/1") {
        scan();
        // Past the file system's clock tick, so that a later write shows.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        scan();
        ASSERT_EQ(counts, expected);
        forgeCounts();
        scan();
        ASSERT_EQ(counts, "99" + expected.substr(expected.find('/')));
    }
    // The counts of a scan from here.
    std::string scanCounts() {
        scan();
        return counts;
    }
};

TEST_F(KeptStatusesTest, AnUnchangedFolderTakesTheKeptCountsAndSaysTheSame) {
    const Lines said = scan();
    EXPECT_EQ(said, Lines{scanning("Sys")});
    EXPECT_EQ(statuses("A B D Other/O"), "YY Y N N");
    ASSERT_TRUE(pathExists(outcomePath()));
    EXPECT_EQ(counts, "2/0/1 3/0/1");
    forgeCounts();
    EXPECT_EQ(scan(), said);
    EXPECT_EQ(counts, "99/0/1 3/0/1");
    EXPECT_EQ(statuses("A B D Other/O"), "YY Y N N");

    // Also when the job takes each stamp itself.
    const AnalysisOptions oneThread{.loadThreads = OrderedLoader::kOnCallingThread, .settleTime = {}};
    EXPECT_EQ(scan(oneThread), said);
    EXPECT_EQ(counts, "99/0/1 3/0/1");

    // --full tests everything and counts the rows again.
    settings.fullScan = true;
    EXPECT_EQ(scanCounts(), "2/0/1 3/0/1");
}

TEST_F(KeptStatusesTest, AStatusWrittenSinceIsNotBelieved) {
    keepAndForge();
    db->setHave(crcOf("content d1"), "10", "d1.bin", "D", "Sys");
    db->setPresent(crcOf("content a1"), "10", "a1.bin", "A", "Sys");
    EXPECT_EQ(scanCounts(), "2/0/1 3/0/1");
    EXPECT_EQ(statuses("A B D"), "YY Y N");
}

TEST_F(KeptStatusesTest, AChangedCatalogueOrMergeModeIsNotBelieved) {
    keepAndForge();
    addRoms({"Other/P/p1.bin"});
    EXPECT_EQ(scanCounts(), "2/0/1 3/0/1");

    keepAndForge();
    settings.mergeMode = MergeMode::NonMerged;
    EXPECT_EQ(scanCounts(), "2/0/1 3/0/1");
}

TEST_F(KeptStatusesTest, AChangedArchiveOrCacheIsNotBelieved) {
    keepAndForge();
    // Same size, other content: the times and the inode tell.
    makeZips({{f() + "/B.zip", {{"b1.bin", "content xx"}}}});
    const Lines said = scan();
    EXPECT_EQ(counts, "1/0/2 2/0/2");
    EXPECT_EQ(statuses("A B D"), "YY N N");
    EXPECT_GT(said.size(), 1u);

    makeZips({{f() + "/B.zip", {{"b1.bin", "content b1"}}}});
    keepAndForge();
    // The cache rewritten, as long as it was, with B.zip's record saying
    // it made A.zip's first row "have" in place of its own.
    forgeScanRecord("B.zip", rowsStamp(), [](const ScanCache& cache, ScanCache::Record& forged) {
        ASSERT_TRUE(forged.allInPlace);
        ASSERT_EQ(forged.haveRows.size(), 1u);
        forged.haveRows[0] = cache.find("A.zip")->haveRows.at(0);
    });
    EXPECT_EQ(scanCounts(), "1/0/2 2/0/2");

    // An archive added, or one gone.
    fullScan();
    keepAndForge();
    makeZips({{f() + "/D.zip", {{"d1.bin", "content d1"}}}});
    EXPECT_EQ(scanCounts(), "3/0/0 4/0/0");
    keepAndForge("3/0/0 4/0/0");
    ASSERT_EQ(::unlink((f() + "/D.zip").c_str()), 0);
    EXPECT_EQ(scanCounts(), "2/0/1 3/0/1");

    // An archive renamed: as many names, one of them another.
    keepAndForge();
    ASSERT_EQ(::rename((f() + "/B.zip").c_str(), (f() + "/C.zip").c_str()), 0);
    EXPECT_EQ(scanCounts(), "1/1/1 2/1/1");
}

TEST_F(KeptStatusesTest, OnlyAFolderOfArchivesAllInPlaceKeepsOne) {
    // Not right after the statuses were written: a write within the same
    // clock tick could not be told from them. (The archives are older than
    // that, so the cache is kept.)
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    scan(AnalysisOptions{.loadThreads = 0, .settleTime = std::chrono::milliseconds(200)});
    EXPECT_EQ(statuses("A B D"), "YY Y N");
    EXPECT_TRUE(pathExists(scanCachePath()));
    EXPECT_FALSE(pathExists(outcomePath()));

    keepAndForge();
    // A file to report (what the last scan said is not kept) ...
    writeFile(f() + "/note.txt", "not a rom");
    const Lines said = scan();
    EXPECT_EQ(counts, "2/0/1 3/0/1");
    EXPECT_GT(said.size(), 1u);
    ASSERT_EQ(::unlink((f() + "/note.txt").c_str()), 0);
    // ... or a sub-folder, where disk images may be.
    keepAndForge();
    ASSERT_TRUE(makeFolders(f() + "/disks"));
    EXPECT_EQ(scanCounts(), "2/0/1 3/0/1");
}

TEST(ScanOutcomeFile, ReadsBackAndIsIgnoredWhenDamaged) {
    TempDir dir;
    ScanOutcome outcome{"/roms/Sys", "stamp", 1234, 0xCAFEF00D,
                        FileStamp{.valid = true, .device = 1, .inode = 2, .size = 3, .modifiedNs = 4, .changedNs = 5},
                        StatusCounts{1, 2, 3, 4, 5, 6}};
    const std::string path = dir.file("cat.scans/Sys.status");
    ASSERT_TRUE(outcome.write(path));
    const std::optional<ScanOutcome> back = ScanOutcome::read(path);
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(*back == outcome);
    EXPECT_EQ(back->counts.romsElsewhere, 6);
    EXPECT_TRUE(back->holdsFor("/roms/Sys", "stamp", 1234, 0xCAFEF00D, outcome.records));
    EXPECT_FALSE(back->holdsFor("/roms/Sys", "", 1234, 0xCAFEF00D, outcome.records));
    EXPECT_FALSE(back->holdsFor("/roms/Sys", "stamp", 1234, 0xCAFEF00E, outcome.records));
    FileStamp touched = outcome.records;
    touched.changedNs = 6;
    EXPECT_FALSE(back->holdsFor("/roms/Sys", "stamp", 1234, 0xCAFEF00D, touched));

    const std::string bytes = readFile(path);
    for (size_t at : {size_t{9}, bytes.size() / 2, bytes.size() - 1}) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        writeFile(path, damaged);
        EXPECT_FALSE(ScanOutcome::read(path).has_value()) << at;
    }
    writeFile(path, bytes.substr(0, bytes.size() - 5));
    EXPECT_FALSE(ScanOutcome::read(path).has_value());
}

// Records are looked up by name in the order they were written: a cache
// whose records are out of order (or named twice) is no cache.
TEST(ScanCacheOrder, ACacheWithRecordsOutOfOrderIsIgnored) {
    TempDir dir;
    const std::string path = dir.file("cat.scans/Sys.scan");
    ScanCache cache;
    const FileStamp stamp{.valid = true, .device = 1, .inode = 2, .size = 3, .modifiedNs = 4, .changedNs = 5};
    cache.put("b.zip", {stamp, ScanCache::Kind::Zip, encodeListing({})});
    cache.put("a.zip", {stamp, ScanCache::Kind::Zip, encodeListing({})});
    ASSERT_TRUE(cache.write(path, "/roms/Sys", {}, "stamp"));
    const ScanCache back = ScanCache::read(path, "/roms/Sys", {}, "stamp");
    ASSERT_EQ(back.size(), 2u);
    ASSERT_NE(back.find("a.zip", stamp), nullptr);
    ScanCache::Glance glance;
    EXPECT_TRUE(back.glance("b.zip", glance, 0));
    EXPECT_EQ(glance.stamp, stamp);
    EXPECT_FALSE(back.glance("c.zip", glance, 1));

    // The two records swapped, the CRC made right again.
    const std::string bytes = readFile(path);
    const size_t a = bytes.find(std::string("\x05\0\0\0a.zip", 9));
    const size_t b = bytes.find(std::string("\x05\0\0\0b.zip", 9));
    ASSERT_LT(a, b);
    const size_t end = bytes.size() - 4;
    for (const std::string& body : {bytes.substr(0, a) + bytes.substr(b, end - b) + bytes.substr(a, b - a),
                                    bytes.substr(0, a) + bytes.substr(a, b - a) + bytes.substr(a, b - a)}) {
        std::string forged = body;
        const std::uint32_t crc = libdeflate_crc32(0, forged.data(), forged.size());
        for (int i = 0; i < 4; ++i) forged.push_back(static_cast<char>((crc >> (8 * i)) & 0xFF));
        writeFile(path, forged);
        EXPECT_TRUE(ScanCache::read(path, "/roms/Sys", {}, "stamp").empty());
    }
}

}  // namespace
}  // namespace quorvane::testing
