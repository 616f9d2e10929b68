#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <mutex>
#include <tuple>

#include "archive/archive_fixtures.h"
#include "archive/chd_header.h"
#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/folder_listing.h"
#include "engine/rebuild_job.h"
#include "engine/scan_job.h"
#include "support/chd_image.h"
#include "support/temp_dir.h"
#include "tools/rom_identifier.h"

namespace quorvane::testing {
namespace {

std::string sha(char digit) { return std::string(40, digit); }

// Every file below `folder` that holds a CHD, "path below folder=SHA-1" (or
// "=?" when its header cannot be read), sorted.
std::vector<std::string> disksBelow(const std::string& folder) {
    std::vector<std::string> paths, out;
    collectFilesRecursive(folder, paths);
    for (const std::string& path : paths) {
        ChdHeader header;
        out.push_back(path.substr(folder.size() + 1) + "=" + (readChdHeader(path, header).ok() ? header.sha1 : "?"));
    }
    return out;
}

class DiskTest : public EngineTest {
protected:
    DiskTest() { makeFolders(f()); }

    // Game `game` of `system` lists the disk `name` with SHA-1 `sha1`, as an import stores a <disk>.
    void addDisk(const std::string& game, const std::string& name, const std::string& sha1,
                 const std::string& cloneOf = {}, const std::string& system = "Sys") {
        ASSERT_TRUE(db->addRom({.system = system,
                                .game = game,
                                .sha1 = sha1,
                                .romName = name,
                                .size = "-",
                                .cloneOf = cloneOf,
                                .version = "1",
                                .author = "t"}))
            << db->lastError();
    }
    void addClone(const std::string& clone, const std::string& parent) {
        ASSERT_TRUE(db->addGameFacts("Sys", "1", "t", GameFacts{clone, SetKind::Game, parent, ""}));
    }
    // A CHD of `version` at `path` (below the system folder unless absolute).
    std::string putDisk(const std::string& path, const std::string& sha1, unsigned version = 5) {
        const std::string full = path[0] == '/' ? path : f() + "/" + path;
        makeFolders(dirName(full));
        writeFile(full, chdImage(version, false, sha1));
        return full;
    }
    std::unique_ptr<FixJob> fixJob() {
        return std::make_unique<FixJob>(db, host, settings, "Sys", AnalysisOptions{OrderedLoader::kOnCallingThread});
    }
    const SystemReport& systemReport() const { return host.report()->systems.at(0); }
};

TEST_F(DiskTest, ScanKnowsEachDiskByTheSha1InItsHeader) {
    for (const auto& [game, digit] :
         std::map<std::string, char>{{"A", '1'}, {"B", '2'}, {"C", '3'}, {"D", '4'}, {"E", '5'}, {"F", '6'}})
        addDisk(game, std::string(1, static_cast<char>(game[0] + 32)) + ".chd", sha(digit));
    putDisk("A/a.chd", sha('1'), 3);
    putDisk("B/b.chd", sha('2'), 4);
    putDisk("C/c.chd", sha('3'), 5);
    putDisk("wrong/d.chd", sha('4'));    // in another game's folder
    putDisk("e.chd", sha('5'));          // in the system folder itself
    putDisk("A/extra.chd", sha('9'));    // no game lists it
    putDisk("C/blank.chd", kChdNoSha1);  // a blank image names nothing
    makeFolders(f() + "/B");
    writeFile(f() + "/B/bad.chd", chdImage(5).substr(0, 100));
    ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Sys")));

    EXPECT_EQ(statuses("A B C D E F"), "Y Y Y P P N");
    for (const char* line :
         {"  d.chd has been identified as being: Sys/D/d.chd", "  e.chd has been identified as being: Sys/E/e.chd",
          "  extra.chd cannot be identified.", "  extra.chd should be deleted.", "  blank.chd should be deleted.",
          "Error in disk image B/bad.chd: the file ends inside its CHD header (100 of 124 bytes)"})
        EXPECT_TRUE(hasLine(line)) << line;
    EXPECT_FALSE(hasLine("  c.chd should be deleted."));
    EXPECT_EQ(systemReport().disksFound, 8);
    EXPECT_EQ(systemReport().disksDamaged, 1);
}

TEST_F(DiskTest, FixMovesDisksIntoTheirGamesAndTheRestToTheBackup) {
    addDisk("A", "a.chd", sha('1'));
    addDisk("D", "d.chd", sha('4'));
    addDisk("E", "e.chd", sha('5'));
    putDisk("A/a.chd", sha('1'));
    putDisk("wrong/d.chd", sha('4'));
    putDisk("D/d.chd", sha('7'));  // other content where d.chd belongs
    putDisk("e.chd", sha('5'));
    putDisk("A/extra.chd", sha('9'));
    const std::string bad = chdStart(124, 6) + std::string(200, 'x');
    makeFolders(f() + "/B");
    writeFile(f() + "/B/bad.chd", bad);
    ASSERT_TRUE(run(fixJob()));

    EXPECT_EQ(disksBelow(f()), (Lines{"A/a.chd=" + sha('1'), "D/d.chd=" + sha('4'), "E/e.chd=" + sha('5')}));
    EXPECT_FALSE(pathExists(f() + "/wrong")) << "a game folder the fix emptied is removed";
    EXPECT_FALSE(pathExists(f() + "/B"));
    // Each keeps the game folder it was found in.
    EXPECT_EQ(backupContents(), (Lines{"Sys/A/extra.chd=" + chdImage(5, false, sha('9')), "Sys/B/bad.chd=" + bad,
                                       "Sys/D/d.chd=" + chdImage(5, false, sha('7'))}));
    EXPECT_EQ(statuses("A D E"), "Y Y Y");
    EXPECT_EQ(systemReport().stepsFailed, 0);
    EXPECT_EQ(systemReport().fix.movedIntoSets, 2);
    EXPECT_EQ(systemReport().fix.movedToBackup, 3);
}

TEST_F(DiskTest, DisksWithSwappedNamesBothEndUpRight) {
    addDisk("A", "a.chd", sha('1'));
    addDisk("B", "b.chd", sha('2'));
    putDisk("A/a.chd", sha('2'));
    putDisk("B/b.chd", sha('1'));
    ASSERT_TRUE(run(fixJob()));
    EXPECT_EQ(disksBelow(f()), (Lines{"A/a.chd=" + sha('1'), "B/b.chd=" + sha('2')}));
    EXPECT_EQ(backupContents(), Lines{});
    EXPECT_EQ(statuses("A B"), "Y Y");
}

TEST_F(DiskTest, MergeModesPutACloneDiskWhereTheModeWantsIt) {
    // Non-merged: parent and clone each hold the shared disk; the clone's own disk is in its own folder.
    addDisk("P", "p.chd", sha('1'));
    addDisk("C", "p.chd", sha('1'), "P");
    addDisk("C", "c.chd", sha('2'));
    addClone("C", "P");
    settings.systemMergeMode["Sys"] = MergeMode::NonMerged;
    putDisk("p.chd", sha('1'));
    putDisk("P/c.chd", sha('2'));
    ASSERT_TRUE(run(fixJob()));
    EXPECT_EQ(disksBelow(f()), (Lines{"C/c.chd=" + sha('2'), "C/p.chd=" + sha('1'), "P/p.chd=" + sha('1')}));
    EXPECT_EQ(statuses("P C"), "Y YY");

    // Merged: the clone has no folder; everything goes into the parent's, and the copy that is no longer wanted
    // goes to the backup folder.
    settings.systemMergeMode["Sys"] = MergeMode::Merged;
    ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Sys")));
    EXPECT_EQ(statuses("P C"), "Y YP");  // the shared disk is had in the parent's folder
    ASSERT_TRUE(run(fixJob()));
    EXPECT_EQ(disksBelow(f()), (Lines{"P/c.chd=" + sha('2'), "P/p.chd=" + sha('1')}));
    EXPECT_EQ(statuses("P C"), "Y YY");
    EXPECT_FALSE(pathExists(f() + "/C"));
    EXPECT_EQ(backupContents(), Lines{"Sys/C/p.chd=" + chdImage(5, false, sha('1'))});
}

TEST_F(DiskTest, RebuildCopiesDisksAndLeavesTheSourceAlone) {
    addDisk("A", "a.chd", sha('1'));
    addDisk("B", "b.chd", sha('2'));
    addDisk("B2", "b.chd", sha('2'));
    const std::string source = dir.file("source");
    putDisk(source + "/x/any name.chd", sha('1'), 3);
    putDisk(source + "/b.chd", sha('2'), 4);
    putDisk(source + "/junk.chd", sha('9'));
    writeFile(source + "/bad.chd", "MComprHD");
    const std::vector<std::string> before = disksBelow(source);
    ASSERT_TRUE(run(std::make_unique<RebuildJob>(db, host, settings, source)));

    EXPECT_EQ(disksBelow(source), before);
    EXPECT_EQ(readFile(source + "/b.chd"), chdImage(4, false, sha('2')));
    EXPECT_EQ(disksBelow(f()), (Lines{"A/a.chd=" + sha('1'), "B/b.chd=" + sha('2'), "B2/b.chd=" + sha('2')}));
    EXPECT_EQ(statuses("A B B2"), "Y Y Y");
    const RebuildCounts& c = host.report()->rebuild;
    // Added, sources used and unused, failed steps: the damaged one.
    EXPECT_EQ(std::tie(c.romsAdded, c.sourcesUsed, c.sourcesUnused, c.stepsFailed), std::tuple(3, 2, 2, 1));
}

TEST_F(DiskTest, TheIdentifierNamesADiskByItsHeader) {
    addDisk("A", "a.chd", sha('1'));
    const std::string known = putDisk("x.chd", sha('1'), 4), unknown = putDisk("y.chd", sha('2'));
    const std::string damaged = f() + "/z.chd";
    writeFile(damaged, "not a disk");
    JobReport report;
    const std::vector<RomMatch> hits = identifyArchives(*db, {known, unknown, damaged}, false, false, &host, &report);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].game + "/" + hits[0].name, "A/a.chd");
    EXPECT_EQ(hits[0].foundIn.archivePath, known);
    ASSERT_EQ(report.unmatched.size(), 1u);
    EXPECT_EQ(report.unmatched[0].entry, "y.chd");
    ASSERT_EQ(report.unreadable.size(), 1u);
    EXPECT_NE(report.unreadable[0].find("no MComprHD tag"), std::string::npos) << report.unreadable[0];
}

