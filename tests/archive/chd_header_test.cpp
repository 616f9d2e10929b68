#include "archive/chd_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <tuple>

#include "archive_fixtures.h"
#include "support/chd_image.h"

namespace quorvane {
namespace {

using testing::FailingFileOps;
using testing::TempDir;

const std::string &kSha1 = testing::kChdSha1, &kRaw = testing::kChdRawSha1, &kParent = testing::kChdParentSha1,
                  &kMd5 = testing::kChdMd5, &kNoSha1 = testing::kChdNoSha1;
using testing::chdImage;
using testing::chdStart;

ChdHeaderResult readImage(const std::string& bytes, ChdHeader& header) {
    TempDir dir;
    testing::writeFile(dir.file("disk.chd"), bytes);
    return readChdHeader(dir.file("disk.chd"), header);
}

TEST(ChdHeaderTest, ReadsTheSha1ADatListsFromEachVersion) {
    struct Case {
        unsigned version;
        bool parent;
        std::string raw, md5;
    };
    for (const Case& c : {Case{3, true, "", kMd5}, Case{4, false, kRaw, ""}, Case{4, true, kRaw, ""},
                          Case{5, false, kRaw, ""}, Case{5, true, kRaw, ""}}) {
        SCOPED_TRACE("version " + std::to_string(c.version) + (c.parent ? " with parent" : ""));
        ChdHeader h;
        const ChdHeaderResult result = readImage(chdImage(c.version, c.parent), h);
        ASSERT_TRUE(result.ok()) << result.reason;
        // v5: the combined SHA-1 at 84, not the raw one at 64.
        EXPECT_EQ(std::tie(h.version, h.sha1, h.rawSha1, h.md5, h.parentSha1, h.logicalBytes, h.hunkBytes),
                  std::tuple(c.version, kSha1, c.raw, c.md5, c.parent ? kParent : "", 0x123456789u, 4096u));
    }
    ChdHeader blank;
    ASSERT_TRUE(readImage(chdImage(5, false, kNoSha1), blank).ok());
    EXPECT_EQ(blank.sha1, "");
}

// chdman writes version 5 only; its images read as chdman itself reports them.
TEST(ChdHeaderTest, AgreesWithChdmanOnItsOwnImages) {
    if (testing::runShell("command -v chdman >/dev/null") != 0) GTEST_SKIP() << "chdman (mame-tools) is not installed";
    TempDir dir;
    const std::string data = dir.file("data"), image = dir.file("raw.chd"), blank = dir.file("blank.chd");
    std::string info;
    ASSERT_EQ(testing::runCapture("yes quorvane | head -c 65536 >'" + data + "' && chdman createraw -i '" + data +
                                      "' -o '" + image + "' -hs 4096 -us 512 >/dev/null 2>&1 && chdman info -i '" +
                                      image + "' && chdman createhd -o '" + blank + "' -s 1048576 >/dev/null 2>&1",
                                  info),
              0);
    const auto reported = [&](const std::string& label) {
        const std::size_t at = info.find("\n" + label);
        return at == std::string::npos ? "" : info.substr(info.find_first_not_of(' ', at + 1 + label.size()), 40);
    };
    ChdHeader h;
    ASSERT_TRUE(readChdHeader(image, h).ok());
    EXPECT_EQ(h.sha1, reported("SHA1:"));
    EXPECT_EQ(h.rawSha1, reported("Data SHA1:"));
    EXPECT_NE(h.sha1, h.rawSha1);
    EXPECT_EQ(h.logicalBytes, 65536u);
    ASSERT_TRUE(readChdHeader(blank, h).ok());
    EXPECT_EQ(h.sha1, "");
    EXPECT_EQ(h.logicalBytes, 1048576u);
}

TEST(ChdHeaderTest, ADamagedHeaderIsReportedWithItsReason) {
    struct Case {
        std::string bytes;
        ChdHeaderError error;
        std::string reason;
    };
    std::string badTag = chdImage(5, false);
    badTag[3] = 'x';
    for (const Case& c :
         {Case{"", ChdHeaderError::Truncated, "the file is empty"},
          Case{badTag, ChdHeaderError::NotChd, "no MComprHD tag"},
          Case{"MCompr", ChdHeaderError::Truncated, "6 of 16 bytes"},
          Case{chdImage(5, false).substr(0, 100), ChdHeaderError::Truncated, "100 of 124 bytes"},
          Case{chdStart(124, 4) + std::string(200, '\1'), ChdHeaderError::WrongHeaderLength,
               "CHD version 4 header length is 124, not 108"},
          Case{chdStart(80, 2) + std::string(200, '\1'), ChdHeaderError::UnsupportedVersion, "unsupported CHD version 2"},
          Case{chdStart(124, 6) + std::string(200, '\1'), ChdHeaderError::UnsupportedVersion,
               "unsupported CHD version 6"}}) {
        SCOPED_TRACE(c.reason);
        ChdHeader h;
        h.version = 99;
        const ChdHeaderResult result = readImage(c.bytes, h);
        EXPECT_EQ(result.error, c.error);
        EXPECT_TRUE(result.damaged());
        EXPECT_NE(result.reason.find(c.reason), std::string::npos) << result.reason;
        EXPECT_EQ(h.version, 99u);
    }
}

// A disk failure says nothing of the image: it is not damage, so nothing would move the file.
TEST(ChdHeaderTest, DiskFailuresAreNotDamageAndTheHeaderIsAllThatIsRead) {
    TempDir dir;
    const std::string path = dir.file("disk.chd");
    testing::writeFile(path, chdImage(4, false) + std::string(1 << 20, '\x33'));
    struct LargestRead : FailingFileOps {
        using FailingFileOps::FailingFileOps;
        uint64_t end = 0;
        ssize_t readAt(int fd, void* b, size_t n, uint64_t o) override {
            end = std::max<uint64_t>(end, o + n);
            return FailingFileOps::readAt(fd, b, n, o);
        }
    };
    for (const int failAt : {0, 1, 2, 3}) {  // open, size, read
        LargestRead ops(failAt, EIO);
        ChdHeader h;
        const ChdHeaderResult result = readChdHeader(path, h, ops);
        EXPECT_EQ(result.error, failAt == 0 ? ChdHeaderError::None : ChdHeaderError::Unreadable) << failAt;
        EXPECT_FALSE(result.damaged());
        EXPECT_LE(ops.end, kChdHeaderProbeBytes);
    }
    ChdHeader h;
    EXPECT_EQ(readChdHeader(dir.file("absent.chd"), h).error, ChdHeaderError::FileNotFound);
    EXPECT_EQ(readChdHeader(path + "/disk.chd", h).error, ChdHeaderError::FileNotFound);
}

TEST(ChdHeaderTest, LooksLikeChdByExtensionInAnyCase) {
    for (const char* name : {"disk.chd", "DISK.CHD", "games/kinst/kinst.Chd"}) EXPECT_TRUE(looksLikeChd(name)) << name;
    for (const char* name : {"disk.chd.zip", "disk_chd", "chd", ""}) EXPECT_FALSE(looksLikeChd(name)) << name;
}

}  // namespace
}  // namespace quorvane
