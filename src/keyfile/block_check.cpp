#include "keyfile/block_check.h"

#include "keyfile/key_file_format.h"
#include "keyfile/key_walk.h"

namespace quorvane::keyfile {

bool blockIsSound(const uint8_t* b, uint32_t number, uint32_t blockCount, BlockKeys* keys, bool itemsToo) {
    const uint8_t lvl = level(b);
    const uint32_t next = nextBlock(b);
    const uint32_t prev = prevBlock(b);
    if (lvl == kDataLevel) {
        const uint16_t free = freeOffset(b);
        return free >= kHeaderSize && free <= kBlockSize && next < blockCount && next != number;
    }
    if (lvl == kFreeLevel) return number >= 2 && next <= blockCount && next != number;
    if (number == kRootBlock) {
        if (next == kRootBlock || next >= blockCount) return false;  // LastDataBlock
        if (prev < 2 || prev > blockCount) return false;              // FreeListHead
    } else {
        if (next >= blockCount || prev >= blockCount || next == number || prev == number) return false;
        if (number == kFirstDataBlock) return false;
    }
    if (itemsToo) return keys ? expandKeys(b, keys, &blockCount) : checkItems(b, blockCount);
    if (keys) return expandKeys(b, keys);
    const size_t free = freeOffset(b);
    return lvl <= kMaxTreeLevel && free >= kHeaderSize && free + 2 * size_t{entryCount(b)} <= kBlockSize;
}

}  // namespace quorvane::keyfile