// Records how far into any CHD a read reaches.
struct ReadReach : FileOps {
    std::mutex mutex;
    std::map<int, std::string> open;
    uint64_t furthest = 0;
    using FileOps::openRead;
    int openRead(const std::string& path, const ReadOpen& how) override {
        const int fd = FileOps::openRead(path, how);
        std::lock_guard lock(mutex);
        if (fd >= 0) open[fd] = path;
        return fd;
    }
    ssize_t readAt(int fd, void* buffer, size_t size, uint64_t offset) override {
        const ssize_t n = FileOps::readAt(fd, buffer, size, offset);
        std::lock_guard lock(mutex);
        if (n > 0 && looksLikeChd(open[fd])) furthest = std::max(furthest, offset + static_cast<uint64_t>(n));
        return n;
    }
};

TEST_F(DiskTest, OnlyHeadersAreRead) {
    addDisk("A", "a.chd", sha('1'));
    addDisk("B", "b.chd", sha('2'));
    const std::string big = chdImage(5, false, sha('1')) + std::string(1 << 20, '\x11');
    writeFile(dir.file("source/a.chd"), big);
    writeFile(putDisk("b.chd", sha('2')), chdImage(5, false, sha('2')) + std::string(1 << 20, '\x22'));
    ReadReach reach;
    {
        ScopedFileOps scope(reach);
        ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Sys")));
        ASSERT_TRUE(run(std::make_unique<RebuildJob>(db, host, settings, dir.file("source"))));
        identifyArchives(*db, {dir.file("source/a.chd")}, true, true);
    }
    EXPECT_EQ(statuses("A B"), "Y P");
    EXPECT_EQ(readFile(f() + "/A/a.chd"), big);
    EXPECT_LE(reach.furthest, kChdHeaderProbeBytes);
}

