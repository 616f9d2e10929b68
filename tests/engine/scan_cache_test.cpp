#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

#include "archive/file_ops.h"
#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/fix_job.h"
#include "engine/scan_cache.h"
#include "engine/scan_job.h"

namespace quorvane::testing {
namespace {

// Counts the files the engine opens for reading, by file name.
class OpenCounter : public FileOps {
public:
    using FileOps::openRead;
    int openRead(const std::string& path, const ReadOpen& how) override {
        {
            std::lock_guard lock(mutex_);
            ++opens_[baseName(path)];
        }
        return FileOps::openRead(path, how);
    }
    int opens(const std::string& name) {
        std::lock_guard lock(mutex_);
        return opens_[name];
    }

private:
    std::mutex mutex_;
    std::map<std::string, int> opens_;
};

// Keeps `path`'s modification time while `change` rewrites it.
void keepingModifiedTime(const std::string& path, const std::function<void()>& change) {
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    change();
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    ASSERT_EQ(after.st_size, before.st_size);
}

class ScanCacheTest : public EngineTest {
protected:
    void SetUp() override {
        addRoms({"Sys/A/a1.bin", "Sys/A/a2.bin", "Sys/B/b1.bin", "Other/O/o1.bin"});
        makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}, {"junk.bin", "junk"}}},
                  {f() + "/C.zip", {{"b1.bin", "content b1"}, {"o1.bin", "content o1"}, {"dup.bin", "content a1"}}}});
        writeFile(f() + "/bad.zip", "PK\x03\x04 truncated");
        writeFile(f() + "/note.txt", "not a rom");
    }
    // A scan that keeps even files written a moment ago as tested, from
    // statuses as an import leaves them (a scan of Sys leaves Other's as they are).
    Lines scan(OpenCounter* counter = nullptr, AnalysisOptions options = {.loadThreads = 0, .settleTime = {}}) {
        db->cleanStatus();
        RecordingHost fresh;
        std::optional<ScopedFileOps> scope;
        if (counter) scope.emplace(*counter);
        ScanJob job(db, fresh, settings, "Sys", options);
        EXPECT_TRUE(job.prepare());
        job.execute();
        unreadable = fresh.report()->systems.back().archivesUnreadable;
        return transcriptOf(fresh);
    }
    // A fix of Sys, its transcript.
    Lines fixSys(OpenCounter* counter = nullptr, AnalysisOptions options = {}) {
        RecordingHost fixing;
        std::optional<ScopedFileOps> scope;
        if (counter) scope.emplace(*counter);
        FixJob job(db, fixing, settings, "Sys", options);
        EXPECT_TRUE(job.prepare());
        job.execute();
        return transcriptOf(fixing);
    }

    const Lines full = {scanning("Sys"), "Error in zip bad.zip: -102 (not a zip archive)", "[A.zip]",
                        "  junk.bin cannot be identified.", "  junk.bin should be deleted.", "[C.zip]",
                        "  b1.bin has been identified as being: Sys/B/b1.bin",
                        "  o1.bin has been identified as being: Other/O/o1.bin", "  o1.bin should be deleted.",
                        "  dup.bin should be deleted.", "[note.txt]", "  note.txt cannot be identified.",
                        "  note.txt should be deleted."};
    int unreadable = 0;
};

TEST_F(ScanCacheTest, ARescanReportsWhatTheFullScanDidWithoutOpeningAnUnchangedFile) {
    OpenCounter first;
    EXPECT_EQ(scan(&first), full);
    EXPECT_EQ(unreadable, 1);
    EXPECT_GE(first.opens("A.zip"), 1);
    EXPECT_GE(first.opens("note.txt"), 1);
    ASSERT_TRUE(isRegularFile(scanCachePath()));
    EXPECT_EQ(statuses("A B Other/O"), "YY P P");
    // A scan changes nothing on disk.
    EXPECT_EQ(zipContents(f() + "/C.zip"), "b1.bin=content b1 o1.bin=content o1 dup.bin=content a1");

    OpenCounter again;
    EXPECT_EQ(scan(&again), full);
    EXPECT_EQ(unreadable, 1);
    EXPECT_EQ(statuses("A B Other/O"), "YY P P");
    EXPECT_EQ(again.opens("A.zip") + again.opens("C.zip") + again.opens("note.txt"), 0);
    // A file that failed is tested every time: its failure may have been the disk's.
    EXPECT_GE(again.opens("bad.zip"), 1);

    // --full, or the setting, tests every file again and says the same.
    settings.fullScan = true;
    OpenCounter forced;
    EXPECT_EQ(scan(&forced), full);
    EXPECT_GE(forced.opens("A.zip"), 1);
    EXPECT_GE(forced.opens("note.txt"), 1);
}

