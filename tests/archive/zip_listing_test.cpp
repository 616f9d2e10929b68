#include "archive/zip_listing.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include "archive/zip_reader.h"
#include "archive/zip_status.h"
#include "archive_fixtures.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {


TEST(ZipListingTest, ListsEveryEntryInDirectoryOrderWithCrcAndSize) {
    TempDir dir;
    makeZip(dir.file("mixed.zip"), kMixedEntries);
    ZipListing info(dir.file("mixed.zip"));
    ASSERT_EQ(info.count(), 6);
    std::string rows;
    for (const ZipEntry& e : info.entries()) rows += e.name + "/" + e.crc + "/" + e.size + " ";
    // zlib.crc32(b"rom347") == 0x00bccf1a: leading zeros kept, uppercase.
    EXPECT_EQ(rows, "stored.bin/00BCCF1A/6 deflated.txt/404279BC/11890 empty.bin/00000000/0 "
                    "dir/sub/inner.bin/4DAA6380/10 Game.bin/6E5FDF9C/5 game.bin/0E9A7B23/5 ");
    EXPECT_EQ(info.find("game.bin"), 5);
    EXPECT_EQ(info.find("GAME.BIN"), -1);
}

// Counts, sizes and offsets an archive claims are checked against the file
// before anything is sized or walked by them: a claim the file cannot hold
// makes the archive damaged, like any unreadable one, and never a crash.
TEST(ZipListingTest, ClaimsBeyondTheFileMakeAnArchiveDamaged) {
    TempDir dir;
    const std::string entries = R"([{"name": "a.bin", "data": "hello", "method": 0}, {"name": "b.bin", "data": "world"}])";
    // A ZIP64 end record with the true count, or a ZIP64 block with the true
    // sizes, lists as before; any claim past the end of the file does not.
    const std::pair<std::string, bool> claims[] = {
        {"zip64end 2", true}, {"zip64end 1152921504606846976", false}, {"zip64end 3", false},
        {"zip64central a.bin 5 5 0", true}, {"zip64central a.bin 5 1099511627776 0", false},
        {"zip64central a.bin 5 5 1099511627776", false}, {"zip64central a.bin 5 18446744073709551615 5", false}};
    for (const auto& [claim, sound] : claims) {
        SCOPED_TRACE(claim);
        const std::string zip = dir.file("claims.zip");
        makeZip(zip, entries);
        zipTool(claim.substr(0, claim.find(' ')) + " '" + zip + "'" + claim.substr(claim.find(' ')));
        ZipListing info(zip);
        EXPECT_EQ(info.listStatus(), sound ? ZipStatus::Ok : ZipStatus::BadZipFile);
        EXPECT_EQ(info.count(), sound ? 2 : 0);
        EXPECT_EQ(zipTestPassed(info.testZip()), sound);
        EXPECT_EQ(zipTestPassed(ZipListing(zip, fileOps(), ZipRead::ListAndTest).testZip()), sound);
        if (claim == "zip64central a.bin 5 5 0") {
            EXPECT_TRUE(info.entry(0).readDirectly);
        }
        // An extraction's lookup walks the records that are there and refuses
        // a directory short of its claim.
        if (claim.starts_with("zip64end")) {
            EXPECT_EQ(ZipReader(zip).extractFile("b.bin", dir.path(), false) == ZipStatus::Ok, sound);
            std::remove(dir.file("b.bin").c_str());
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
    writeFile(dir.file("shifted.zip"), bytes);
    ZipListing info(dir.file("shifted.zip"));
    EXPECT_EQ(info.listStatus(), ZipStatus::BadZipFile);
    EXPECT_EQ(info.count(), 0);
}

// A real entry over 4 GiB. Python's zipfile deflates 4 GiB of zeros at
// level 1 in about 12 s here; the archive itself is about 4 MiB.
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
    EXPECT_TRUE(zipTestPassed(info.testZip()));
    const std::string before = zipTool("raw '" + zip + "'");
    ASSERT_EQ(ZipReader(zip).removeFile("small.txt"), ZipStatus::Ok);
    EXPECT_EQ(zipTool("raw '" + zip + "'"), before.substr(before.find('\n') + 1));
    ZipListing rebuilt(zip);
    ASSERT_EQ(rebuilt.count(), 2);
    EXPECT_EQ(rebuilt.entry(0).uncompressedSize, size);
}

}  // namespace
}  // namespace quorvane::testing
