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
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST(KeyFileLayout, NewFileIsTwoBlocksOfKnownBytes) {
    TempDir dir;
    const std::string path = dir.file("new.idx");
    KeyFile* k = keyFileCreate(path);
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(keyFileClose(k), 0);
    EXPECT_EQ(testing::readFile(path).size(), 2 * kBlockSize);

    std::string root(kBlockSize, '\0');
    const std::string head = std::string("\x00" "\x00\x00\x00\x01" "\x00\x00\x00\x02" "\x00\x01" "\x00\x24", 13) +
                             std::string("\x00\x00\x14", 3) + std::string("1.00 Orvel's B Tree") + '\0';
    root.replace(0, head.size(), head);
    root[4094] = 0x00;
    root[4095] = 0x0D;
    EXPECT_EQ(hex(blockBytes(path, 0)), hex(root));

    std::string data(kBlockSize, '\0');
    data.replace(0, 13, std::string("\xFF" "\x00\x00\x00\x00" "\x00\x00\x00\x00" "\x00\x00" "\x00\x0D", 13));
    EXPECT_EQ(hex(blockBytes(path, 1)), hex(data));
}

TEST(KeyFileLayout, ItemsArePrefixCompressedAndIndexedInKeyOrder) {
    TempDir dir;
    const std::string path = dir.file("items.idx");
    KeyFile* k = keyFileCreate(path);
    ASSERT_NE(k, nullptr);
    testing::insertText(k, "abX", "1");
    testing::insertText(k, "abc", "7");  // goes after abX (X < c)
    testing::insertText(k, "ab", "");    // goes first; abX is rewritten with keycommon 2
    ASSERT_EQ(keyFileClose(k), 0);
    const std::string b = blockBytes(path, 0);
    // Items in the order written: the identifying record, abc, abX rewritten
    // with keycommon 2 when ab arrived (so moved up), ab.
    EXPECT_EQ(b[10], 4);  // nentries
    const std::string abc("\x03\x02\x01" "c7", 5);
    const std::string ab("\x02\x00\x00" "ab", 5);
    const std::string abX("\x03\x02\x01" "X1", 5);
    EXPECT_EQ(hex(b.substr(36, 15)), hex(abc + abX + ab));
    EXPECT_EQ(static_cast<unsigned char>(b[12]), 36 + 15);  // free
    // Index, growing down from the end: identifying record (13), ab (46),
    // abX (41), abc (36).
    EXPECT_EQ(hex(b.substr(4088, 8)), hex(std::string("\x00\x24\x00\x29\x00\x2E\x00\x0D", 8)));
}

TEST(KeyFileLayout, DataOverTheInlineLimitGoesToDataBlocks) {
    TempDir dir;
    const std::string path = dir.file("long.idx");
    KeyFile* k = keyFileCreate(path);
    ASSERT_NE(k, nullptr);
    const std::string inlineData(1024, 'i');
    const std::string longData(1025, 'L');
    const std::string spanning(5000, 'S');  // crosses into a new data block
    testing::insertText(k, "a", inlineData);
    testing::insertText(k, "b", longData);
    testing::insertText(k, "c", spanning);
    ASSERT_EQ(keyFileClose(k), 0);

    const std::string root = blockBytes(path, 0);
    // "a": keylen 1, keycommon 0, datalen 1024 = 0x84 0x00, "a", inline bytes.
    EXPECT_EQ(hex(root.substr(36, 5)), hex(std::string("\x01\x00\x84\x00" "a", 5)));
    EXPECT_EQ(root.substr(41, 1024), inlineData);
    // "b": datalen 1025, then data block 1 at offset 13.
    EXPECT_EQ(hex(root.substr(1065, 7)), hex(std::string("\x01\x00\x84\x01" "b\x01\x0D", 7)));
    // "c": datalen 5000 = 0x93 0x88, data block 1 at offset 13 + 1025 = 1038 = 0x84 0x0E.
    EXPECT_EQ(hex(root.substr(1072, 8)), hex(std::string("\x01\x00\x93\x88" "c\x01\x84\x0E", 8)));
    EXPECT_EQ(hex(root.substr(1, 8)), hex(std::string("\x00\x00\x00\x02\x00\x00\x00\x03", 8)));  // LastDataBlock 2, FreeListHead 3

    const std::string d1 = blockBytes(path, 1);
    EXPECT_EQ(static_cast<unsigned char>(d1[0]), 255);
    EXPECT_EQ(hex(d1.substr(1, 4)), "00000002");  // chained to block 2
    EXPECT_EQ(hex(d1.substr(11, 2)), "1000");     // full
    EXPECT_EQ(d1.substr(13, 1025), longData);
    EXPECT_EQ(d1.substr(1038), std::string(4096 - 1038, 'S'));
    const std::string d2 = blockBytes(path, 2);
    EXPECT_EQ(static_cast<unsigned char>(d2[0]), 255);
    const size_t rest = 5000 - (4096 - 1038);
    EXPECT_EQ(getU16(reinterpret_cast<const uint8_t*>(d2.data()) + 11), 13 + rest);
    EXPECT_EQ(d2.substr(13, rest), std::string(rest, 'S'));

    k = keyFileOpen(path, false);
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
    EXPECT_EQ(blockRoom(block), 883);
    // Entry 0 is the last one added, at the highest offset.
    EXPECT_EQ(itemOffset(block, 0), 13 + 99 * 30);
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
