// The bytes on disk, checked against hand-computed values.
#include <gtest/gtest.h>

#include <cstring>

#include "key_file_test_util.h"
#include "keyfile/block_edit.h"
#include "keyfile/block_file.h"
#include "keyfile/key_file.h"
#include "keyfile/key_file_format.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using namespace keyfile;
using testing::blockBytes;
using testing::TempDir;

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
    return out;
}

// A new key file holding the records, closed; returns its path.
std::string keyFileOf(const TempDir& dir, const testing::Records& records) {
    const std::string path = dir.file("layout.idx");
    EXPECT_EQ(keyFileClose(testing::createWith(path, records)), 0);
    return path;
}

TEST(KeyFileLayout, NewFileIsTwoBlocksOfKnownBytes) {
    TempDir dir;
    const std::string path = keyFileOf(dir, {});
    EXPECT_EQ(testing::readFile(path).size(), 2 * kBlockSize);

    std::string root(kBlockSize, '\0');
    const std::string head = std::string("\x00" "\x00\x00\x00\x01" "\x00\x00\x00\x02" "\x00\x01" "\x00\x24", 13) +
                             std::string("\x00\x00\x14", 3) + std::string("1.00 Orvel's B Tree") + '\0';
    root.replace(0, head.size(), head);
    root[4095] = 0x0D;
    EXPECT_EQ(hex(blockBytes(path, 0)), hex(root));

    std::string data(kBlockSize, '\0');
    data.replace(0, 13, std::string("\xFF" "\x00\x00\x00\x00" "\x00\x00\x00\x00" "\x00\x00" "\x00\x0D", 13));
    EXPECT_EQ(hex(blockBytes(path, 1)), hex(data));
}

TEST(KeyFileLayout, ItemsArePrefixCompressedAndIndexedInKeyOrder) {
    TempDir dir;
    // abc goes after abX (X < c); ab goes first, and abX is rewritten with keycommon 2.
    const std::string b = blockBytes(keyFileOf(dir, {{"abX", "1"}, {"abc", "7"}, {"ab", ""}}), 0);
    EXPECT_EQ(b[10], 4);  // nentries
    // Items in the order written: the identifying record, abc, abX rewritten
    // when ab arrived (so moved up), ab.
    const std::string abc("\x03\x02\x01" "c7", 5);
    const std::string ab("\x02\x00\x00" "ab", 5);
    const std::string abX("\x03\x02\x01" "X1", 5);
    EXPECT_EQ(hex(b.substr(36, 15)), hex(abc + abX + ab));
    EXPECT_EQ(static_cast<unsigned char>(b[12]), 36 + 15);  // free
    // Index, growing down from the end: identifying record (13), ab (46), abX (41), abc (36).
    EXPECT_EQ(hex(b.substr(4088, 8)), hex(std::string("\x00\x24\x00\x29\x00\x2E\x00\x0D", 8)));
}

TEST(KeyFileLayout, DataOverTheInlineLimitGoesToDataBlocks) {
    TempDir dir;
    const std::string inlineData(1024, 'i'), longData(1025, 'L');
    const std::string spanning(5000, 'S');  // crosses into a new data block
    const std::string path = keyFileOf(dir, {{"a", inlineData}, {"b", longData}, {"c", spanning}});

    const std::string root = blockBytes(path, 0);
    // "a": keylen 1, keycommon 0, datalen 1024 = 0x84 0x00, "a", inline bytes.
    EXPECT_EQ(hex(root.substr(36, 5)), hex(std::string("\x01\x00\x84\x00" "a", 5)));
    EXPECT_EQ(root.substr(41, 1024), inlineData);
    // "b": datalen 1025, then data block 1 at offset 13.
    EXPECT_EQ(hex(root.substr(1065, 7)), hex(std::string("\x01\x00\x84\x01" "b\x01\x0D", 7)));
    // "c": datalen 5000 = 0x93 0x88, data block 1 at offset 13 + 1025 = 1038 = 0x84 0x0E.
    EXPECT_EQ(hex(root.substr(1072, 8)), hex(std::string("\x01\x00\x93\x88" "c\x01\x84\x0E", 8)));
    EXPECT_EQ(hex(root.substr(1, 8)), "0000000200000003");  // LastDataBlock 2, FreeListHead 3

    const std::string d1 = blockBytes(path, 1);
    EXPECT_EQ(hex(d1.substr(0, 5)), "ff00000002");  // a data block chained to block 2
    EXPECT_EQ(hex(d1.substr(11, 2)), "1000");       // full
    EXPECT_EQ(d1.substr(13), longData + std::string(4096 - 1038, 'S'));
    const std::string d2 = blockBytes(path, 2);
    const size_t rest = 5000 - (4096 - 1038);
    EXPECT_EQ(static_cast<unsigned char>(d2[0]), 255);
    EXPECT_EQ(getU16(reinterpret_cast<const uint8_t*>(d2.data()) + 11), 13 + rest);
    EXPECT_EQ(d2.substr(13, rest), std::string(rest, 'S'));

    KeyFile* k = keyFileOpen(path, false);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(testing::walkAll(k), (std::vector<std::string>{"a=" + inlineData, "b=" + longData, "c=" + spanning}));
    keyFileClose(k);
}

TEST(KeyFileLayout, RoomAndItemEditing) {
    uint8_t block[kBlockSize];
    clearBlock(block, 0);
    uint8_t item[30];
    for (int i = 0; i < 100; ++i) {
        std::memset(item, i, sizeof item);
        insertItemBytes(block, 0, item, sizeof item);  // each new item first in key order
    }
    EXPECT_EQ(blockRoom(block), 4096 - (13 + 3000) - 200);
    EXPECT_EQ(itemOffset(block, 0), 13 + 99 * 30);  // the last one added, at the highest offset
    // Removing an item packs the ones after it down and fixes their offsets.
    removeItem(block, 99, 30);  // the first added, at offset 13
    EXPECT_EQ(entryCount(block), 99);
    EXPECT_EQ(freeOffset(block), 13 + 99 * 30);
    EXPECT_EQ(itemOffset(block, 98), 13);
    EXPECT_EQ(block[13], 1);
    EXPECT_EQ(itemOffset(block, 0), 13 + 98 * 30);
    EXPECT_EQ(block[13 + 99 * 30], 0);  // freed bytes are zero
}

TEST(KeyFileLayout, PhysicalFileNames) {
    EXPECT_EQ(physicalFilePath("/db/roms_sys.idx", 0), "/db/roms_sys.idx");
    EXPECT_EQ(physicalFilePath("/db/roms_sys.idx", 1), "/db/roms_sys_0001.idx");
    EXPECT_EQ(physicalFilePath("/db/roms_sys.idx", 0x2a), "/db/roms_sys_002a.idx");
    EXPECT_EQ(physicalFilePath("/db.d/roms", 1), "/db.d/roms_0001");
    EXPECT_EQ(physicalFilePath("dir.x\\file", 3), "dir.x\\file_0003");
    EXPECT_EQ(physicalFilePath("plain", 2), "plain_0002");
}

}  // namespace
}  // namespace quorvane
