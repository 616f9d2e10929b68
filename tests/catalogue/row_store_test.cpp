#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/row_store.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using std::filesystem::file_size;
using testing::readFile;
using testing::TempDir;

RomRow exampleRow(const std::string& game = "G", const std::string& crc = "0123abcd") {
    return {.system = "S", .game = game, .crc = crc, .romName = "a.bin", .size = "1024", .version = "1", .author = "A"};
}
// Row i of a long run, each with its own game and CRC.
RomRow numberedRow(int i) { return exampleRow("game " + std::to_string(i), std::to_string(10000000 + i)); }

class Table : public ::testing::Test {
protected:
    TempDir dir;
    const std::string base = dir.file("db");
    RowStore t{base};
    void SetUp() override { ASSERT_EQ(t.open(), StoreStatus::Ok); }
    // Inserts numbered rows 0 to count - 1: where each starts, and the bytes they make.
    void insertNumbered(int count, std::vector<std::uint64_t>& offsets, std::string& bytes) {
        for (int i = 0; i < count; ++i) {
            offsets.push_back(bytes.size());
            ASSERT_EQ(t.insertRecord(numberedRow(i)), StoreStatus::Ok) << i;
            bytes += RowStore::encodeRow(numberedRow(i));
        }
    }
};

TEST_F(Table, RowLayoutIsExactAndDamagedRowsAreNotOverread) {
    EXPECT_EQ(RowStore::sizeKey(exampleRow()), "29");
    ASSERT_EQ(t.insertRecord(exampleRow()), StoreStatus::Ok);
    ASSERT_EQ(t.insertRecord(exampleRow("H")), StoreStatus::Ok);
    ASSERT_EQ(t.close(), StoreStatus::Ok);
    const std::string bytes = readFile(base + ".rcf");
    // The status, then each field after its length: system, game, CRC, name, size, MD5, SHA-1, clone of,
    // ROM of, version, author.
    const std::string row("N\x01S\x01G\x08" "0123abcd\x05" "a.bin\x04" "1024\0\0\0\0\x01" "1\x01" "A", 33);
    EXPECT_EQ(bytes, row + row.substr(0, 4) + "H" + row.substr(5));
    ASSERT_EQ(t.open(), StoreStatus::Ok);
    RomRow back;
    ASSERT_EQ(t.writeStatus(33, RomStatus::Have), StoreStatus::Ok);  // the second row starts after the first
    ASSERT_EQ(t.readRecord(33, back), StoreStatus::Ok);
    EXPECT_EQ(back.game + back.crc + back.author + romStatusLetter(back.status), "H0123abcdAY");
    t.close();
    // Cut short: a field length now points past the end of the file.
    ASSERT_EQ(::truncate((base + ".rcf").c_str(), 20), 0);
    ASSERT_EQ(t.open(), StoreStatus::Ok);
    EXPECT_EQ(t.readRecord(0, back), StoreStatus::BadRow);
    EXPECT_EQ(t.readRecord(1000, back), StoreStatus::BadRow);
}

// A row is read in two parts when it is long: every length either side of
// where the first part ends reads back whole, waiting in memory and on disk.
TEST_F(Table, RowsOfEveryLengthReadBackWhole) {
    std::vector<RomRow> rows;
    std::vector<std::uint64_t> offsets;
    std::uint64_t offset = 0;
    for (size_t length : {30u, 255u, 256u, 257u, 300u, 511u, 512u, 513u, 1023u, 1024u}) {
        // 12 bytes of status and field lengths, system, CRC, size, version
        // and author of one byte each, the rest spread over four fields.
        size_t left = length - 17;
        auto take = [&left](char c) {
            const size_t n = std::min<size_t>(left, 255);
            left -= n;
            return std::string(n, c);
        };
        RomRow row{.system = "S", .game = take('g'), .crc = "1", .sha1 = take('s'), .md5 = take('m'),
                   .romName = take('r'), .size = "2", .version = "1", .author = "A"};
        ASSERT_EQ(left, 0u);
        ASSERT_EQ(t.insertRecord(row), StoreStatus::Ok) << length;
        rows.push_back(row);
        offsets.push_back(offset);
        offset += length;
    }
    auto readsBack = [&] {
        for (size_t i = 0; i < rows.size(); ++i) {
            RomRow back;
            ASSERT_EQ(t.readRecord(offsets[i], back), StoreStatus::Ok) << i;
            EXPECT_EQ(back.game + back.sha1 + back.md5 + back.romName + back.size + back.version + back.author,
                      rows[i].game + rows[i].sha1 + rows[i].md5 + rows[i].romName + "21A")
                << i;
        }
    };
    readsBack();
    ASSERT_EQ(t.close(), StoreStatus::Ok);
    ASSERT_EQ(file_size(base + ".rcf"), offset);
    ASSERT_EQ(t.open(), StoreStatus::Ok);
    readsBack();
    t.close();
    // The last row cut short past its first part.
    ASSERT_EQ(::truncate((base + ".rcf").c_str(), static_cast<off_t>(offset - 300)), 0);
    ASSERT_EQ(t.open(), StoreStatus::Ok);
    RomRow back;
    EXPECT_EQ(t.readRecord(offsets.back(), back), StoreStatus::BadRow);
}

