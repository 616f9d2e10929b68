#include "archive/content_digests.h"

#include <gtest/gtest.h>

#include "archive_fixtures.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::TempDir;

struct FileDigests {
    bool ok;
    std::string crc, md5, sha1;
};

FileDigests digestsOf(const std::string& path, bool crc = true, bool md5 = true, bool sha1 = true) {
    FileDigests d;
    d.ok = ContentDigests(path).digestFile(d.crc, d.md5, d.sha1, crc, md5, sha1);
    return d;
}

TEST(ContentDigestsTest, LooseFilesMatchThePublishedVectors) {
    TempDir dir;
    struct Vector {
        std::string data, crc, md5, sha1;
    };
    const Vector vectors[] = {
        {"", "00000000", "d41d8cd98f00b204e9800998ecf8427e", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "352441c2", "900150983cd24fb0d6963f7d28e17f72", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"123456789", "cbf43926", "25f9e794323b453885f5181f1b624d0b", "f7c3bc1d808e04732adf679965ccc34ca7ae3441"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "171a3f5f", "8215ef0796a20bcaaae116d3876c664a",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "dc25bfbc", "7707d6ae4e027c70eea2a935c2296f21",
         "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"rom347", "00bccf1a", "6a69005285a169111ae31087a261df87", "d0930836d21e124743bd256fb007cb6a80b0c756"},
    };
    for (const Vector& v : vectors) {
        testing::writeFile(dir.file("f"), v.data);
        const FileDigests d = digestsOf(dir.file("f"));
        ASSERT_TRUE(d.ok);
        // The CRC keeps its leading zeros.
        EXPECT_EQ(d.crc + " " + d.md5 + " " + d.sha1, v.crc + " " + v.md5 + " " + v.sha1) << v.data.substr(0, 20);
    }
}

TEST(ContentDigestsTest, OnlyRequestedDigestsAreFilledAndFailuresLeaveAllEmpty) {
    TempDir dir;
    testing::writeFile(dir.file("f"), "abc");
    FileDigests d = digestsOf(dir.file("f"), false, true, false);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.crc, "");
    EXPECT_EQ(d.md5, "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(d.sha1, "");

    std::string crc = "stale", md5 = "stale", sha1 = "stale";
    EXPECT_FALSE(ContentDigests(dir.file("missing")).digestFile(crc, md5, sha1, true, true, true));
    EXPECT_EQ(crc + md5 + sha1, "");
    // A folder opens but cannot be read.
    EXPECT_FALSE(ContentDigests(dir.path()).digestFile(crc, md5, sha1, true, true, true));
    EXPECT_EQ(crc + md5 + sha1, "");
}

TEST(ContentDigestsTest, ReadFailureMidFileIsAFailureNotAShortDigest) {
    TempDir dir;
    testing::writeFile(dir.file("f"), std::string(5 << 20, 'x'));
    testing::FailingFileOps ops(3);  // open, first read, then the second read fails
    std::string crc, md5, sha1;
    EXPECT_FALSE(ContentDigests(dir.file("f"), ops).digestFile(crc, md5, sha1, true, true, true));
    EXPECT_EQ(crc + md5 + sha1, "");
}

TEST(ContentDigestsTest, EntryDigestsAreOfTheUncompressedBytes) {
    TempDir dir;
    const std::string zip = dir.file("mixed.zip");
    testing::makeZip(zip, testing::kMixedEntries);
    const std::string text = testing::mixedDeflatedText();

    std::string md5 = "stale", sha1 = "stale";
    ASSERT_TRUE(ContentDigests(zip, "deflated.txt").digestEntry(md5, sha1, true, true));
    EXPECT_EQ(sha1, testing::sha1Hex(text));
    testing::writeFile(dir.file("plain.txt"), text);
    EXPECT_EQ(md5, digestsOf(dir.file("plain.txt")).md5);

    ASSERT_TRUE(ContentDigests(zip, "empty.bin").digestEntry(md5, sha1, true, true));
    EXPECT_EQ(md5, "d41d8cd98f00b204e9800998ecf8427e");

    ASSERT_TRUE(ContentDigests(zip, "stored.bin").digestEntry(md5, sha1, false, false));
    EXPECT_EQ(md5 + sha1, "");

    EXPECT_FALSE(ContentDigests(zip, "DEFLATED.TXT").digestEntry(md5, sha1, true, true));
    EXPECT_EQ(md5 + sha1, "");
    EXPECT_FALSE(ContentDigests(dir.file("none.zip"), "deflated.txt").digestEntry(md5, sha1, true, true));

    testing::zipTool("flip '" + zip + "' stored.bin");
    EXPECT_FALSE(ContentDigests(zip, "stored.bin").digestEntry(md5, sha1, true, true));
    EXPECT_EQ(md5 + sha1, "");
}

}  // namespace
}  // namespace quorvane
