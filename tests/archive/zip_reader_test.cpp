#include "archive/zip_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "archive_fixtures.h"
#include "core/file_util.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::folderNames;
using testing::makeZip;
using testing::readFile;
using testing::zipTool;
using Names = std::vector<std::string>;

time_t modifiedTime(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mtime;
}

using ZipReaderTest = testing::MixedZipTest;

TEST_F(ZipReaderTest, ExtractFileWritesLastNameComponentWithEntryDate) {
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    std::string written;
    ASSERT_EQ(unzip.extractFile("dir/sub/inner.bin", out, false, &written), ZipStatus::Ok);
    EXPECT_EQ(written, out + "/inner.bin");
    EXPECT_EQ(readFile(written), "inner data");
    EXPECT_EQ(modifiedTime(written), std::stol(zipTool("mtime '" + zip + "' dir/sub/inner.bin")));

    ASSERT_EQ(unzip.extractFile("deflated.txt", out, false), ZipStatus::Ok);
    EXPECT_EQ(readFile(out + "/deflated.txt"), testing::mixedDeflatedText());
    ASSERT_EQ(unzip.extractFile("empty.bin", out, false), ZipStatus::Ok);
    EXPECT_EQ(readFile(out + "/empty.bin"), "");

    // Names are exact: a case variant or a missing name writes nothing.
    EXPECT_EQ(unzip.extractFile("STORED.BIN", out, false), ZipStatus::Error);
    EXPECT_EQ(unzip.extractFile("nothing.bin", out, false), ZipStatus::Error);
    unzip.close();
    EXPECT_EQ(folderNames(out), (Names{"deflated.txt", "empty.bin", "inner.bin"}));
    EXPECT_EQ(ZipListing(zip).count(), 6);
}

TEST_F(ZipReaderTest, ExtractRefusesNamesThatAreNotFiles) {
    makeZip(zip, R"([{"name": "folder/", "size": 0, "method": 0},
                     {"name": "up/..", "data": "x", "method": 0},
                     {"name": "ok.bin", "data": "fine", "method": 0}])");
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    EXPECT_EQ(unzip.extractFile("folder/", out, false), ZipStatus::Error);
    EXPECT_EQ(unzip.extractFile("up/..", out, false), ZipStatus::Error);
    EXPECT_EQ(unzip.extractAll(out), ZipStatus::Ok);
    EXPECT_EQ(folderNames(out), (Names{"ok.bin"}));
    EXPECT_EQ(folderNames(dir.path()), (Names{"out", "set"}));
}

TEST_F(ZipReaderTest, ExtractAllSkipsEmptyEntriesAndFlattensFolders) {
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    ASSERT_EQ(unzip.extractAll(out), ZipStatus::Ok);
    EXPECT_EQ(folderNames(out), (Names{"Game.bin", "deflated.txt", "game.bin", "inner.bin", "stored.bin"}));
    EXPECT_EQ(readFile(out + "/game.bin"), "lower");
    EXPECT_EQ(readFile(out + "/stored.bin"), "rom347");
}

TEST_F(ZipReaderTest, DamagedEntryIsNotExtractedOrRemoved) {
    zipTool("flip '" + zip + "' stored.bin");
    const std::string before = readFile(zip);
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    EXPECT_EQ(unzip.extractFile("stored.bin", out, true), ZipStatus::CrcError);
    unzip.close();
    EXPECT_EQ(readFile(zip), before);
    EXPECT_TRUE(folderNames(out).empty());
}

TEST_F(ZipReaderTest, RemoveFileCopiesOtherEntriesByteForByte) {
    // Same names, methods, CRCs, dates, sizes and stored bytes, minus one line.
    const std::string expected = testing::rawWithout(zip, "deflated.txt");
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    ASSERT_EQ(unzip.extractFile("deflated.txt", out, true), ZipStatus::Ok);
    EXPECT_FALSE(unzip.isOpen());
    EXPECT_EQ(readFile(out + "/deflated.txt"), testing::mixedDeflatedText());
    EXPECT_EQ(zipTool("raw '" + zip + "'"), expected);
    EXPECT_EQ(testing::runShell("unzip -tqq '" + zip + "' >/dev/null"), 0);
    EXPECT_EQ(folderNames(dir.file("set")), (Names{"mixed.zip"}));
}

