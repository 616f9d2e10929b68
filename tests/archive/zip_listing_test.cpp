#include "archive/zip_listing.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <filesystem>

#include "archive/zip_reader.h"
#include "archive/zip_status.h"
#include "archive_fixtures.h"
#include "core/file_util.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::makeZip;
using testing::TempDir;
using testing::zipTool;

TEST(ZipListingTest, ListsEveryEntryInDirectoryOrderWithCrcAndSize) {
    TempDir dir;
    const std::string zip = dir.file("mixed.zip");
    makeZip(zip, testing::kMixedEntries);

    ZipListing info(zip);
    ASSERT_EQ(info.listStatus(), ZipStatus::Ok);
    ASSERT_EQ(info.count(), 6);
    const char* names[] = {"stored.bin", "deflated.txt", "empty.bin", "dir/sub/inner.bin", "Game.bin", "game.bin"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(info.entry(i).name, names[i]);
    // zlib.crc32(b"rom347") == 0x00bccf1a: leading zeros kept, uppercase.
    EXPECT_EQ(info.entry(0).crc, "00BCCF1A");
    EXPECT_EQ(info.entry(0).size, "6");
    EXPECT_EQ(info.entry(1).size, std::to_string(testing::mixedDeflatedText().size()));
    EXPECT_EQ(info.entry(1).method, 8);
    EXPECT_EQ(info.entry(2).crc, "00000000");
    EXPECT_EQ(info.entry(2).size, "0");
    EXPECT_EQ(info.find("game.bin"), 5);
    EXPECT_EQ(info.find("GAME.BIN"), -1);
    EXPECT_TRUE(zipTestPassed(info.testZip()));
}

// Info-ZIP's -fz puts ZIP64 fields on small entries too, which exercises the
// same records as a 4 GiB entry in a moment.
TEST(ZipListingTest, ReadsAndCopiesEntriesWithZip64Fields) {
    TempDir dir;
    testing::writeFile(dir.file("a.txt"), "zip64 records on a small file\n");
    testing::writeFile(dir.file("b.txt"), testing::mixedDeflatedText());
    ASSERT_EQ(testing::runShell("cd '" + dir.path() + "' && zip -q -fz z64.zip a.txt b.txt"), 0);
    const std::string zip = dir.file("z64.zip");
    ZipListing info(zip);
    ASSERT_EQ(info.count(), 2);
    EXPECT_EQ(info.entry(0).size, "30");
    EXPECT_EQ(info.entry(1).size, std::to_string(testing::mixedDeflatedText().size()));
    EXPECT_TRUE(zipTestPassed(info.testZip()));

    const std::string before = zipTool("raw '" + zip + "'");
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    ASSERT_EQ(unzip.extractFile("a.txt", dir.file("out"), true), ZipStatus::Error);  // no such folder
    ASSERT_EQ(unzip.extractFile("a.txt", dir.path(), true), ZipStatus::Ok);
    EXPECT_EQ(testing::readFile(dir.file("a.txt")), "zip64 records on a small file\n");
    EXPECT_EQ(zipTool("raw '" + zip + "'"), before.substr(before.find('\n') + 1));
    EXPECT_EQ(testing::runShell("unzip -tqq '" + zip + "' >/dev/null"), 0);
}

// Counts, sizes and offsets an archive claims are checked against the file
// before anything is sized or walked by them: a claim the file cannot hold
// makes the archive damaged, like any unreadable one, and never a crash.
TEST(ZipListingTest, ClaimsBeyondTheFileMakeAnArchiveDamaged) {
    TempDir dir;
    const std::string entries = R"([{"name": "a.bin", "data": "hello", "method": 0},
                                    {"name": "b.bin", "data": "world world world"}])";
    // The same archive ended by a ZIP64 end record with the true count lists
    // as before.
    const std::string honest = dir.file("honest.zip");
    makeZip(honest, entries);
    zipTool("zip64end '" + honest + "' 2");
    ZipListing sound(honest);
    ASSERT_EQ(sound.listStatus(), ZipStatus::Ok);
    ASSERT_EQ(sound.count(), 2);
    EXPECT_TRUE(zipTestPassed(sound.testZip()));

    for (const char* count : {"1152921504606846976", "3"}) {
        SCOPED_TRACE(count);
        const std::string zip = dir.file(std::string("claims-") + count + ".zip");
        makeZip(zip, entries);
        zipTool("zip64end '" + zip + "' " + count);
        ZipListing info(zip);
        EXPECT_EQ(info.listStatus(), ZipStatus::BadZipFile);
        EXPECT_EQ(info.count(), 0);
        EXPECT_FALSE(zipTestPassed(info.testZip()));
        EXPECT_FALSE(zipTestPassed(ZipListing(zip, fileOps(), ZipRead::ListAndTest).testZip()));
        // An extraction's lookup walks the records that are there, finds the
        // directory short of its claim, and refuses.
        ZipReader unzip(zip);
        ASSERT_EQ(unzip.open(), ZipStatus::Ok);
        EXPECT_EQ(unzip.extractFile("b.bin", dir.path(), false), ZipStatus::Error);
        EXPECT_FALSE(pathExists(dir.file("b.bin")));
    }

    // A ZIP64 block whose data would lie past the end of the file.
    const std::string shape = "zip64central '" + dir.file("z64.zip") + "' a.bin ";
    for (const std::string& values : {std::string("5 5 0"), std::string("5 1099511627776 0"),
                                      std::string("5 5 1099511627776"), std::string("5 18446744073709551615 5")}) {
        SCOPED_TRACE(values);
        makeZip(dir.file("z64.zip"), entries);
        zipTool(shape + values);
        ZipListing info(dir.file("z64.zip"));
        if (values == "5 5 0") {
            ASSERT_EQ(info.listStatus(), ZipStatus::Ok);
            ASSERT_EQ(info.count(), 2);
            EXPECT_TRUE(info.entry(0).readDirectly);
            EXPECT_TRUE(zipTestPassed(info.testZip()));
        } else {
            EXPECT_EQ(info.listStatus(), ZipStatus::BadZipFile);
            EXPECT_EQ(info.count(), 0);
            EXPECT_FALSE(zipTestPassed(info.testZip()));
        }
    }
}

