#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "catalogue/key_offset_table.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using Offsets = std::vector<std::uint64_t>;

Offsets fromTree(KeyIndex& index, const std::string& key) {
    Offsets out;
    index.findOffsets(key, out);
    return out;
}

// Keys with many records and keys with one, over several leaves; data that
// is no row offset is skipped by both.
TEST(KeyOffsetTableTest, AnswersAsTheTreeDoesUntilTheIndexChanges) {
    testing::TempDir dir;
    KeyIndex index(dir.file("crc.idx"));
    ASSERT_EQ(index.open(), StoreStatus::Ok);
    std::mt19937 rng(7);
    std::vector<std::string> keys;
    // Short keys are held in their slot, long ones (a fifth here) apart.
    for (int i = 0; i < 1500; ++i)
        keys.push_back(std::to_string(rng()) + (i % 3 ? "x" : "") + (i % 5 ? "" : std::string(20, 'k')));
    keys.push_back("bios");
    for (int i = 0; i < 6000; ++i) {
        const std::string& key = i % 10 == 0 ? keys.back() : keys[rng() % 1500];
        ASSERT_EQ(index.insert(key, i % 97 == 0 ? "n/a" : std::to_string(i * 131)), StoreStatus::Ok);
    }

    KeyOffsetTable table;
    EXPECT_FALSE(table.build(index, 5000));  // more records than allowed
    EXPECT_FALSE(table.mirrors(index));
    ASSERT_TRUE(table.build(index, 6000));
    ASSERT_TRUE(table.mirrors(index));
    keys.insert(keys.end(), {"absent", "bio", "biosx", std::string(255, 'z')});
    for (const std::string& key : keys) {
        Offsets found;
        table.find(key, found);
        ASSERT_EQ(found, fromTree(index, key)) << key;
    }
    Offsets bios;
    table.find("bios", bios);
    EXPECT_EQ(bios.size(), 593u);  // 600 records, seven of them not offsets

    ASSERT_EQ(index.insert("bios", "1"), StoreStatus::Ok);
    EXPECT_FALSE(table.mirrors(index));
}

}  // namespace
}  // namespace quorvane
