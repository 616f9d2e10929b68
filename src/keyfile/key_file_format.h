// The on-disk format of a key file. Every byte written by the engine follows
// this description, and any file that follows it can be read.
//
// BLOCKS AND PHYSICAL FILES
//   A key file is a sequence of blocks of kBlockSize (4096) bytes; block n
//   starts at byte n * 4096 of the whole. The blocks are spread over physical
//   files of kBlocksPerPhysicalFile (65535) blocks: block n lives in physical
//   file n / 65535 at position n % 65535. Physical file 0 is the key file's own
//   path; file k >= 1 inserts "_" and k as four lower-case hex digits before
//   the extension (the last "." with no "/" or "\" after it), or appends them
//   when there is none:  db_sys.idx, db_sys_0001.idx, db_sys_0002.idx ...
//   Every physical file is a whole number of blocks; every file but the last
//   is full. The block count is the length of the files together / 4096.
//
// BLOCK HEADER (13 bytes, all integers big-endian)
//   off size field
//   0   1    level      0 leaf, 1..253 inner (the root is highest),
//                       254 free block, 255 data block
//   1   4    nextBlock  tree: next block of the same level (0 = none)
//                       data/free: next block of the chain (0 = none)
//                       root: LastDataBlock, the data block being filled
//   5   4    prevBlock  tree: previous block of the same level (0 = none)
//                       root: FreeListHead, the first free block, or the
//                       number the next appended block will get
//   9   2    nentries   items in the block
//   11  2    free       offset of the first unused byte of the item area
//
// ITEM AREA AND INDEX (tree blocks)
//   Items are packed from offset 13 upward in the order they were added. Key
//   order is given by an index of 2-byte item offsets growing downward from
//   the block's end: entry i sits at bytes 4094 - 2i, 4095 - 2i. The room of
//   a block is 4096 - free - 2 * nentries; an item of s bytes fits when the
//   room is at least s + 2.
//
// ITEM
//   keylen     1 byte   full key length (0..255)
//   keycommon  1 byte   leading bytes shared with the previous item's key in
//                       this block's key order (0 for the first item)
//   number     varint   leaf: data length; inner: child block number
//   key tail   keylen - keycommon bytes
//   data       leaf only: datalen 1..1024 -> the bytes inline;
//              datalen > 1024 -> varint data block, varint offset in it;
//              datalen 0 -> nothing
//   An inner item names a child block and carries the child's first key; its
//   subtree holds no key below it (the first item of a block excepted, whose
//   lower bound is its parent's). Keys compare bytewise unsigned, a prefix
//   first; equal keys stay in insertion order.
//
// VARINT (1..5 bytes, length told by the first byte)
//   < 2^7   0vvvvvvv                 127   -> 7F
//   < 2^14  10vvvvvv + 1 byte        128   -> 80 80
//   < 2^21  110vvvvv + 2 bytes       16384 -> C0 40 00
//   < 2^28  1110vvvv + 3 bytes
//   else    F0 + 4-byte big-endian
//
// ROOT, DATA AND FREE BLOCKS
//   Block 0 is always the root. When it is full its content moves to a new
//   block and block 0 becomes one level higher with a single empty-keyed item
//   naming that block. Block 1 is always the first data block. Data over
//   kInlineDataLimit bytes are appended to the root's LastDataBlock from its
//   free offset on, continuing at offset 13 of newly chained data blocks.
//   A block emptied by a merge is zeroed, given level 254 and pushed on the
//   free chain (its nextBlock takes FreeListHead). New blocks come from the
//   chain's head; when the head is the block count, the file grows instead.
//
// IDENTIFYING RECORD
//   The first leaf item of every key file has the empty key and the 20 data
//   bytes "1.00 Orvel's B Tree\0". Records with an empty key are never shown.
//
// WORKED EXAMPLE: a new, empty key file is exactly two blocks (8192 bytes).
//   block 0 (root leaf):
//     0000  00                    level 0
//     0001  00 00 00 01           LastDataBlock 1
//     0005  00 00 00 02           FreeListHead 2 (the next block to append)
//     0009  00 01                 one item
//     000B  00 24                 free = 13 + 23
//     000D  00 00 14 "1.00 Orvel's B Tree" 00
//                                 keylen 0, keycommon 0, datalen 20, data
//     0024..0FFD  zero
//     0FFE  00 0D                 index entry 0: the item at offset 13
//   block 1 (first data block):
//     1000  FF 00000000 00000000 0000 000D   level 255, empty; rest zero
//   A leaf item with key "abc" following an item with key "abX" and data "7":
//     03 02 01 63 37             keylen 3, keycommon 2, datalen 1, "c", "7"
#pragma once

