#include <gtest/gtest.h>
#include <sys/stat.h>

#include "db/table.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::TempDir;

long long fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

SimpleRecord exampleRow() {
    SimpleRecord r;
    r.system = "S";
    r.game = "G";
    r.crc = "0123abcd";
    r.romName = "a.bin";
    r.size = "1024";
    r.version = "1";
    r.author = "A";
    return r;
}

TEST(Table, OpenCreatesAllFilesAndRowLayoutIsExact) {
    TempDir dir;
    const std::string base = dir.file("db");
    table t(base);
    ASSERT_EQ(t.open(), 0);
    EXPECT_EQ(fileSize(base + ".rcf"), 0);
    for (const char* suffix : {"_sys.idx", "_crc.idx", "_sysCat.idx", "_del.idx"})
        EXPECT_EQ(fileSize(base + suffix), 2 * 4096) << suffix;

    const SimpleRecord row = exampleRow();
    EXPECT_EQ(table::sizeKey(row), "29");
    ASSERT_EQ(t.insertRecord(row), 0);
    SimpleRecord second = row;
    second.game = "H";
    ASSERT_EQ(t.insertRecord(second), 0);
    ASSERT_EQ(t.close(), 0);

    const std::string expected("N\x01S\x01G\x08" "0123abcd\x05" "a.bin\x04" "1024\x00\x00\x00\x00\x01" "1\x01" "A", 33);
    const std::string bytes = readFile(base + ".rcf");
    ASSERT_EQ(bytes.size(), 66u);
    EXPECT_EQ(bytes.substr(0, 33), expected);

    ASSERT_EQ(t.open(), 0);
    SimpleRecord back;
    ASSERT_EQ(t.readRecord(33, back), 0);  // the second row starts after the first
    EXPECT_EQ(back.game, "H");
    EXPECT_EQ(back.crc, "0123abcd");
    EXPECT_EQ(back.author, "A");
    EXPECT_EQ(t.writeStatus(33, 'Y'), 0);
    ASSERT_EQ(t.readRecord(33, back), 0);
    EXPECT_EQ(back.status, 'Y');
}

TEST(Table, OversizedFieldsAndRowsAreRefusedWithoutWriting) {
    TempDir dir;
    table t(dir.file("db"));
    ASSERT_EQ(t.open(), 0);
    SimpleRecord r = exampleRow();
    r.romName = std::string(256, 'x');
    EXPECT_EQ(t.insertRecord(r), table::kRowTooLarge);
    r.romName = std::string(255, 'x');
    r.game = std::string(255, 'g');
    r.md5 = std::string(255, 'm');
    r.sha1 = std::string(255, 's');  // each field fits, the row does not
    EXPECT_EQ(t.insertRecord(r), table::kRowTooLarge);
    std::string key;
    EXPECT_NE(t.sysIndex.first(key), 0);
    EXPECT_NE(t.sysCatIndex.first(key), 0);
    t.close();
    EXPECT_EQ(fileSize(dir.file("db.rcf")), 0);
    table closed(dir.file("other"));
    EXPECT_EQ(closed.insertRecord(exampleRow()), table::kNotOpen);
}

TEST(Table, SecondOpenOfALockedDatabaseIsRefused) {
    TempDir dir;
    table first(dir.file("db"));
    table second(dir.file("db"));
    ASSERT_EQ(first.open(), 0);
    EXPECT_EQ(second.open(), table::kInUse);
    first.close();
    EXPECT_EQ(second.open(), 0);
}

TEST(Table, DamagedRowsAreReportedNotOverread) {
    TempDir dir;
    table t(dir.file("db"));
    ASSERT_EQ(t.open(), 0);
    ASSERT_EQ(t.insertRecord(exampleRow()), 0);
    t.close();
    // Cut the row short: a field length now points past the end of the file.
    ASSERT_EQ(::truncate(dir.file("db.rcf").c_str(), 20), 0);
    ASSERT_EQ(t.open(), 0);
    SimpleRecord r;
    EXPECT_EQ(t.readRecord(0, r), table::kBadRow);
    EXPECT_EQ(t.readRecord(1000, r), table::kBadRow);
}

}  // namespace
}  // namespace quorvane