TEST_F(DiskTest, AGameFolderThatCannotBeMadeIsReported) {
    addDisk("D", "d.chd", sha('4'));
    const std::string source = putDisk(dir.file("source/d.chd"), sha('4'));
    writeFile(f() + "/D", "a user's file where the game's folder would go");
    ASSERT_TRUE(run(std::make_unique<RebuildJob>(db, host, settings, dir.file("source"))));
    EXPECT_EQ(readFile(f() + "/D"), "a user's file where the game's folder would go");
    EXPECT_EQ(readFile(source), chdImage(5, false, sha('4')));
    EXPECT_EQ(host.report()->rebuild.stepsFailed, 1);
    EXPECT_EQ(statuses("D"), "N");
    EXPECT_TRUE(hasLine("  d.chd could not be put at " + f() + "/D/d.chd (File exists); it was left where it is."))
        << ::testing::PrintToString(transcript());
}

// Links refused, as across file systems: each copy is streamed.
struct NoLinks : FailingFileOps {
    using FailingFileOps::FailingFileOps;
    int link(const std::string&, const std::string&) override {
        errno = EXDEV;
        return -1;
    }
};

TEST_F(DiskTest, AFailedDiskCallAnywhereInACopyLosesNothing) {
    addDisk("P", "p.chd", sha('1'));
    addDisk("C", "p.chd", sha('1'), "P");
    addClone("C", "P");
    settings.systemMergeMode["Sys"] = MergeMode::NonMerged;
    const auto attempt = [&](int failAt) {
        std::filesystem::remove_all(f());
        std::filesystem::remove_all(dir.file("Backup"));
        putDisk("p.chd", sha('1'));
        RecordingHost fresh;
        NoLinks ops(failAt, EIO);
        {
            ScopedFileOps scope(ops);
            FixJob job(db, fresh, settings, "Sys", AnalysisOptions{OrderedLoader::kOnCallingThread});
            EXPECT_TRUE(job.prepare());
            job.execute();
        }
        return std::pair{ops.calls(), fresh.failedSteps()};
    };
    const auto [calls, failed] = attempt(0);
    ASSERT_EQ(failed, 0);
    ASSERT_EQ(disksBelow(f()), (Lines{"C/p.chd=" + sha('1'), "P/p.chd=" + sha('1')}));
    for (int n = 1; n <= calls; ++n) {
        SCOPED_TRACE("call " + std::to_string(n));
        const auto [_, failedSteps] = attempt(n);
        std::vector<std::string> disks;
        collectFilesRecursive(f(), disks);
        EXPECT_FALSE(disks.empty());
        for (const std::string& disk : disks) EXPECT_EQ(readFile(disk), chdImage(5, false, sha('1'))) << disk;
        std::vector<std::string> backedUp;
        collectFilesRecursive(dir.file("Backup"), backedUp);
        EXPECT_TRUE(backedUp.empty()) << "a disk wanted twice is never unwanted";
        if (failedSteps == 0) {
            EXPECT_EQ(disks.size(), 2u);
        }
    }
}

TEST_F(DiskTest, ScanSeesADiskThatIsAllTheFolderHoldsLooseOrInItsGame) {
    addDisk("A", "a.chd", sha('1'));
    addDisk("E", "e.chd", sha('5'));
    putDisk("e.chd", sha('5'));
    ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Sys")));
    EXPECT_EQ(statuses("A E"), "N P");
    EXPECT_TRUE(hasLine("  e.chd has been identified as being: Sys/E/e.chd"));

    ASSERT_TRUE(std::filesystem::remove(f() + "/e.chd"));
    putDisk("A/a.chd", sha('1'));
    ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Sys")));
    EXPECT_EQ(statuses("A E"), "Y N");
}

}  // namespace
}  // namespace quorvane::testing
