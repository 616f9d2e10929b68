// The streaming zip writer, read back by Python's zipfile and examined byte
// by byte, and the raw copy that rewrites archives through it.
#include "archive/zip_file_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "archive/plain_deflate.h"
#include "archive/raw_deflater.h"
#include "archive/zip_writer.h"
#include "archive_fixtures.h"

namespace quorvane {
namespace {

using namespace quorvane::testing;

constexpr uint32_t kSomeDosDate = 0x2A634C21;

// A line of `zipTool("records ...")` per entry: how many there are and how
// many say that the local header agrees with the central record.
std::pair<int, int> recordsAgreeing(const std::string& records) {
    int lines = 0, same = 0;
    for (size_t at = 0; (at = records.find("|same ", at)) != std::string::npos; at += 6) {
        ++lines;
        same += records.compare(at + 6, 1, "1") == 0;
    }
    return {lines, same};
}

TEST(ZipFileWriterTest, EntriesWhoseSizesComeAfterTheirDataGetTheirHeadersMended) {
    TempDir dir;
    const std::string zip = dir.file("a.zip");
    const std::string stored = "stored as it is";
    const std::string big = noise(700 * 1024, 1);  // past the writer's buffer: its header is mended on disk
    const std::string text = mixedDeflatedText();
    std::string deflated;
    ASSERT_TRUE(deflateWhole(text.data(), text.size(), deflated));

    ZipFileWriter out(fileOps());
    ASSERT_TRUE(out.create(zip, /*syncOnFinish=*/true));
    ASSERT_TRUE(out.startEntry({.name = "stored.txt",
                                .method = 0,
                                .dosDate = kSomeDosDate,
                                .crc32 = crc32Of(stored),
                                .size = stored.size(),
                                .compressedSize = stored.size()},
                               false));
    ASSERT_TRUE(out.write(stored.data(), stored.size()));
    ASSERT_TRUE(out.finishEntry(crc32Of(stored), stored.size(), stored.size()));

    ASSERT_TRUE(out.startEntry({.name = "big.bin", .dosDate = kSomeDosDate}, false));
    const int64_t offset = out.dataOffsetForDirectWrite();
    ASSERT_GT(offset, 0);
    RawDeflater deflater(out.ops(), out.descriptor(), static_cast<uint64_t>(offset), kPlainZipLevel);
    ASSERT_TRUE(deflater.write(big.data(), big.size()) && deflater.finish());
    ASSERT_TRUE(out.finishEntry(deflater.crc32(), deflater.size(), deflater.compressedSize()));

    // ZIP64 room in the local header, mended while still in the buffer.
    ASSERT_TRUE(out.startEntry({.name = "roomy.txt", .dosDate = kSomeDosDate}, true));
    ASSERT_TRUE(out.write(deflated.data(), deflated.size()));
    ASSERT_TRUE(out.finishEntry(crc32Of(text), text.size(), deflated.size()));
    ASSERT_EQ(out.finish(), ZipStatus::Ok);

    writeFile(dir.file("stored"), stored);
    writeFile(dir.file("big"), big);
    writeFile(dir.file("text"), text);
    EXPECT_EQ(readHash(zip, "stored.txt"), fileHash(dir.file("stored")));
    EXPECT_EQ(readHash(zip, "big.bin"), fileHash(dir.file("big")));
    EXPECT_EQ(readHash(zip, "roomy.txt"), fileHash(dir.file("text")));
    const std::string records = zipTool("records " + zip);
    // Stored bytes that number otherwise than the entry says fail the archive.
    ZipFileWriter short_(fileOps());
    ASSERT_TRUE(short_.create(dir.file("short.zip"), false));
    ASSERT_TRUE(short_.startEntry({.name = "s", .method = 0}, false) && short_.write("abc", 3));
    EXPECT_FALSE(short_.finishEntry(crc32Of("abcd"), 4, 4));
    EXPECT_EQ(short_.finish(), ZipStatus::Error);
    EXPECT_EQ(recordsAgreeing(records), std::make_pair(3, 3)) << records;
    // The ZIP64 block is in the local header only; the central record needs none.
    EXPECT_NE(records.find("|need 20|flags 0000|method 8|time 4c21|date 2a63|extra 0|comment 0|attrs 0 0 0|local 45"),
              std::string::npos)
        << records;
}

TEST(ZipFileWriterTest, AnyFailedDiskCallFailsTheArchive) {
    TempDir dir;
    const std::string zip = dir.file("a.zip");
    std::vector<std::string> blocks;
    for (uint32_t seed = 0; seed < 6; ++seed) blocks.push_back(noise(300 * 1024, seed));
    const auto attempt = [&]() {
        ::unlink(zip.c_str());
        ZipFileWriter out(fileOps());
        if (!out.create(zip, /*syncOnFinish=*/true)) return ZipStatus::Error;
        for (size_t i = 0; i < blocks.size(); ++i) {
            const std::string& data = blocks[i];
            const uint32_t crc = crc32Of(data);
            if (!out.startEntry({.name = std::to_string(i), .method = 0, .crc32 = crc, .size = data.size(),
                                 .compressedSize = data.size()},
                                false) ||
                !out.write(data.data(), data.size()) || !out.finishEntry(crc, data.size(), data.size()))
                return ZipStatus::Error;
        }
        return out.finish();
    };
    const auto [calls, failures] = failEachCall(attempt, [](int call, ZipStatus status) {
        EXPECT_NE(status, ZipStatus::Ok) << "call " << call;
    });
    EXPECT_EQ(failures, calls);
}

TEST(ZipFileWriterTest, ARewriteCopiesEveryFieldOfTheKeptEntries) {
    TempDir dir;
    const std::string zip = dir.file("a.zip");
    const std::string data = "kept raw";
    {
        ZipFileWriter out(fileOps());
        ASSERT_TRUE(out.create(zip, false));
        ASSERT_TRUE(out.startEntry({.name = "\xC3\xA9t\xC3\xA9.txt",
                                    .versionMadeBy = 0x031E,
                                    .flags = 0x0800,
                                    .method = 0,
                                    .dosDate = kSomeDosDate,
                                    .crc32 = crc32Of(data),
                                    .size = data.size(),
                                    .compressedSize = data.size(),
                                    .internalAttributes = 1,
                                    .externalAttributes = 0x81A40000},
                                   false));
        ASSERT_TRUE(out.write(data.data(), data.size()));
        ASSERT_TRUE(out.finishEntry(crc32Of(data), data.size(), data.size()));
        ASSERT_EQ(out.finish(), ZipStatus::Ok);
    }
    const std::string before = zipTool("records " + zip);
    ASSERT_NE(before.find("|made 798|need 20|flags 0800|method 0|"), std::string::npos) << before;
    ASSERT_NE(before.find("|attrs 0 1 2175008768|"), std::string::npos) << before;
    ASSERT_EQ(rewriteArchive(
                  zip, [](const ZipEntry&) { return false; },
                  [](ZipFileWriter&, const ZipSource* original) {
                      return original ? ZipStatus::Ok : ZipStatus::Error;
                  }),
              ZipStatus::Ok);
    EXPECT_EQ(zipTool("records " + zip), before);
}

}  // namespace
}  // namespace quorvane