#include <cstddef>
#include <cstdint>

#include "keyfile/byte_coding.h"

namespace quorvane::keyfile {

// A page of the usual size, so one block is one read of the operating system.
inline constexpr size_t kBlockSize = 4096;
// The header's 13 bytes; also the first item offset and an empty block's free.
inline constexpr uint16_t kHeaderSize = 13;
// Longer data go to data blocks, so a few maximal items still share a block.
inline constexpr uint32_t kInlineDataLimit = 1024;
// A split keeps items in the old block while at least half a block is free,
// so both halves have room to grow.
inline constexpr uint32_t kSplitRoom = 2048;
// Two neighbours merge when their rooms add up to this: their content then
// fits in one block with 274 bytes to spare (2 * 4083 - 4357 = 3809 of 4083),
// enough that the next insert rarely splits the block straight away.
inline constexpr uint32_t kMergeRoom = 4357;
// The physical file limit of 65535 blocks keeps every file below 256 MiB.
inline constexpr uint32_t kBlocksPerPhysicalFile = 65535;

inline constexpr uint8_t kFreeLevel = 254;
inline constexpr uint8_t kDataLevel = 255;
// Tree levels are 0..253: every descent ends within that many steps.
inline constexpr uint8_t kMaxTreeLevel = 253;
inline constexpr uint32_t kRootBlock = 0;
inline constexpr uint32_t kFirstDataBlock = 1;
inline constexpr int kMaxKeyLength = 255;
// An item: 2 bytes, a 5-byte number, a whole key, two numbers or inline data.
inline constexpr int kMaxItemSize = 2 + 5 + kMaxKeyLength + static_cast<int>(kInlineDataLimit);

// "1.00 Orvel's B Tree" and its terminating zero.
inline constexpr char kIdentifyingData[] = "1.00 Orvel's B Tree";
inline constexpr int kIdentifyingDataLength = sizeof kIdentifyingData;  // 20

// Block header fields.
inline uint8_t level(const uint8_t* b) { return b[0]; }
inline uint32_t nextBlock(const uint8_t* b) { return getU32(b + 1); }
inline uint32_t prevBlock(const uint8_t* b) { return getU32(b + 5); }
inline uint16_t entryCount(const uint8_t* b) { return getU16(b + 9); }
inline uint16_t freeOffset(const uint8_t* b) { return getU16(b + 11); }
inline void setLevel(uint8_t* b, uint8_t v) { b[0] = v; }
inline void setNextBlock(uint8_t* b, uint32_t v) { putU32(b + 1, v); }
inline void setPrevBlock(uint8_t* b, uint32_t v) { putU32(b + 5, v); }
inline void setEntryCount(uint8_t* b, uint16_t v) { putU16(b + 9, v); }
inline void setFreeOffset(uint8_t* b, uint16_t v) { putU16(b + 11, v); }

// The root's two chain fields.
inline uint32_t lastDataBlock(const uint8_t* root) { return nextBlock(root); }
inline uint32_t freeListHead(const uint8_t* root) { return prevBlock(root); }
inline void setLastDataBlock(uint8_t* root, uint32_t v) { setNextBlock(root, v); }
inline void setFreeListHead(uint8_t* root, uint32_t v) { setPrevBlock(root, v); }

// Index entry i: the offset of the item i-th in key order.
inline size_t indexPosition(int i) { return kBlockSize - 2 - 2 * static_cast<size_t>(i); }
inline uint16_t itemOffset(const uint8_t* b, int i) { return getU16(b + indexPosition(i)); }

inline int blockRoom(const uint8_t* b) {
    return static_cast<int>(kBlockSize) - freeOffset(b) - 2 * entryCount(b);
}

}  // namespace quorvane::keyfile
