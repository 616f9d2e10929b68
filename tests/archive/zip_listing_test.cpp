#include "archive/zip_listing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/statvfs.h>

#include "archive/zip_reader.h"
#include "archive/zip_status.h"
#include "archive_fixtures.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

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

// Given its folder's descriptor, an archive is opened there by its file
// name (the folder may since have moved), and still through the file seam.
TEST(ZipListingTest, AnArchiveIsOpenedInTheFolderItsDescriptorHolds) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("before").c_str(), 0755), 0);
    const std::string zip = dir.file("before/set.zip");
    makeZip(zip, R"([{"name": "a.bin", "data": "hello"}])");
    const int folder = ::open(dir.file("before").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    ASSERT_EQ(std::rename(dir.file("before").c_str(), dir.file("after").c_str()), 0);
    EXPECT_EQ(ZipListing(zip, fileOps(), ZipRead::ListAndTest).count(), 0);
    const ZipListing moved(zip, fileOps(), ZipRead::ListAndTest, folder);
    EXPECT_EQ(moved.count(), 1);
    EXPECT_TRUE(zipTestPassed(moved.testZip()));
    FailingFileOps failing(1, EIO);
    EXPECT_EQ(ZipListing(zip, failing, ZipRead::ListAndTest, folder).count(), 0);
    ::close(folder);
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
    // Each local header, the large one's ZIP64 block too, agrees with its central record.
    EXPECT_EQ(zipTool("records '" + zip + "'").find("|same 0"), std::string::npos);
    ZipListing rebuilt(zip);
    ASSERT_EQ(rebuilt.count(), 2);
    EXPECT_EQ(rebuilt.entry(0).uncompressedSize, size);
}

}  // namespace
}  // namespace quorvane::testing