TEST_F(ScanCacheTest, AFileChangedInAnyWayTheStampShowsIsTestedAgain) {
    scan();
    // Same size and modification time: a new file (another inode) and one
    // rewritten in place (another change time); and one of another size.
    keepingModifiedTime(f() + "/A.zip", [&] {
        makeZips({{f() + "/new.zip", {{"a1.bin", "content x1"}, {"a2.bin", "content a2"}, {"junk.bin", "junk"}}}});
        ASSERT_EQ(std::rename((f() + "/new.zip").c_str(), (f() + "/A.zip").c_str()), 0);
    });
    keepingModifiedTime(f() + "/note.txt", [&] {
        const int fd = ::open((f() + "/note.txt").c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "NOT", 3, 0), 3);
        ::close(fd);
    });
    makeZips({{f() + "/C.zip", {{"b1.bin", "content b1"}}}});

    OpenCounter counter;
    EXPECT_EQ(scan(&counter),
              (Lines{scanning("Sys"), "Error in zip bad.zip: -102 (not a zip archive)", "[A.zip]",
                     "  a1.bin cannot be identified.", "  a1.bin should be deleted.", "  junk.bin cannot be identified.",
                     "  junk.bin should be deleted.", "[C.zip]", "  b1.bin has been identified as being: Sys/B/b1.bin",
                     "[note.txt]", "  note.txt cannot be identified.", "  note.txt should be deleted."}));
    EXPECT_EQ(statuses("A B Other/O"), "NY P N");
    EXPECT_GE(counter.opens("A.zip"), 1);
    EXPECT_GE(counter.opens("note.txt"), 1);
}

// Enough files that their stamps are taken on two threads: the re-scan
// tests again the files changed since, under whatever name, and no other.
TEST_F(ScanCacheTest, ARescanOfALargeFolderTestsTheFilesChangedAndNoOther) {
    auto loose = [&](int i) { return "loose" + std::to_string(i) + ".bin"; };
    for (int i = 0; i < 1100; ++i) writeFile(f() + "/" + loose(i), "data " + std::to_string(i));
    scan();
    const std::vector<int> changed{0, 517, 1099};
    for (int i : changed)
        keepingModifiedTime(f() + "/" + loose(i),
                            [&] { writeFile(f() + "/" + loose(i), "DATA " + std::to_string(i)); });
    OpenCounter counter;
    scan(&counter);
    for (int i = 0; i < 1100; ++i) {
        const bool isChanged = std::find(changed.begin(), changed.end(), i) != changed.end();
        EXPECT_EQ(counter.opens(loose(i)) > 0, isChanged) << loose(i);
    }
    EXPECT_EQ(counter.opens("A.zip") + counter.opens("C.zip"), 0);
}

// A forged record shows what a scan skips, and that a fix believes no
// listing the archive's own directory does not have, of an archive it acts
// on; one whose entries were all in place it does not open.
TEST_F(ScanCacheTest, ScanTrustsAnUnchangedFilesRecordAndFixChecksItsListing) {
    addRoms({"Sys/D/d1.bin"});
    makeZips({{f() + "/D.zip", {{"d1.bin", "content d1"}}}});
    scan();
    ASSERT_EQ(ScanCache::read(scanCachePath(), f(), {}).size(), 4u);  // A.zip, C.zip, D.zip, note.txt; never bad.zip
    // The record says C.zip holds nothing.
    forgeScanRecord("C.zip", "", [](const ScanCache&, ScanCache::Record& r) { r.listing = encodeListing({}); });

    const Lines seen = scan();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "[C.zip]"), 0);
    EXPECT_EQ(statuses("A B D Other/O"), "YY N Y N");

    OpenCounter counter;
    fixSys(&counter);
    // Fix moved C.zip's real b1.bin to its set: it read the archive.
    EXPECT_EQ(zipContents(f() + "/B.zip"), "b1.bin=content b1");
    EXPECT_EQ(counter.opens("D.zip"), 0);
    EXPECT_EQ(statuses("A B D"), "YY Y Y");
}