// Appended rows wait in memory before one write: reads, status writes and a
// reused slot must see them there, and close must leave the exact file.
TEST_F(Table, RowsWaitingForTheirWriteReadAndChangeLikeWrittenOnes) {
    std::string expected;
    std::vector<std::uint64_t> offsets;
    ASSERT_NO_FATAL_FAILURE(
        insertNumbered(3000, offsets, expected));  // about 110 KiB: one write at 64 KiB, the rest waits
    EXPECT_LT(file_size(base + ".rcf"), expected.size());
    RomRow back;
    for (int i : {0, 1500, 1850, 1851, 1900, 2999}) {  // on disk, across the boundary, waiting
        ASSERT_EQ(t.readRecord(offsets[size_t(i)], back), StoreStatus::Ok) << i;
        EXPECT_EQ(back.game, "game " + std::to_string(i));
    }
    ASSERT_EQ(t.writeStatus(offsets[2999], RomStatus::Have), StoreStatus::Ok);
    ASSERT_EQ(t.writeStatus(offsets[3], RomStatus::Present), StoreStatus::Ok);
    expected[offsets[2999]] = 'Y';
    expected[offsets[3]] = 'P';
    // A freed slot inside the waiting rows is reused in place.
    RomRow reused = numberedRow(2998);
    reused.romName = "b.bin";
    ASSERT_EQ(t.delIndex.insert(RowStore::sizeKey(reused), std::to_string(offsets[2998])), StoreStatus::Ok);
    ASSERT_EQ(t.insertRecord(reused), StoreStatus::Ok);
    expected.replace(offsets[2998], RowStore::encodeRow(reused).size(), RowStore::encodeRow(reused));
    ASSERT_EQ(t.readRecord(offsets[2998], back), StoreStatus::Ok);
    EXPECT_EQ(back.romName, "b.bin");
    ASSERT_EQ(t.close(), StoreStatus::Ok);
    EXPECT_EQ(readFile(base + ".rcf"), expected);
}

// A write that fails when the waiting rows go to disk fails that insert,
// which leaves no index entry behind; the rows before it still reach the
// disk at close once writing works again.
TEST_F(Table, AFailedWriteOfWaitingRowsIsReportedAndLosesNoEarlierRow) {
    int stored = 0;
    StoreStatus failure = StoreStatus::Ok;
    // The record file's first 64 KiB write fails; key files stay smaller.
    testing::withFileSizeLimit(40 * 1024, [&] {
        for (; stored < 2500 && (failure = t.insertRecord(numberedRow(stored))) == StoreStatus::Ok;) ++stored;
    });
    EXPECT_EQ(failure, StoreStatus::WriteFailed);
    const RomRow failed = numberedRow(stored);
    EXPECT_NE(t.crcIndex.find(failed.crc + failed.size), StoreStatus::Ok) << "an index entry names a row never written";
    ASSERT_EQ(t.close(), StoreStatus::Ok);
    ASSERT_EQ(t.open(), StoreStatus::Ok);
    for (int i = 0; i < stored; i += 97) {
        const RomRow want = numberedRow(i);
        std::string offsetText;
        std::uint64_t offset = 0;
        RomRow back;
        ASSERT_EQ(t.crcIndex.find(want.crc + want.size), StoreStatus::Ok) << i;
        ASSERT_EQ(t.crcIndex.read(offsetText), StoreStatus::Ok);
        ASSERT_TRUE(RowStore::parseOffset(offsetText, offset));
        ASSERT_EQ(t.readRecord(offset, back), StoreStatus::Ok) << i;
        EXPECT_EQ(back.game, want.game);
    }
}

// A scan's status writes lie a row apart across a whole system: committed
// in runs of bounded size, every one of them lands and nothing between them
// changes.
TEST_F(Table, StatusWritesSpreadOverMegabytesCommitExactly) {
    std::string expected;
    std::vector<std::uint64_t> offsets;
    ASSERT_NO_FATAL_FAILURE(insertNumbered(70000, offsets, expected));  // about 2.6 MB of rows
    ASSERT_EQ(t.commit(), StoreStatus::Ok);
    for (size_t i = 0; i < offsets.size(); i += (i % 7 == 0 ? 1 : 3)) {
        const RomStatus status = i % 2 ? RomStatus::Have : RomStatus::Present;
        ASSERT_EQ(t.writeStatus(offsets[i], status), StoreStatus::Ok);
        expected[offsets[i]] = romStatusLetter(status);
    }
    RomRow back;
    for (size_t i : {size_t{0}, size_t{28000}, size_t{69999}}) {
        ASSERT_EQ(t.readRecord(offsets[i], back), StoreStatus::Ok);
        EXPECT_EQ(romStatusLetter(back.status), expected[offsets[i]]) << i;
    }
    ASSERT_EQ(t.close(), StoreStatus::Ok);
    EXPECT_TRUE(readFile(base + ".rcf") == expected);
    EXPECT_FALSE(std::filesystem::exists(base + ".jnl"));
}

}  // namespace
}  // namespace quorvane
