// The bytes on disk, checked against hand-computed values, and the numbered
// physical files a key file spills into.
#include <gtest/gtest.h>

#include <filesystem>

#include "key_file_test_util.h"
#include "keyfile/block_file.h"
#include "keyfile/byte_coding.h"
#include "keyfile/key_file_format.h"

namespace quorvane {
namespace {

using namespace keyfile;
using namespace testing;
using Bytes = std::vector<uint8_t>;

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
    return out;
}

std::string blockBytes(const std::string& path, size_t n) { return readFile(path).substr(n * kBlockSize, kBlockSize); }

// A new key file holding the records, closed; returns its path.
std::string keyFileOf(const TempDir& dir, const Records& records) {
    const std::string path = dir.file("layout.idx");
    EXPECT_EQ(keyFileClose(createWith(path, records)), 0);
    return path;
}

// Each width's first and last value: the bytes, the way back, and a refusal
// of every shorter limit (the bytes being cut off).
TEST(ByteCoding, VarintAtEveryWidthBoundaryAndNeverPastTheLimit) {
    const std::pair<uint32_t, Bytes> cases[] = {
        {0, {0x00}}, {127, {0x7F}}, {128, {0x80, 0x80}}, {16383, {0xBF, 0xFF}}, {16384, {0xC0, 0x40, 0x00}},
        {(1u << 21) - 1, {0xDF, 0xFF, 0xFF}}, {1u << 21, {0xE0, 0x20, 0x00, 0x00}},
        {(1u << 28) - 1, {0xEF, 0xFF, 0xFF, 0xFF}}, {1u << 28, {0xF0, 0x10, 0x00, 0x00, 0x00}},
        {0xFFFFFFFFu, {0xF0, 0xFF, 0xFF, 0xFF, 0xFF}}};
    for (const auto& [v, bytes] : cases) {
        SCOPED_TRACE(v);
        uint8_t buf[kMaxVarintSize];
        const int n = putVarint(buf, v);
        EXPECT_EQ(n, varintSize(v));
        EXPECT_EQ(Bytes(buf, buf + n), bytes);
        uint32_t got = 0;
        EXPECT_EQ(getVarint(bytes.data(), bytes.data() + bytes.size(), &got), static_cast<int>(bytes.size()));
        EXPECT_EQ(got, v);
        for (size_t cut = 0; cut < bytes.size(); ++cut) EXPECT_EQ(getVarint(bytes.data(), bytes.data() + cut, &got), 0);
    }
}

TEST(KeyFileLayout, NewFileIsTwoBlocksOfKnownBytes) {
    TempDir dir;
    const std::string path = keyFileOf(dir, {});
    EXPECT_EQ(readFile(path).size(), 2 * kBlockSize);
    const std::string root = blockBytes(path, 0), data = blockBytes(path, 1);
    // Level 0, LastDataBlock 1, FreeListHead 2, one item, free at 36, then the
    // identifying record (no key, 20 bytes of data) and its index entry.
    const std::string head = "00000000010000000200010024000014" + std::string("1.00 Orvel's B Tree");
    EXPECT_EQ(hex(root.substr(0, 16)) + root.substr(16), head + std::string(4060, '\0') + '\x0D');
    EXPECT_EQ(hex(data.substr(0, 13)) + data.substr(13), "ff0000000000000000" "0000" "000d" + std::string(4083, '\0'));
}

TEST(KeyFileLayout, DataOverTheInlineLimitGoesToDataBlocks) {
    TempDir dir;
    const std::string inlineData(1024, 'i'), longData(1025, 'L'), spanning(5000, 'S');  // crosses into a new block
    const std::string path = keyFileOf(dir, {{"a", inlineData}, {"b", longData}, {"c", spanning}});
    const std::string root = blockBytes(path, 0);
    // "a": keylen 1, keycommon 0, datalen 1024 = 0x84 0x00, "a", inline bytes.
    EXPECT_EQ(hex(root.substr(36, 5)), "0100840061");
    EXPECT_EQ(root.substr(41, 1024), inlineData);
    // "b": datalen 1025, then data block 1 at offset 13; "c": datalen 5000,
    // data block 1 at offset 13 + 1025 = 1038.
    EXPECT_EQ(hex(root.substr(1065, 15)), "010084016201" "0d" "01009388630184" "0e");
    EXPECT_EQ(hex(root.substr(1, 8)), "0000000200000003");  // LastDataBlock 2, FreeListHead 3
    // Data block 1, chained to block 2 and full; block 2 holds the rest.
    const std::string d1 = blockBytes(path, 1), d2 = blockBytes(path, 2);
    EXPECT_EQ(hex(d1.substr(0, 5) + d1.substr(11, 2)), "ff000000021000");
    EXPECT_EQ(d1.substr(13) + d2.substr(13, 1942), longData + spanning);
    EXPECT_EQ(hex(d2.substr(0, 1) + d2.substr(11, 2)), "ff07a3");  // free at 13 + 1942
}

// Blocks beyond the count per file (65535 in the program, 8 here) go to
// "_0001", "_0002"... files; the model test reads and changes such files.
TEST(KeyFileLayout, BlocksBeyondTheCountGoToNumberedFiles) {
    TempDir dir;
    const std::string path = dir.file("roms_sys.idx");
    writeFile(dir.file("roms_sys_0001.idx"), "left by an earlier key file");
    KeyFile* k = keyFileCreate(path, nullptr, 8);
    ASSERT_NE(k, nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir.file("roms_sys_0001.idx")));
    for (int i = 0; i < 1500; ++i) insertText(k, "sys" + std::to_string(i % 40), std::string(40, char('a' + i % 26)));
    ASSERT_EQ(keyFileClose(k), 0);
    EXPECT_EQ(std::filesystem::file_size(dir.file("roms_sys_0001.idx")), 8 * kBlockSize);
    EXPECT_TRUE(std::filesystem::exists(dir.file("roms_sys_0002.idx")));
    EXPECT_EQ(physicalFilePath("/d.x/roms", 0x2a) + physicalFilePath("/d.x/roms", 0), "/d.x/roms_002a/d.x/roms");
    // A short file before the last one is damage.
    std::filesystem::resize_file(dir.file("roms_sys_0001.idx"), 3 * kBlockSize);
    EXPECT_EQ(keyFileOpen(path, false, nullptr, 8), nullptr);
    EXPECT_EQ(keyFileErrno(), kKfDamaged);
}