// What a fix cannot see: data damaged under an unchanged stamp and listing.
// The setting (fix --full) tests it again.
TEST_F(ScanCacheTest, FixBelievesTheLastTestOfAnUnchangedArchivesData) {
    makeZips({{f() + "/B.zip", {{"b1.bin", "content b1"}}}});
    scan();
    // The first byte of b1.bin's data, after its local header and name.
    std::string bytes = readFile(f() + "/B.zip");
    const size_t data = 30 + static_cast<unsigned char>(bytes[26]) + static_cast<unsigned char>(bytes[28]);
    bytes[data] = static_cast<char>(bytes[data] ^ 0x5a);
    writeFile(f() + "/B.zip", bytes);
    // The record made the file's again, as if it had been damaged in place.
    forgeScanRecord("B.zip", "", [&](const ScanCache&, ScanCache::Record& r) { r.stamp = stampOf(f() + "/B.zip"); });
    auto fix = [&] {
        const Lines seen = fixSys();
        return std::count_if(seen.begin(), seen.end(),
                             [](const std::string& line) { return line.starts_with("Error in zip B.zip"); });
    };
    EXPECT_EQ(fix(), 0);
    EXPECT_EQ(readFile(f() + "/B.zip"), bytes);

    settings.fullScan = true;
    EXPECT_EQ(fix(), 1);
    EXPECT_NE(readFile(f() + "/B.zip"), bytes);  // moved aside
}

// A fix keeps what its first pass tested: the scan after it reads again
// only what the fix changed or made, and says what a full scan says.
TEST_F(ScanCacheTest, TheScanAfterAFixReadsOnlyWhatTheFixChanged) {
    addRoms({"Sys/D/d1.bin"});
    makeZips({{f() + "/D.zip", {{"d1.bin", "content d1"}}}});
    fixSys(nullptr, {.settleTime = {}});
    OpenCounter counter;
    const Lines seen = scan(&counter);
    EXPECT_EQ(counter.opens("D.zip"), 0);
    EXPECT_GE(counter.opens("A.zip"), 1);  // its junk taken out
    EXPECT_GE(counter.opens("B.zip"), 1);  // made of C.zip's b1.bin
    settings.fullScan = true;
    EXPECT_EQ(scan(), seen);
}

// A fix that writes the cache again keeps the last scan's rows of the files
// it found as recorded: the next fix believes D.zip's entries in place.
TEST_F(ScanCacheTest, AFixKeepsTheLastScansRowsOfTheFilesItFoundAsRecorded) {
    addRoms({"Sys/D/d1.bin", "Sys/E/e1.bin"});
    makeZips({{f() + "/D.zip", {{"d1.bin", "content d1"}}}});
    scan();
    makeZips({{f() + "/E.zip", {{"e1.bin", "content e1"}}}});
    fixSys(nullptr, {.settleTime = {}});
    ASSERT_TRUE(ScanCache::read(scanCachePath(), f(), {}).find("E.zip"));
    OpenCounter counter;
    fixSys(&counter, {.settleTime = {}});
    EXPECT_EQ(counter.opens("D.zip"), 0);
    EXPECT_EQ(statuses("D E"), "Y Y");
}

// Records stand for the files as the fix found them, under the names it
// found them by: nothing new to keep, nothing written.
TEST_F(ScanCacheTest, AFixThatFoundEveryFileAsRecordedLeavesTheCacheAlone) {
    addRoms({"Sys/D/d1.bin"});
    makeZips({{f() + "/d.zip", {{"d1.bin", "content d1"}}}});
    scan();
    const FileStamp before = stampOf(scanCachePath());
    fixSys(nullptr, {.settleTime = {}});
    EXPECT_TRUE(isRegularFile(f() + "/D.zip"));  // renamed
    EXPECT_EQ(stampOf(scanCachePath()), before);
}

