// Sets and sources kept as 7z, gzip and tar, and the output forms fix and
// rebuild give the sets they write.
#include <filesystem>
#include <thread>
#include <tuple>

#include "archive/dos_time.h"
#include "archive/packed_archive.h"
#include "archive/rar_builder.h"
#include "archive/torrent_zip.h"
#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/folder_listing.h"
#include "engine/rebuild_job.h"
#include "engine/scan_job.h"
#include "tools/multi_zipper.h"
#include "tools/rom_identifier.h"

namespace quorvane::testing {
namespace {

class PackedSetsTest : public FixTest {
protected:
    std::unique_ptr<ScanJob> scan() { return std::make_unique<ScanJob>(db, host, settings, "Sys"); }
    std::string fileBytes(const std::string& name) const { return readFile(f() + "/" + name); }
};

TEST_F(PackedSetsTest, ScanGivesA7zSetTheStatusesAZipWouldHave) {
    makePacked(f() + "/A.7z", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}});
    makePacked(f() + "/B.7z", {{"b1.bin", "content b1"}, {"junk.bin", "junk"}, {"o1.bin", "content o1"}});
    writeFile(f() + "/C.7z", "7z\xBC\xAF\x27\x1C cut short");
    ASSERT_TRUE(run(scan()));
    EXPECT_EQ(statuses("A B Other/O"), "YY Y P");
    for (const char* line : {"  junk.bin should be deleted.", "  o1.bin has been identified as being: Other/O/o1.bin",
                             "Error in zip C.7z: -103 (damaged zip archive)"})
        EXPECT_TRUE(hasLine(line)) << line << " in " << ::testing::PrintToString(transcript());
}

// A right 7z set stays byte for byte; a wrong one, and a RAR set (RAR is
// never written) that lacks a ROM, are written anew as zips and go whole to
// the backup folder, nothing lost.
TEST_F(PackedSetsTest, FixLeavesARightSetAndRewritesWrongOnesAsZips) {
    addRom("Sys", "C", "c1.bin", "content c1");
    addRom("Sys", "C", "c2.bin", "content c2");
    makePacked(f() + "/A.7z", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}});
    writeFile(f() + "/B.rar", rar5Archive({{"b1.bin", "content b1"}, {"junk.bin", "junk"}}));
    writeFile(f() + "/C.rar", rar4Archive({{"c1.bin", "content c1"}}));
    writeFile(f() + "/c2.bin", "content c2");
    const std::string rightBefore = fileBytes("A.7z");
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(fileBytes("A.7z"), rightBefore);
    EXPECT_EQ(folderState(f()), (Lines{"A.7z: a1.bin=content a1 a2.bin=content a2", "B.zip: b1.bin=content b1",
                                       "C.zip: c1.bin=content c1 c2.bin=content c2"}));
    EXPECT_EQ(statuses("A B C"), "YY Y YY");
    Lines backup;
    std::vector<std::string> files;
    const std::string top = dir.file("Backup/");
    collectFilesRecursive(top, files);
    for (const std::string& path : files) {
        const std::string belowRun = path.substr(path.find('/', top.size()) + 1);
        backup.push_back(belowRun + ": " + (path.ends_with(".rar") ? packedContents(path) : readFile(path)));
    }
    std::sort(backup.begin(), backup.end());
    EXPECT_EQ(backup, (Lines{"Sys/B.rar: b1.bin=content b1 junk.bin=junk", "Sys/B.zip/junk.bin: junk",
                             "Sys/C.rar: c1.bin=content c1", "Sys/c2.bin: content c2"}));
}

// libarchive's RAR reader and our zip times both go through the C library's
// time zone; a thread checker run of this test catches any race between them.
TEST_F(PackedSetsTest, RarTimesAndZipTimesConvertOnTwoThreadsAtOnce) {
    writeFile(f() + "/C.rar", rar4Archive({{"c1.bin", "content c1"}}));
    int listed = 0;
    std::thread reader([&] {
        for (int i = 0; i < 100; ++i) listed += listPacked(f() + "/C.rar", false, false).entries.size() == 1 ? 1 : 0;
    });
    const time_t first = dosDateToTime(0x5A2B1C3D);
    int alike = 0;
    for (int i = 0; i < 1000; ++i) alike += dosDateToTime(0x5A2B1C3D) == first ? 1 : 0;
    reader.join();
    EXPECT_EQ(std::tuple(listed, alike), std::tuple(100, 1000));
}

