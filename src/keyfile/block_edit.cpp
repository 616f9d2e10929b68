#include "keyfile/block_edit.h"

#include <cstring>

#include "keyfile/key_file_format.h"

namespace quorvane::keyfile {

void insertItemBytes(uint8_t* block, int pos, const uint8_t* item, int size) {
    const uint16_t free = freeOffset(block);
    const int n = entryCount(block);
    std::memcpy(block + free, item, static_cast<size_t>(size));
    // Entries pos..n-1 move one slot down (towards lower addresses).
    uint8_t* lowest = block + indexPosition(n);
    std::memmove(lowest, lowest + 2, 2 * static_cast<size_t>(n - pos));
    putU16(block + indexPosition(pos), free);
    setEntryCount(block, static_cast<uint16_t>(n + 1));
    setFreeOffset(block, static_cast<uint16_t>(free + size));
}

void removeItem(uint8_t* block, int pos, int size) {
    const uint16_t free = freeOffset(block);
    const int n = entryCount(block);
    const uint16_t off = itemOffset(block, pos);
    std::memmove(block + off, block + off + size, static_cast<size_t>(free - off - size));
    std::memset(block + free - size, 0, static_cast<size_t>(size));
    // Entries pos+1..n-1 move one slot up.
    uint8_t* lowest = block + indexPosition(n - 1);
    std::memmove(lowest + 2, lowest, 2 * static_cast<size_t>(n - 1 - pos));
    lowest[0] = lowest[1] = 0;
    for (int i = 0; i < n - 1; ++i) {
        const uint16_t o = itemOffset(block, i);
        if (o > off) putU16(block + indexPosition(i), static_cast<uint16_t>(o - size));
    }
    setEntryCount(block, static_cast<uint16_t>(n - 1));
    setFreeOffset(block, static_cast<uint16_t>(free - size));
}

void clearBlock(uint8_t* block, uint8_t lvl) {
    std::memset(block, 0, kBlockSize);
    setLevel(block, lvl);
    setFreeOffset(block, kHeaderSize);
}

}  // namespace quorvane::keyfile