TEST_F(ScanCacheTest, FilesChangedJustBeforeTheScanAreNotKept) {
    scan(nullptr, AnalysisOptions{});  // the default: changes of the last moments are not trusted
    EXPECT_FALSE(pathExists(scanCachePath()));
    OpenCounter counter;
    scan(&counter, AnalysisOptions{});
    EXPECT_GE(counter.opens("A.zip"), 1);
}

TEST_F(ScanCacheTest, ADamagedOrForeignCacheIsIgnored) {
    scan();
    std::string bytes = readFile(scanCachePath());
    ASSERT_GT(bytes.size(), 64u);
    const ScanCache::Digests none{};
    EXPECT_EQ(ScanCache::read(scanCachePath(), f(), none).size(), 3u);
    // Other digests or another folder: a listing of other facts.
    EXPECT_TRUE(ScanCache::read(scanCachePath(), f(), {.md5 = true}).empty());
    EXPECT_TRUE(ScanCache::read(scanCachePath(), f() + "x", none).empty());
    // Any byte changed, cut short, or another version.
    for (size_t at : {size_t{9}, bytes.size() / 2, bytes.size() - 1}) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        writeFile(scanCachePath(), damaged);
        EXPECT_TRUE(ScanCache::read(scanCachePath(), f(), none).empty()) << at;
    }
    writeFile(scanCachePath(), bytes.substr(0, bytes.size() - 7));
    EXPECT_TRUE(ScanCache::read(scanCachePath(), f(), none).empty());

    // A scan over the damaged cache reads every file and says the same.
    OpenCounter counter;
    EXPECT_EQ(scan(&counter), full);
    EXPECT_GE(counter.opens("A.zip"), 1);
    EXPECT_GE(counter.opens("C.zip"), 1);
    // ... and leaves a sound cache for the next.
    EXPECT_EQ(ScanCache::read(scanCachePath(), f(), none).size(), 3u);
}

// The catalogue stamp a cache was written under, read from its header.
std::string catalogueStampOf(const std::string& bytes) {
    auto textAt = [&](size_t& at) {
        std::uint32_t size = 0;
        for (int i = 0; i < 4; ++i) size |= std::uint32_t{static_cast<unsigned char>(bytes.at(at + i))} << (8 * i);
        at += 4 + size;
        return bytes.substr(at - size, size);
    };
    size_t at = 8 + 4 + 1;
    textAt(at);  // the folder
    return textAt(at);
}

TEST_F(ScanCacheTest, RowsFoundAreBelievedOnlyWhileTheCatalogueIsUnchanged) {
    // A cache that names junk.bin's rows as a1.bin's: what a scan then says
    // shows whether it believed the rows or looked junk.bin up.
    const auto forgeJunkAsA1 = [&] {
        const std::string stamp = catalogueStampOf(readFile(scanCachePath()));
        ASSERT_FALSE(stamp.empty());
        forgeScanRecord("A.zip", stamp, [](const ScanCache&, ScanCache::Record& forged) {
            ASSERT_EQ(forged.found.size(), 3u);  // a1.bin, a2.bin, junk.bin
            ASSERT_FALSE(forged.found[0].empty());
            FoundRowLists rows;
            for (size_t file : {0, 1, 0}) rows.addList(forged.found[file]);
            forged.found = rows;
        });
    };
    EXPECT_EQ(scan(), full);
    forgeJunkAsA1();
    const Lines believed = scan();
    EXPECT_EQ(std::count(believed.begin(), believed.end(), "  junk.bin cannot be identified."), 0);
    EXPECT_EQ(std::count(believed.begin(), believed.end(), "  junk.bin should be deleted."), 1);

    // Another merge mode places the same rows elsewhere.
    forgeJunkAsA1();
    settings.mergeMode = MergeMode::NonMerged;
    EXPECT_EQ(scan(), full);
    settings.mergeMode = MergeMode::Split;
    EXPECT_EQ(scan(), full);

    // The DAT imported again, in another order and with junk.bin in it: every
    // row has moved. The listings still hold; the rows are looked up again.
    forgeJunkAsA1();
    ASSERT_TRUE(db->deleteSystem("Sys"));
    addRom("Sys", "J", "junk.bin", "junk");
    addRoms({"Sys/B/b1.bin", "Sys/A/a2.bin", "Sys/A/a1.bin"});
    OpenCounter counter;
    const Lines rescanned = scan(&counter);
    EXPECT_EQ(counter.opens("A.zip") + counter.opens("C.zip"), 0);
    EXPECT_EQ(std::count(rescanned.begin(), rescanned.end(), "  junk.bin has been identified as being: Sys/J/junk.bin"),
              1);
    const std::string afterRescan = statuses("A B J Other/O");
    settings.fullScan = true;
    EXPECT_EQ(scan(), rescanned);
    EXPECT_EQ(statuses("A B J Other/O"), afterRescan);
    EXPECT_EQ(afterRescan, "YY P P P");
}