TEST_F(ZipReaderTest, RemovingACaseVariantOrMissingNameLeavesTheArchiveAlone) {
    const std::string before = readFile(zip);
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    EXPECT_EQ(unzip.removeFile("GAME.BIN"), ZipStatus::Ok);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    EXPECT_EQ(unzip.removeFile("nothing"), ZipStatus::Ok);
    EXPECT_EQ(readFile(zip), before);
}

TEST_F(ZipReaderTest, EntriesSharingANameAreTakenOneByOneByTheirContent) {
    makeZip(zip, R"([{"name": "rom.bin", "data": "first", "method": 8},
                     {"name": "rom.bin", "data": "second", "method": 0},
                     {"name": "other.bin", "data": "other", "method": 8}])");
    const ZipListing listed(zip);
    ASSERT_EQ(listed.count(), 3);
    const ZipEntry& second = listed.entry(1);
    const EntryKey key{second.name, second.crc32, second.uncompressedSize};
    ZipReader unzip(zip);
    std::string written;
    ASSERT_EQ(unzip.extractEntry(key, out, true, &written), ZipStatus::Ok);
    EXPECT_EQ(readFile(written), "second");
    const ZipListing after(zip);
    ASSERT_EQ(after.count(), 2);
    EXPECT_EQ(after.entry(0).name, "rom.bin");
    EXPECT_EQ(after.entry(0).crc32, listed.entry(0).crc32);
    EXPECT_EQ(after.entry(1).name, "other.bin");

    // The same key again names nothing: the archive stays as it is.
    const std::string before = readFile(zip);
    EXPECT_EQ(unzip.extractEntry(key, out, false), ZipStatus::EntryGone);
    EXPECT_EQ(unzip.removeEntry(key), ZipStatus::EntryGone);
    EXPECT_EQ(readFile(zip), before);
    // By name, only the first of the name goes.
    ASSERT_EQ(unzip.removeFile("rom.bin"), ZipStatus::Ok);
    EXPECT_EQ(ZipListing(zip).count(), 1);
}

TEST_F(ZipReaderTest, ExtractionNeverReplacesAFile) {
    testing::writeFile(out + "/stored.bin", "the user's own stored.bin");
    testing::writeFile(out + "/deflated (1).txt", "also taken");
    testing::writeFile(out + "/deflated.txt", "taken");
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    std::string written;
    ASSERT_EQ(unzip.extractFile("stored.bin", out, false, &written), ZipStatus::Ok);
    EXPECT_EQ(written, out + "/stored (1).bin");
    EXPECT_EQ(readFile(written), "rom347");
    ASSERT_EQ(unzip.extractAll(out), ZipStatus::Ok);
    unzip.close();
    EXPECT_EQ(readFile(out + "/stored.bin"), "the user's own stored.bin");
    EXPECT_EQ(readFile(out + "/deflated.txt"), "taken");
    EXPECT_EQ(readFile(out + "/deflated (1).txt"), "also taken");
    EXPECT_EQ(readFile(out + "/deflated (2).txt"), testing::mixedDeflatedText());
    EXPECT_EQ(readFile(out + "/stored (2).bin"), "rom347");
}