// Sets a fix writes take the system's output form; a set it does not touch keeps its own.
TEST_F(PackedSetsTest, FixWritesChangedSetsInTheOutputForm) {
    for (const ArchiveOutput output : {ArchiveOutput::SevenZip, ArchiveOutput::TorrentZip}) {
        SCOPED_TRACE(archiveOutputName(output));
        std::filesystem::remove_all(f());
        settings.systemOutput["Sys"] = output;
        makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}}},
                  {f() + "/wrong.zip", {{"b1.bin", "content b1"}}}});
        ASSERT_TRUE(run(fix()));
        const bool sevenZip = output == ArchiveOutput::SevenZip;
        EXPECT_EQ(folderState(f()), (Lines{"A.zip: a1.bin=content a1 a2.bin=content a2",
                                           (sevenZip ? "B.7z" : "B.zip") + std::string(": b1.bin=content b1")}));
        if (!sevenZip) {
            EXPECT_EQ(std::tuple(isTorrentZip(f() + "/B.zip"), isTorrentZip(f() + "/A.zip")), std::tuple(true, false));
        }
    }
}

TEST_F(PackedSetsTest, ScanCountsTorrentZipsWhenAsked) {
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}}},
              {f() + "/B.zip", {{"b1.bin", "content b1"}}}});
    ASSERT_EQ(torrentZipArchive(f() + "/B.zip"), ZipStatus::Ok);
    settings.checkTorrentZip = true;
    ASSERT_TRUE(run(scan()));
    ASSERT_TRUE(host.report());
    const SystemReport& report = host.report()->systems.at(0);
    EXPECT_EQ(std::tie(report.zipsChecked, report.torrentZips), std::tuple(2, 1));
    EXPECT_EQ(statuses("A B"), "YY Y");
}

class PackedSourcesTest : public EngineTest {
protected:
    void SetUp() override { addRoms({"Sys/A/a1.bin", "Sys/A/a2.bin", "Sys/B/b1.bin", "Sys/C/c1.bin"}); }
    std::string src() const { return dir.file("src"); }
};

// Every packed format a collector downloads feeds a rebuild, and a 7z target
// set is written anew rather than edited.
TEST_F(PackedSourcesTest, RebuildTakesRomsOutOfEveryPackedFormat) {
    makePacked(src() + "/pack.7z", {{"x/a1.bin", "content a1"}, {"unknown.bin", "nothing"}});
    makePacked(src() + "/more.tar", {{"a2.bin", "content a2"}});
    writeFile(dir.file("c1.bin"), "content c1");
    ASSERT_EQ(std::system(("gzip -c '" + dir.file("c1.bin") + "' > '" + src() + "/c1.bin.gz'").c_str()), 0);
    makePacked(f() + "/B.7z", {{"wrong.bin", "other"}});
    writeFile(dir.file("tar/b1.bin"), "content b1");
    ASSERT_EQ(std::system(("tar -czf '" + src() + "/b.tar.gz' -C '" + dir.file("tar") + "' b1.bin").c_str()), 0);
    std::vector<std::string> before;
    collectFilesRecursive(src(), before);
    ASSERT_TRUE(run(std::make_unique<RebuildJob>(db, host, settings, src())));
    EXPECT_EQ(folderState(f()), (Lines{"A.zip: a2.bin=content a2 a1.bin=content a1", "B.zip: wrong.bin=other b1.bin=content b1",
                                       "C.zip: c1.bin=content c1"}));
    EXPECT_EQ(statuses("A B C"), "YY Y Y");
    std::vector<std::string> after;
    collectFilesRecursive(src(), after);
    EXPECT_EQ(after, before);
}

TEST_F(PackedSourcesTest, IdentifierAndUnzipReadPackedArchives) {
    makePacked(src() + "/pack.7z", {{"a1.bin", "content a1"}, {"dir/b1.bin", "content b1"}, {"unknown.bin", "x"}});
    JobReport report;
    const std::vector<RomMatch> hits = identifyArchives(*db, {src() + "/pack.7z"}, false, false, nullptr, &report);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].game + "/" + hits[1].game, "A/B");
    ASSERT_EQ(report.unmatched.size(), 1u);
    EXPECT_EQ(report.unmatched[0].entry, "unknown.bin");

    ZipperBackup backup(dir.file("Backup"));
    EXPECT_TRUE(zipOrUnzip(src() + "/pack.7z", src(), backup).ok());
    EXPECT_EQ(readFile(src() + "/b1.bin"), "content b1");
    EXPECT_EQ(readFile(src() + "/unknown.bin"), "x");
}

}  // namespace
}  // namespace quorvane::testing