TEST(ScanCacheRecords, AStampMatchesOnlyWhenEveryPartIsEqual) {
    ScanCache cache;
    const FileStamp stamp{.valid = true, .device = 1, .inode = 2, .size = 3, .modifiedNs = 4, .changedNs = 5};
    cache.put("a.zip", {stamp, ScanCache::Kind::Zip, encodeListing({})});
    EXPECT_NE(cache.find("a.zip", stamp), nullptr);
    EXPECT_EQ(cache.find("b.zip", stamp), nullptr);
    std::vector<FileStamp> others(6, stamp);
    others[0].valid = false;
    others[1].device = 9;
    others[2].inode = 9;
    others[3].size = 9;
    others[4].modifiedNs = 9;
    others[5].changedNs = 9;
    for (size_t part = 0; part < others.size(); ++part) EXPECT_EQ(cache.find("a.zip", others[part]), nullptr) << part;
    std::vector<File> files{File("x"), File(std::string("with\nnewline\0and nul", 20))};
    files[0].crc = "0000ABCD";
    files[1].sha1 = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
    std::vector<File> back;
    const std::string listing = encodeListing(files);
    ASSERT_TRUE(decodeListing(listing, back));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].name, files[1].name);
    EXPECT_EQ(back[1].sha1, files[1].sha1);
    EXPECT_EQ(back[0].crc, "0000ABCD");
    EXPECT_FALSE(decodeListing(listing.substr(0, listing.size() - 1), back));
    EXPECT_FALSE(decodeListing(listing + "x", back));
}

// A large collection's cache goes to disk a piece at a time; it must read
// back whole, and a cache that cannot be written leaves nothing behind.
TEST(ScanCacheRecords, AManyMegabyteCacheReadsBackWholeAndAFailedWriteLeavesNoFile) {
    TempDir dir;
    ScanCache cache;
    std::vector<File> files(3);
    for (int i = 0; i < 20000; ++i) {
        for (size_t k = 0; k < files.size(); ++k) {
            files[k].name = "game " + std::to_string(i) + "/rom" + std::to_string(k) + ".bin";
            files[k].crc = std::to_string(10000000 + i);
        }
        const FileStamp stamp{.valid = true, .device = 1, .inode = std::uint64_t(i), .size = i, .modifiedNs = 4,
                              .changedNs = 5};
        ScanCache::Record record{stamp, ScanCache::Kind::Zip, encodeListing(files)};
        record.found.addList(std::vector<FoundRow>{{.offset = std::uint64_t(i), .matched = true}});
        cache.put("game " + std::to_string(i) + ".zip", std::move(record));
    }
    const std::string path = dir.file("cat.scans/Sys.scan");
    ASSERT_TRUE(cache.write(path, "/roms/Sys", {}, "stamp"));
    ASSERT_GT(std::filesystem::file_size(path), 3u << 20);
    const ScanCache back = ScanCache::read(path, "/roms/Sys", {}, "stamp");
    ASSERT_EQ(back.size(), cache.size());
    const ScanCache::Record* last = back.find("game 19999.zip");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->listing, cache.find("game 19999.zip")->listing);
    ASSERT_EQ(last->found.size(), 1u);
    ASSERT_EQ(last->found[0].size(), 1u);
    EXPECT_EQ(last->found[0][0].offset, 19999u);
    // A record another cache keeps stays whole when the cache it was read into goes.
    std::shared_ptr<const ScanCache::Record> kept;
    {
        const ScanCache again = ScanCache::read(path, "/roms/Sys", {}, "stamp");
        kept = again.share("game 7.zip");
    }
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(*kept, *cache.find("game 7.zip"));

    // A disk that fills up halfway: the old cache stays, no piece is left.
    const std::string before = readFile(path);
    cache.erase("game 0.zip");
    bool written = true;
    withFileSizeLimit(2u << 20, [&] { written = cache.write(path, "/roms/Sys", {}, "stamp"); });
    EXPECT_FALSE(written);
    EXPECT_TRUE(readFile(path) == before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("cat.scans")), {}), 1);
}

