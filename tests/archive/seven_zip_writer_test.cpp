#include "archive/seven_zip_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/packed_archive.h"
#include "archive/zip_status.h"
#include "archive_fixtures.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

class SevenZipWriterTest : public ::testing::Test {
protected:
    SevenZipWriterTest() {
        writeFile(dir.file("src/big.bin"), big);
        writeFile(dir.file("src/small.txt"), "small text");
        writeFile(dir.file("src/empty.bin"), "");
        std::filesystem::create_directories(out);
    }
    TempDir dir;
    const std::string big = noise(1 << 18, 4), out = dir.file("out");
    const std::vector<SevenZipSource> sources{{"big.bin", dir.file("src/big.bin")},
                                              {"Jeux/\xC3\xA9t\xC3\xA9.txt", dir.file("src/small.txt")},
                                              {"empty.bin", dir.file("src/empty.bin")}};
};

TEST_F(SevenZipWriterTest, WritesLzma2ThatReadsBackAndIsTheSameEveryTime) {
    ASSERT_EQ(write7z(out + "/Game.7z", sources), ZipStatus::Ok);
    const PackedListing listing = listPacked(out + "/Game.7z", false, false);
    ASSERT_EQ(listing.status, ZipStatus::Ok) << listing.detail;
    std::vector<std::tuple<std::string, uint32_t, uint64_t>> entries;
    for (const PackedEntry& e : listing.entries) entries.emplace_back(e.name, e.crc32, e.size);
    EXPECT_EQ(entries, (decltype(entries){{"big.bin", crc32Of(big), big.size()},
                                          {"Jeux/\xC3\xA9t\xC3\xA9.txt", crc32Of("small text"), 10},
                                          {"empty.bin", 0, 0}}));
    // Any one entry reads back alone, the ones before it skipped.
    std::string second;
    EXPECT_EQ(readPackedEntry(out + "/Game.7z", {"Jeux/\xC3\xA9t\xC3\xA9.txt", crc32Of("small text"), 10},
                              [&](const void* data, size_t n) {
                                  second.append(static_cast<const char*>(data), n);
                                  return true;
                              }),
              ZipStatus::Ok);
    EXPECT_EQ(second, "small text");
    // 7-Zip itself checks every CRC and sees the method, the names and the fixed date.
    std::string report;
    ASSERT_EQ(runCapture("7zz t -bd '" + out + "/Game.7z' && 7zz l -slt '" + out + "/Game.7z'", report), 0) << report;
    for (const char* seen : {"Method = LZMA2", "Path = Jeux/\xC3\xA9t\xC3\xA9.txt", "Modified = 1996-12-24"})
        EXPECT_NE(report.find(seen), std::string::npos) << seen << "\n" << report;
    // Other source dates, the same content: the same bytes.
    ASSERT_EQ(runShell("touch -d 2001-01-01 '" + dir.file("src/big.bin") + "'"), 0);
    ASSERT_EQ(write7z(out + "/Again.7z", sources), ZipStatus::Ok);
    EXPECT_EQ(readFile(out + "/Again.7z"), readFile(out + "/Game.7z"));
}

// A taken name, a missing source, a folder that cannot exist: refused, and
// nothing is left behind.
TEST_F(SevenZipWriterTest, RefusalsLeaveNothingBehind) {
    writeFile(out + "/Taken.7z", "someone else's");
    EXPECT_EQ(write7z(out + "/Taken.7z", sources), ZipStatus::CannotReplace);
    EXPECT_EQ(readFile(out + "/Taken.7z"), "someone else's");
    std::vector<SevenZipSource> missing = sources;
    missing.push_back({"gone.bin", dir.file("src/gone.bin")});
    EXPECT_EQ(write7z(out + "/Missing.7z", missing), ZipStatus::SourceMissing);
    EXPECT_EQ(write7z(out + "/Taken.7z/under.7z", sources), ZipStatus::Error);
    EXPECT_EQ(folderNames(out), std::vector<std::string>{"Taken.7z"});
}

// A failure at each disk call in turn: the archive is then whole under its
// name or absent, and no temporary file is left.
TEST_F(SevenZipWriterTest, AFailureAtAnyDiskCallLeavesNothingOrAWholeArchive) {
    ASSERT_EQ(write7z(out + "/Made.7z", sources), ZipStatus::Ok);
    const std::string made = readFile(out + "/Made.7z");
    const auto write = [&] {
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        return write7z(out + "/Game.7z", sources);
    };
    const auto [calls, failures] = failEachCall(write, [&](int n, ZipStatus status) {
        if (status == ZipStatus::Ok) {
            EXPECT_EQ(readFile(out + "/Game.7z"), made) << "call " << n;
        } else {
            EXPECT_TRUE(folderNames(out).empty()) << "call " << n << " status " << status;
        }
    });
    EXPECT_GT(failures, calls / 2);
}

}  // namespace
}  // namespace quorvane::testing
