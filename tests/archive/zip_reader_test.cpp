#include "archive/zip_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <tuple>

#include "archive/archive_bytes.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "archive_fixtures.h"
#include "core/file_util.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using ZipReaderTest = MixedZipTest;

TEST_F(ZipReaderTest, ExtractionTakesExactNamesFlattensFoldersAndKeepsEntryDates) {
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    ASSERT_EQ(unzip.extractAll(out), ZipStatus::Ok);  // skips the empty entry
    EXPECT_EQ(folderNames(out), (Names{"Game.bin", "deflated.txt", "game.bin", "inner.bin", "stored.bin"}));
    EXPECT_EQ(readFile(out + "/game.bin"), "lower");
    EXPECT_EQ(readFile(out + "/deflated.txt"), mixedDeflatedText());
    struct stat st {};
    ASSERT_EQ(::stat((out + "/inner.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, std::stol(zipTool("mtime '" + zip + "' dir/sub/inner.bin")));
    ASSERT_EQ(unzip.extractFile("empty.bin", out, false), ZipStatus::Ok);
    EXPECT_EQ(readFile(out + "/empty.bin"), "");
    for (const char* absent : {"STORED.BIN", "nothing.bin"})
        EXPECT_EQ(unzip.extractFile(absent, out, false), ZipStatus::Error);
    EXPECT_EQ(folderNames(out).size(), 6u);
    unzip.close();

    makeZip(zip, R"([{"name": "folder/", "size": 0}, {"name": "up/..", "data": "x"}, {"name": "ok.bin", "data": "f"}])");
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    for (const char* refused : {"folder/", "up/.."})
        EXPECT_EQ(unzip.extractFile(refused, out, false), ZipStatus::Error);
    EXPECT_EQ(unzip.extractAll(out), ZipStatus::Ok);
    EXPECT_EQ(folderNames(out), (Names{"ok.bin"}));
    EXPECT_EQ(folderNames(dir.path()), (Names{"out", "set"}));
}

TEST_F(ZipReaderTest, ADamagedEntryIsNeitherExtractedNorRemoved) {
    zipTool("flip '" + zip + "' stored.bin");
    const std::string before = readFile(zip);
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    EXPECT_EQ(unzip.extractFile("stored.bin", out, true), ZipStatus::CrcError);
    unzip.close();
    EXPECT_EQ(readFile(zip), before);
    EXPECT_TRUE(folderNames(out).empty());
}

// From the file, and from its bytes read already, which the reader lets go
// of once it has changed the archive.
TEST_F(ZipReaderTest, EntriesSharingANameAreTakenOneByOneByTheirContent) {
    for (const bool fromBytes : {false, true}) {
        SCOPED_TRACE(fromBytes ? "from bytes read already" : "from the file");
        makeZip(zip, R"([{"name": "rom.bin", "data": "first"}, {"name": "rom.bin", "data": "second", "method": 0},
                         {"name": "other.bin", "data": "other"}])");
        const ZipListing listed(zip);
        ASSERT_EQ(listed.count(), 3);
        const EntryKey key{listed.entry(1).name, listed.entry(1).crc32, listed.entry(1).uncompressedSize};
        const ArchiveBytes bytes(zip, fileOps(), ArchivePart::Whole);
        ZipReader unzip(zip, fromBytes ? &bytes : nullptr);
        std::string written;
        ASSERT_EQ(unzip.extractEntry(key, out, true, &written), ZipStatus::Ok);
        EXPECT_EQ(readFile(written), "second");
        const ZipListing after(zip);
        ASSERT_EQ(after.count(), 2);
        EXPECT_EQ(std::tie(after.entry(0).crc32, after.entry(1).name), std::tuple(listed.entry(0).crc32, "other.bin"));
        // The same key again, a case variant or a missing name names nothing:
        // the archive stays as it is.
        const std::string before = readFile(zip);
        EXPECT_EQ(unzip.extractEntry(key, out, false), ZipStatus::EntryGone);
        EXPECT_EQ(unzip.removeEntry(key), ZipStatus::EntryGone);
        EXPECT_EQ(unzip.removeFile("ROM.BIN"), ZipStatus::Ok);
        EXPECT_EQ(unzip.removeFile("nothing"), ZipStatus::Ok);
        EXPECT_EQ(readFile(zip), before);
        // By name, only the first of the name goes.
        ASSERT_EQ(unzip.removeFile("rom.bin"), ZipStatus::Ok);
        EXPECT_EQ(ZipListing(zip).count(), 1);
        unzip.close();
    }
    // The last entry takes the archive with it: no empty one is written first.
    struct NoNewFiles : FileOps {
        int createNew(const std::string&) override { return errno = EIO, -1; }
    } noNewFiles;
    ZipReader last(zip, noNewFiles);
    EXPECT_EQ(last.removeFile("other.bin"), ZipStatus::Ok);
    EXPECT_FALSE(pathExists(zip));
}

TEST_F(ZipReaderTest, ExtractionNeverReplacesAFile) {
    for (const char* name : {"stored.bin", "deflated (1).txt", "deflated.txt"}) writeFile(out + "/" + name, name);
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    std::string written;
    ASSERT_EQ(unzip.extractFile("stored.bin", out, false, &written), ZipStatus::Ok);
    EXPECT_EQ(written, out + "/stored (1).bin");
    ASSERT_EQ(unzip.extractAll(out), ZipStatus::Ok);
    unzip.close();
    for (const char* name : {"stored.bin", "deflated (1).txt", "deflated.txt"}) EXPECT_EQ(readFile(out + "/" + name), name);
    EXPECT_EQ(readFile(out + "/deflated (2).txt") + readFile(out + "/stored (2).bin"), mixedDeflatedText() + "rom347");
}

// Every disk call of a removal fails once in turn. Whatever fails, the folder
// holds either the old archive byte for byte or the complete new one, and no
// temporary file.
TEST_F(ZipReaderTest, RemovalSurvivesAFailureAtEveryDiskCall) {
    const std::string original = readFile(zip), rawRemoved = rawWithout(zip, "stored.bin");
    const auto [calls, failures] = failEachCall(
        [&] {
            writeFile(zip, original);
            std::remove((out + "/stored.bin").c_str());
            ZipReader unzip(zip);
            const ZipStatus status = unzip.extractFile("stored.bin", out, true);
            unzip.close();
            return status;
        },
        [&](int n, ZipStatus status) {
            EXPECT_EQ(folderNames(dir.file("set")), (Names{"mixed.zip"})) << "call " << n;
            if (status == ZipStatus::Ok) {
                EXPECT_EQ(zipTool("raw '" + zip + "'"), rawRemoved) << "call " << n;
                EXPECT_EQ(readFile(out + "/stored.bin"), "rom347") << "call " << n;
            } else {
                EXPECT_EQ(readFile(zip), original) << "call " << n << " status " << status;
            }
            for (const std::string& name : folderNames(out)) EXPECT_EQ(name, "stored.bin") << "call " << n;
        });
    EXPECT_GT(failures, calls / 2);
}

}  // namespace
}  // namespace quorvane::testing
