#include "keyfile/key_walk.h"

#include <cstring>

#include "keyfile/byte_claims.h"

namespace quorvane::keyfile {

namespace {

// Writes a key tail after the shared prefix, 16 bytes at a time when the
// source has the room to over-read.
inline void placeTail(uint8_t* key, const Item& item, const uint8_t* blockEnd) {
    const int tail = item.tailLen();
    uint8_t* dst = key + item.keyCommon;
    if (item.tail + tail + 16 <= blockEnd) {
        for (int i = 0; i < tail; i += 16) std::memcpy(dst + i, item.tail + i, 16);
    } else if (tail > 0) {
        std::memcpy(dst, item.tail, static_cast<size_t>(tail));
    }
}

}  // namespace

KeyWalk::KeyWalk(const uint8_t* block)
    : block_(block), count_(entryCount(block)), free_(freeOffset(block)), leaf_(level(block) == 0) {}

bool KeyWalk::next() {
    if (damaged_ || index_ + 1 >= count_) return false;
    ++index_;
    const uint16_t off = itemOffset(block_, index_);
    if (off < kHeaderSize || off >= free_ ||
        (!decodeShortItem(block_, off, free_, leaf_, &item_) && !decodeItem(block_, off, free_, leaf_, &item_)) ||
        item_.keyCommon > (index_ == 0 ? 0 : keyLen_)) {
        damaged_ = true;
        return false;
    }
    placeTail(key_, item_, block_ + kBlockSize);
    keyLen_ = item_.keyLen;
    return true;
}

int walkToBound(KeyWalk& walk, const uint8_t* key, int keyLen, bool pastEqual, int* shared) {
    // `matched`: the bytes the last key passed shares with the wanted one.
    // A next key sharing more than that with its predecessor differs from
    // the wanted key at the same byte in the same way, so it is smaller too
    // and needs no comparison. (A passed key equal to the wanted one shares
    // all of its bytes, which no next key can exceed.)
    int matched = 0;
    while (walk.next()) {
        const int common = walk.item().keyCommon;
        if (walk.index() > 0 && common > matched) continue;
        const uint8_t* k = walk.key();
        const int len = walk.keyLen();
        int j = common;
        while (j < len && j < keyLen && k[j] == key[j]) ++j;
        const bool passed = j < len ? (j < keyLen && k[j] < key[j]) : (j < keyLen || pastEqual);
        if (!passed) {
            if (shared) *shared = matched;
            return walk.index();
        }
        matched = j;
    }
    if (walk.damaged()) return -1;
    if (shared) *shared = matched;
    return walk.index() + 1;
}

bool walkTo(KeyWalk& walk, int index) {
    while (walk.index() < index)
        if (!walk.next()) return false;
    return walk.index() == index;
}

bool checkItems(const uint8_t* block, uint32_t blockCount) {
    const uint8_t lvl = level(block);
    const int n = entryCount(block);
    const size_t free = freeOffset(block);
    if (lvl > kMaxTreeLevel || free < kHeaderSize || free + 2 * static_cast<size_t>(n) > kBlockSize) return false;
    const bool leaf = lvl == 0;
    ByteClaims claims;
    alignas(16) uint8_t key[kMaxKeyLength + 32];
    int keyLen = 0;
    for (int i = 0; i < n; ++i) {
        const uint16_t off = itemOffset(block, i);
        if (off < kHeaderSize || off >= free) return false;
        Item item;
        if (!decodeItem(block, off, free, leaf, &item)) return false;
        if (item.keyCommon > keyLen || (i == 0 && item.keyCommon != 0)) return false;
        if (!claims.claim(off, static_cast<size_t>(item.size))) return false;
        if (!leaf && (item.number == kRootBlock || item.number >= blockCount)) return false;
        if (leaf && !item.dataInline() &&
            (item.dataBlock == kRootBlock || item.dataBlock >= blockCount || item.dataOffset < kHeaderSize ||
             item.dataOffset >= kBlockSize))
            return false;
        // In order: only the bytes after the shared prefix can differ.
        const int tail = item.tailLen();
        int j = 0;
        while (item.keyCommon + j < keyLen && j < tail && key[item.keyCommon + j] == item.tail[j]) ++j;
        if (item.keyCommon + j < keyLen && (j == tail || key[item.keyCommon + j] > item.tail[j])) return false;
        placeTail(key, item, block + kBlockSize);
        keyLen = item.keyLen;
    }
    return true;
}

}  // namespace quorvane::keyfile