// Names at the file system's limit of 255 bytes: the temporary file beside
// the target, the free variant of a taken name and the archive's own
// temporary copy are shortened to fit, keeping the extension and whole
// UTF-8 characters.
TEST_F(ZipReaderTest, EntriesWithNamesAtTheLengthLimitExtractAndMove) {
    const std::string name251 = std::string(247, 'a') + ".bin";
    const auto euros = [](int n) {
        std::string text;
        for (int i = 0; i < n; ++i) text += "\xE2\x82\xAC";  // "€"
        return text;
    };
    const std::string name255 = euros(83) + "xx.bin";
    ASSERT_EQ(name251.size(), 251u);
    ASSERT_EQ(name255.size(), 255u);
    // The fixture tool needs room for its own names beside the archive's.
    const std::string archive = dir.file("set/" + std::string(251, 'z') + ".zip");
    const auto make = [&](const std::string& entries) {
        makeZip(dir.file("short.zip"), entries);
        ASSERT_EQ(std::rename(dir.file("short.zip").c_str(), archive.c_str()), 0);
    };
    make(R"([{"name": "dir/)" + name251 + R"(", "data": "two fifty-one"},
             {"name": ")" + name255 + R"(", "data": "two fifty-five"},
             {"name": "keep.bin", "data": "kept"}])");

    ZipReader unzip(archive);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    std::string written;
    ASSERT_EQ(unzip.extractFile("dir/" + name251, out, false, &written), ZipStatus::Ok);
    EXPECT_EQ(written, out + "/" + name251);
    EXPECT_EQ(readFile(written), "two fifty-one");
    ASSERT_EQ(unzip.extractFile(name255, out, true, &written), ZipStatus::Ok);
    EXPECT_EQ(written, out + "/" + name255);
    EXPECT_EQ(readFile(written), "two fifty-five");

    // Both names are taken now.
    ASSERT_EQ(unzip.extractFile("dir/" + name251, out, true, &written), ZipStatus::Ok);
    const std::string variant251 = written.substr(out.size() + 1);
    EXPECT_EQ(variant251, std::string(247, 'a') + " (1).bin");  // 255 bytes: fits
    EXPECT_EQ(readFile(written), "two fifty-one");
    unzip.close();
    EXPECT_EQ(ZipListing(archive).count(), 1);
    make(R"([{"name": ")" + name255 + R"(", "data": "again"}])");
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    ASSERT_EQ(unzip.extractFile(name255, out, true, &written), ZipStatus::Ok);
    unzip.close();
    const std::string variant255 = written.substr(out.size() + 1);
    // As many whole "€" as fit before " (1).bin": 247 bytes would split one.
    EXPECT_EQ(variant255, euros(82) + " (1).bin");
    EXPECT_EQ(readFile(written), "again");
    EXPECT_FALSE(pathExists(archive));  // its only entry went
    EXPECT_EQ(folderNames(out), (Names{variant251, name251, variant255, name255}));
    EXPECT_EQ(folderNames(dir.file("set")), Names{"mixed.zip"});  // no temporary file left
}

TEST_F(ZipReaderTest, UnwritableTargetFolderFailsCleanly) {
    testing::writeFile(dir.file("plain"), "a regular file");
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    const std::string before = readFile(zip);
    EXPECT_EQ(unzip.extractFile("stored.bin", dir.file("plain/sub"), true), ZipStatus::Error);
    EXPECT_EQ(unzip.extractAll(dir.file("plain")), ZipStatus::Error);
    EXPECT_EQ(readFile(zip), before);
}

// Every disk call of a removal fails once in turn. Whatever fails, the folder
// holds either the old archive byte for byte or the complete new one, and no
// temporary file.
TEST_F(ZipReaderTest, RemovalSurvivesAFailureAtEveryDiskCall) {
    const std::string original = readFile(zip);
    const std::string rawRemoved = testing::rawWithout(zip, "stored.bin");

    testing::FailingFileOps counter;
    {
        ZipReader unzip(zip, counter);
        ASSERT_EQ(unzip.extractFile("stored.bin", out, true), ZipStatus::Ok);
    }
    const int total = counter.calls();
    ASSERT_GT(total, 10);
    int failures = 0;
    for (int n = 1; n <= total; ++n) {
        testing::writeFile(zip, original);
        std::remove((out + "/stored.bin").c_str());
        testing::FailingFileOps ops(n);
        ZipReader unzip(zip, ops);
        const ZipStatus status = unzip.extractFile("stored.bin", out, true);
        unzip.close();
        EXPECT_EQ(folderNames(dir.file("set")), (Names{"mixed.zip"})) << "call " << n;
        if (status == ZipStatus::Ok) {
            EXPECT_EQ(zipTool("raw '" + zip + "'"), rawRemoved) << "call " << n;
            EXPECT_EQ(readFile(out + "/stored.bin"), "rom347") << "call " << n;
        } else {
            ++failures;
            EXPECT_EQ(readFile(zip), original) << "call " << n << " status " << status;
        }
        for (const std::string& name : folderNames(out)) EXPECT_EQ(name, "stored.bin") << "call " << n;
    }
    EXPECT_GT(failures, total / 2);
}

}  // namespace
}  // namespace quorvane
