#include "db/block_keys.h"

#include <algorithm>
#include <cstring>

#include "db/block_item.h"
#include "db/key_file_format.h"

namespace quorvane::keyfile {

int compareKeys(const uint8_t* a, int aLen, const uint8_t* b, int bLen) {
    const int n = aLen < bLen ? aLen : bLen;
    if (n > 0) {
        const int c = std::memcmp(a, b, static_cast<size_t>(n));
        if (c != 0) return c;
    }
    return aLen - bLen;
}

int commonPrefix(const uint8_t* a, int aLen, const uint8_t* b, int bLen) {
    const int n = aLen < bLen ? aLen : bLen;
    int i = 0;
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

namespace {

// Marks bytes [from, from + n) of a block as used; false when any already was.
bool claim(uint64_t* used, size_t from, size_t n) {
    const size_t to = from + n;  // decodeItem kept it within the block
    while (from < to) {
        const size_t word = from / 64, bit = from % 64;
        const size_t span = std::min<size_t>(64 - bit, to - from);
        const uint64_t mask = (span == 64 ? ~uint64_t{0} : ((uint64_t{1} << span) - 1)) << bit;
        if (used[word] & mask) return false;
        used[word] |= mask;
        from += span;
    }
    return true;
}

}  // namespace

bool expandKeys(const uint8_t* block, BlockKeys* out, const uint32_t* blockCount) {
    const uint8_t lvl = level(block);
    const int n = entryCount(block);
    const size_t free = freeOffset(block);
    if (lvl > kMaxTreeLevel || free < kHeaderSize || free + 2 * static_cast<size_t>(n) > kBlockSize) return false;
    const bool leaf = lvl == 0;
    // Keys are built in a scratch buffer big enough for any block (every
    // item a full 255-byte key) and copied out once at their real size.
    thread_local std::vector<uint8_t> scratch(kBlockSize / 2 * kMaxKeyLength);
    uint64_t used[kBlockSize / 64] = {};  // item bytes seen, to find overlaps
    out->offsets.resize(static_cast<size_t>(n));
    out->starts.resize(static_cast<size_t>(n) + 1);
    uint32_t pos = 0;
    uint32_t prevStart = 0;
    int prevLen = 0;
    for (int i = 0; i < n; ++i) {
        const uint16_t off = itemOffset(block, i);
        if (off < kHeaderSize || off >= free) return false;
        Item item;
        if (!decodeItem(block, off, free, leaf, &item)) return false;
        if (item.keyCommon > prevLen || (i == 0 && item.keyCommon != 0)) return false;
        if (blockCount) {
            if (!claim(used, off, static_cast<size_t>(item.size))) return false;
            if (!leaf && (item.number == kRootBlock || item.number >= *blockCount)) return false;
            if (leaf && !item.dataInline() &&
                (item.dataBlock == kRootBlock || item.dataBlock >= *blockCount ||
                 item.dataOffset < kHeaderSize || item.dataOffset >= kBlockSize))
                return false;
        }
        uint8_t* dst = scratch.data() + pos;
        if (item.keyCommon > 0) std::memcpy(dst, scratch.data() + prevStart, static_cast<size_t>(item.keyCommon));
        if (item.tailLen() > 0) std::memcpy(dst + item.keyCommon, item.tail, static_cast<size_t>(item.tailLen()));
        // Only the bytes after the shared prefix can be out of order.
        if (i > 0) {
            const uint8_t* a = scratch.data() + prevStart;
            int j = item.keyCommon;
            while (j < prevLen && j < item.keyLen && a[j] == dst[j]) ++j;
            if (j < prevLen && (j == item.keyLen || a[j] > dst[j])) return false;
        }
        out->offsets[static_cast<size_t>(i)] = off;
        out->starts[static_cast<size_t>(i)] = pos;
        prevStart = pos;
        prevLen = item.keyLen;
        pos += static_cast<uint32_t>(item.keyLen);
    }
    out->starts[static_cast<size_t>(n)] = pos;
    out->bytes.assign(scratch.data(), scratch.data() + pos);
    return true;
}

int lowerBound(const BlockKeys& keys, const uint8_t* key, int keyLen) {
    int lo = 0, hi = keys.count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (compareKeys(keys.key(mid), keys.keyLen(mid), key, keyLen) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int upperBound(const BlockKeys& keys, const uint8_t* key, int keyLen) {
    int lo = 0, hi = keys.count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (compareKeys(keys.key(mid), keys.keyLen(mid), key, keyLen) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

}  // namespace quorvane::keyfile