// A scan makes its next cache with the encoder: it must be the very file
// write() makes of the same records, and know itself in the cache read.
TEST(ScanCacheRecords, AnEncodedCacheIsTheFileWriteMakesAndMatchesOnlyItsEqual) {
    TempDir dir;
    std::vector<std::pair<std::string, ScanCache::Record>> records;
    for (int i = 0; i < 30; ++i) {
        const FileStamp stamp{.valid = true, .device = 2, .inode = std::uint64_t(100 + i), .size = i, .modifiedNs = 7,
                              .changedNs = 9};
        std::vector<File> files(1 + i % 3);
        for (size_t k = 0; k < files.size(); ++k) files[k].name = "r" + std::to_string(k);
        ScanCache::Record r{stamp, i % 5 == 0 ? ScanCache::Kind::Packed : ScanCache::Kind::Zip, encodeListing(files)};
        if (i % 2 == 0) {
            for (size_t k = 0; k < files.size(); ++k) {
                for (size_t row = 0; row <= k; ++row)
                    r.found.add({.offset = std::uint64_t(i + row), .matched = i % 4 == 0});
                r.found.endList();
            }
            r.allInPlace = i % 4 == 0;
            if (r.allInPlace) r.haveRows = {std::uint64_t(i), std::uint64_t(i + 1)};
        }
        records.emplace_back("set " + std::to_string(1000 + i) + ".zip", std::move(r));
    }
    auto encode = [&](const std::string& catalogue) {
        ScanCache::Encoder encoder("/roms/Sys", {.md5 = true}, catalogue);
        for (const auto& [name, record] : records) encoder.add(name, record);
        return std::move(encoder).finish();
    };
    ScanCache built;
    for (const auto& [name, record] : records) built.put(name, record);
    const ScanCache encoded = encode("stamp");
    ASSERT_EQ(encoded.size(), records.size());
    ASSERT_TRUE(built.write(dir.file("built.scan"), "/roms/Sys", {.md5 = true}, "stamp"));
    ASSERT_TRUE(encoded.write(dir.file("encoded.scan"), "/roms/Sys", {.md5 = true}, "stamp"));
    EXPECT_TRUE(readFile(dir.file("encoded.scan")) == readFile(dir.file("built.scan")));
    ASSERT_NE(encoded.find("set 1004.zip"), nullptr);
    EXPECT_EQ(*encoded.find("set 1004.zip"), records[4].second);

    const ScanCache read = ScanCache::read(dir.file("built.scan"), "/roms/Sys", {.md5 = true}, "stamp");
    ASSERT_EQ(read.size(), records.size());
    EXPECT_TRUE(encode("stamp").sameAsRead(read, "stamp"));
    EXPECT_FALSE(encode("other stamp").sameAsRead(read, "other stamp"));
    records[12].second.haveRows.back() += 1;
    EXPECT_FALSE(encode("stamp").sameAsRead(read, "stamp"));
}

}  // namespace
}  // namespace quorvane::testing
