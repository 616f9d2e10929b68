#include "archive/content_digests.h"

#include <gtest/gtest.h>

#include "archive_fixtures.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {


// "crc md5 sha1" of a loose file, each only when asked; "failed" when the
// digest fails, which must leave all three empty.
std::string digestsOf(const std::string& path, bool crc = true, bool md5 = true, bool sha1 = true,
                      FileOps& ops = fileOps()) {
    std::string c = "stale", m = "stale", s = "stale";
    const bool ok = ContentDigests(path, ops).digestFile(c, m, s, crc, md5, sha1);
    return ok ? c + " " + m + " " + s : "failed" + c + m + s;
}

TEST(ContentDigestsTest, LooseFilesMatchThePublishedVectors) {
    TempDir dir;
    const std::pair<std::string, std::string> vectors[] = {
        {"", "00000000 d41d8cd98f00b204e9800998ecf8427e da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "352441c2 900150983cd24fb0d6963f7d28e17f72 a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"123456789", "cbf43926 25f9e794323b453885f5181f1b624d0b f7c3bc1d808e04732adf679965ccc34ca7ae3441"},
        {std::string(1000000, 'a'), "dc25bfbc 7707d6ae4e027c70eea2a935c2296f21 34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        // The CRC keeps its leading zeros.
        {"rom347", "00bccf1a 6a69005285a169111ae31087a261df87 d0930836d21e124743bd256fb007cb6a80b0c756"}};
    for (const auto& [data, digests] : vectors) {
        writeFile(dir.file("f"), data);
        EXPECT_EQ(digestsOf(dir.file("f")), digests) << data.substr(0, 20);
    }
    EXPECT_EQ(digestsOf(dir.file("f"), false, true, false), " 6a69005285a169111ae31087a261df87 ");
}

TEST(ContentDigestsTest, AFileThatCannotBeReadToTheEndHasNoDigests) {
    TempDir dir;
    writeFile(dir.file("f"), std::string(5 << 20, 'x'));
    FailingFileOps ops(3);  // open, first read, then the second read fails
    EXPECT_EQ(digestsOf(dir.file("f"), true, true, true, ops), "failed");
    EXPECT_EQ(digestsOf(dir.file("missing")), "failed");
    EXPECT_EQ(digestsOf(dir.path()), "failed");  // a folder opens but cannot be read
}

TEST(ContentDigestsTest, EntryDigestsAreOfTheUncompressedBytes) {
    TempDir dir;
    const std::string zip = dir.file("mixed.zip");
    makeZip(zip, kMixedEntries);
    std::string md5 = "stale", sha1 = "stale";
    ASSERT_TRUE(ContentDigests(zip, "deflated.txt").digestEntry(md5, sha1, true, true));
    writeFile(dir.file("plain.txt"), mixedDeflatedText());
    EXPECT_EQ(" " + md5 + " " + sha1, digestsOf(dir.file("plain.txt")).substr(8));
    ASSERT_TRUE(ContentDigests(zip, "empty.bin").digestEntry(md5, sha1, true, true));
    EXPECT_EQ(md5, "d41d8cd98f00b204e9800998ecf8427e");
    ASSERT_TRUE(ContentDigests(zip, "stored.bin").digestEntry(md5, sha1, false, false));
    EXPECT_EQ(md5 + sha1, "");
    zipTool("flip '" + zip + "' stored.bin");
    for (const char* name : {"DEFLATED.TXT", "stored.bin"}) {
        md5 = sha1 = "stale";
        EXPECT_FALSE(ContentDigests(zip, name).digestEntry(md5, sha1, true, true)) << name;
        EXPECT_EQ(md5 + sha1, "") << name;
    }
    EXPECT_FALSE(ContentDigests(dir.file("none.zip"), "deflated.txt").digestEntry(md5, sha1, true, true));
}

}  // namespace
}  // namespace quorvane::testing