// A change's undo keeps only a tree block's two ends, trusting that the
// bytes between its items and its index are zero: after inserts, deletes,
// splits and merges of keys of every length, each tree block must show it.
TEST(KeyFileLayout, TreeBlocksAreZeroBetweenItemsAndIndex) {
    TempDir dir;
    const std::string path = dir.file("churn.idx");
    KeyFile* k = keyFileCreate(path);
    ASSERT_NE(k, nullptr);
    std::vector<std::string> keys;
    for (int i = 0; i < 6000; ++i) {
        const std::string key = std::to_string(i * 7919 % 6007) + std::string(static_cast<size_t>(i % 97), 'k');
        keys.push_back(key);
        insertText(k, key, std::string(static_cast<size_t>(i % 50 + 1), 'd'));
    }
    for (size_t i = 0; i < keys.size(); i += 2) {
        ASSERT_GE(findFirst(k, keys[i]), 0) << keys[i];
        ASSERT_EQ(keyFileDelete(k), 0) << keys[i];
    }
    ASSERT_EQ(keyFileClose(k), 0);
    const std::string bytes = readFile(path);
    ASSERT_EQ(bytes.size() % kBlockSize, 0u);
    size_t treeBlocks = 0;
    for (size_t n = 0; n < bytes.size() / kBlockSize; ++n) {
        const auto* b = reinterpret_cast<const uint8_t*>(bytes.data() + n * kBlockSize);
        if (level(b) > kMaxTreeLevel) continue;
        ++treeBlocks;
        const size_t from = freeOffset(b), to = kBlockSize - 2 * size_t{entryCount(b)};
        ASSERT_LE(from, to) << "block " << n;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(b) + from, to - from), std::string(to - from, '\0'))
            << "block " << n;
    }
    EXPECT_GT(treeBlocks, 20u);
}

}  // namespace
}  // namespace quorvane