// Found by the zip directory fuzzer: bytes in front of the archive hold a
// copy of other central records. minizip reads the directory shifted by those
// bytes, but reports offsets without the shift, so the ZIP64 reader found a
// record of another entry there and gave stored.bin its sizes.
TEST(ZipListingTest, Zip64RecordsBehindLeadingBytesAreNotTakenFromAnotherEntry) {
    static const char* const kHex =
        "504b0304140000000000000021001acfbc0006000000060000000a00000073746f7265642e62696e726f6d333437504b"
        "03041400000008003c8d865daa62cd3c24000000e8030000100000006469722f6465666c617465642e747874cbc9cc4b"
        "55c84f53485448494dcb492c494d5148cd2b29aae4ca199518951895182e1200504b03041400000000203c8d865d0000"
        "0000000000000006000000000000000000000000000000504b010214031400000008003c8d865daa62cd3c24000000e8"
        "03002010000000000000000000000080012e0000006469722f6465666c617465642e747874504b010214031400000000"
        "3b8d865d00000000000000000000000009000000000000000000000000800100000009000000656d7074792e62696e50"
        "4b010214031400ffff0000000021001acfbc00ff000000adffffff0a001c0000000000000000008001ffffffff73746f"
        "7265642e62696e01001800060000000000000006000000000000000000000000000000504b010214031400000008003c"
        "8d865daa62cd3c24000000e803000010000000000000000000000080012e0000006469722f6465666c617465642e7478"
        "74504b010214031400000000003c8d865d00000000000000000000000009000000000000000000000080018000000065"
        "6d7074792e62696e504b05060000000003000300c9000000a70000000000";
    std::string bytes;
    for (const char* p = kHex; p[0] && p[1]; p += 2) bytes += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
    TempDir dir;
    testing::writeFile(dir.file("shifted.zip"), bytes);
    ZipListing info(dir.file("shifted.zip"));
    EXPECT_EQ(info.listStatus(), ZipStatus::BadZipFile);
    EXPECT_EQ(info.count(), 0);
}

// A real entry over 4 GiB. Python's zipfile deflates 4 GiB of zeros at
// level 1 in about 12 s here (Info-ZIP `zip -1` takes twice that); the
// archive itself is about 4 MiB.
TEST(ZipListingTest, ListsTestsAndRawCopiesAnEntryOver4GiB) {
    TempDir dir;
    struct statvfs fs {};
    if (statvfs(dir.path().c_str(), &fs) != 0 || uint64_t(fs.f_bavail) * fs.f_frsize < (64ull << 20))
        GTEST_SKIP() << "less than 64 MiB free";
    const uint64_t size = (4ull << 30) + 65536;
    const std::string zip = dir.file("big.zip");
    zipTool("zip64 '" + zip + "' " + std::to_string(size));

    ZipListing info(zip);
    ASSERT_EQ(info.count(), 3);
    EXPECT_EQ(info.entry(1).size, std::to_string(size));
    EXPECT_EQ(info.entry(1).uncompressedSize, size);
    EXPECT_TRUE(zipTestPassed(info.testZip()));

    const std::string before = zipTool("raw '" + zip + "'");
    ZipReader unzip(zip);
    ASSERT_EQ(unzip.open(), ZipStatus::Ok);
    ASSERT_EQ(unzip.removeFile("small.txt"), ZipStatus::Ok);
    const std::string after = zipTool("raw '" + zip + "'");
    EXPECT_EQ(after, before.substr(before.find('\n') + 1));
    ZipListing rebuilt(zip);
    ASSERT_EQ(rebuilt.count(), 2);
    EXPECT_EQ(rebuilt.entry(0).uncompressedSize, size);
    EXPECT_EQ(rebuilt.entry(0).crc, info.entry(1).crc);
}

}  // namespace
}  // namespace quorvane
