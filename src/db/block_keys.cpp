#include "db/block_keys.h"

#include <bitset>
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

bool expandKeys(const uint8_t* block, BlockKeys* out, const uint32_t* blockCount) {
    const uint8_t lvl = level(block);
    const int n = entryCount(block);
    const size_t free = freeOffset(block);
    if (lvl > kMaxTreeLevel || free < kHeaderSize || free + 2 * static_cast<size_t>(n) > kBlockSize) return false;
    const bool leaf = lvl == 0;
    out->offsets.resize(static_cast<size_t>(n));
    out->starts.resize(static_cast<size_t>(n) + 1);
    out->bytes.resize(static_cast<size_t>(free));  // keys never total more than the items
    std::bitset<kBlockSize> used;
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
            for (int j = off; j < off + item.size; ++j) {
                if (used[static_cast<size_t>(j)]) return false;
                used[static_cast<size_t>(j)] = true;
            }
            if (!leaf && (item.number == kRootBlock || item.number >= *blockCount)) return false;
            if (leaf && !item.dataInline() &&
                (item.dataBlock == kRootBlock || item.dataBlock >= *blockCount ||
                 item.dataOffset < kHeaderSize || item.dataOffset >= kBlockSize))
                return false;
        }
        if (pos + static_cast<uint32_t>(item.keyLen) > out->bytes.size())
            out->bytes.resize(out->bytes.size() * 2 + kMaxKeyLength);
        uint8_t* dst = out->bytes.data() + pos;
        if (item.keyCommon > 0) std::memmove(dst, out->bytes.data() + prevStart, static_cast<size_t>(item.keyCommon));
        if (item.tailLen() > 0) std::memcpy(dst + item.keyCommon, item.tail, static_cast<size_t>(item.tailLen()));
        if (i > 0 && compareKeys(out->bytes.data() + prevStart, prevLen, dst, item.keyLen) > 0) return false;
        out->offsets[static_cast<size_t>(i)] = off;
        out->starts[static_cast<size_t>(i)] = pos;
        prevStart = pos;
        prevLen = item.keyLen;
        pos += static_cast<uint32_t>(item.keyLen);
    }
    out->starts[static_cast<size_t>(n)] = pos;
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
