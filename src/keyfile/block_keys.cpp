#include "keyfile/block_keys.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "keyfile/block_item.h"
#include "keyfile/byte_claims.h"
#include "keyfile/key_file_format.h"

namespace quorvane::keyfile {

int commonPrefix(const uint8_t* a, int aLen, const uint8_t* b, int bLen) {
    const int n = aLen < bLen ? aLen : bLen;
    int i = 0;
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

namespace {


// Copies n bytes in 16-byte steps, which compile to plain loads and stores
// (each step loads before it stores, so a source just before the target is
// fine). It reads and writes up to 15 bytes past n: the caller has room.
inline void copyInSteps(uint8_t* dst, const uint8_t* src, int n) {
    for (int i = 0; i < n; i += 16) std::memmove(dst + i, src + i, 16);
}

// keyPrefix for a key followed by at least 8 readable bytes: one load.
inline uint64_t paddedPrefix(const uint8_t* key, int len) {
    if (len >= 8) {
        uint64_t v;
        std::memcpy(&v, key, 8);
        if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
        return v;
    }
    return keyPrefix(key, len);
}

// Room past the last key for copyInSteps' over-reach.
constexpr size_t kSlack = kMaxKeyLength + 32;

}  // namespace

bool expandKeys(const uint8_t* block, BlockKeys* out, const uint32_t* blockCount) {
    const uint8_t lvl = level(block);
    const int n = entryCount(block);
    const size_t free = freeOffset(block);
    out->clear();
    if (lvl > kMaxTreeLevel || free < kHeaderSize || free + 2 * static_cast<size_t>(n) > kBlockSize) return false;
    const bool leaf = lvl == 0;
    ByteClaims claims;  // item bytes seen, to find overlaps
    out->entries.resize(static_cast<size_t>(n));
    BlockKeys::Entry* entries = out->entries.data();
    uint32_t pos = 0;
    uint32_t prevStart = 0;
    int prevLen = 0;
    uint64_t prevPrefix = 0;
    size_t live = 0;  // bytes of the entries sharing another's
    for (int i = 0; i < n; ++i) {
        const uint16_t off = itemOffset(block, i);
        if (off < kHeaderSize || off >= free) return false;
        Item item;
        if (!decodeShortItem(block, off, free, leaf, &item) && !decodeItem(block, off, free, leaf, &item)) return false;
        if (item.keyCommon > prevLen || (i == 0 && item.keyCommon != 0)) return false;
        if (blockCount) {
            if (!claims.claim(off, static_cast<size_t>(item.size))) return false;
            if (!leaf && (item.number == kRootBlock || item.number >= *blockCount)) return false;
            if (leaf && !item.dataInline() &&
                (item.dataBlock == kRootBlock || item.dataBlock >= *blockCount ||
                 item.dataOffset < kHeaderSize || item.dataOffset >= kBlockSize))
                return false;
        }
        // A duplicate of the previous key (the common case: one system's
        // rows, one CRC in many sets) shares its bytes.
        if (i > 0 && item.keyCommon == prevLen && item.keyLen == prevLen) {
            entries[i] = {prevStart, static_cast<uint32_t>(prevLen), prevPrefix};
            live += static_cast<size_t>(prevLen);
            continue;
        }
        if (out->bytes.size() < pos + kSlack) out->bytes.resize(std::max<size_t>(2 * out->bytes.size(), kBlockSize));
        uint8_t* base = out->bytes.data();
        uint8_t* dst = base + pos;
        // Bytes past the prefix are garbage that the tail overwrites.
        copyInSteps(dst, base + prevStart, item.keyCommon);
        const int tail = item.tailLen();
        if (item.tail + tail + 16 <= block + kBlockSize)
            copyInSteps(dst + item.keyCommon, item.tail, tail);
        else if (tail > 0)
            std::memcpy(dst + item.keyCommon, item.tail, static_cast<size_t>(tail));
        // Only the bytes after the shared prefix can be out of order.
        if (i > 0) {
            const uint8_t* a = base + prevStart;
            int j = item.keyCommon;
            while (j < prevLen && j < item.keyLen && a[j] == dst[j]) ++j;
            if (j < prevLen && (j == item.keyLen || a[j] > dst[j])) return false;
        }
        prevPrefix = paddedPrefix(dst, item.keyLen);
        entries[i] = {pos, static_cast<uint32_t>(item.keyLen), prevPrefix};
        prevStart = pos;
        prevLen = item.keyLen;
        pos += static_cast<uint32_t>(item.keyLen);
    }
    out->used = pos;
    out->live = live + pos;
    return true;
}

void BlockKeys::insert(int pos, const uint8_t* key, int len) {
    uint8_t copy[kMaxKeyLength];  // `key` may lie in `bytes`, which may move
    if (len > 0) std::memcpy(copy, key, static_cast<size_t>(len));
    // Compact once the garbage of removed keys outweighs the live keys.
    if (used > 2 * live && used - live > kBlockSize) {
        std::vector<uint8_t> packed(std::max<size_t>(bytes.size(), kBlockSize));
        uint32_t at = 0;
        for (Entry& e : entries) {
            std::memcpy(packed.data() + at, bytes.data() + e.start, e.len);
            e.start = at;
            at += e.len;
        }
        bytes.swap(packed);
        used = at;
    }
    if (bytes.size() < used + static_cast<size_t>(len))
        bytes.resize(std::max<size_t>(2 * bytes.size(), kBlockSize));
    if (len > 0) std::memcpy(bytes.data() + used, copy, static_cast<size_t>(len));
    entries.insert(entries.begin() + pos,
                   Entry{static_cast<uint32_t>(used), static_cast<uint32_t>(len), keyPrefix(copy, len)});
    used += static_cast<size_t>(len);
    live += static_cast<size_t>(len);
}

void BlockKeys::erase(int pos) {
    live -= entries[static_cast<size_t>(pos)].len;
    entries.erase(entries.begin() + pos);
}

int lowerBound(const BlockKeys& keys, const uint8_t* key, int keyLen) {
    const uint64_t prefix = keyPrefix(key, keyLen);
    int lo = 0, hi = keys.count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const BlockKeys::Entry& e = keys.entries[static_cast<size_t>(mid)];
        const bool less = e.prefix != prefix ? e.prefix < prefix
                                             : compareKeys(keys.key(mid), keys.keyLen(mid), key, keyLen) < 0;
        if (less)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int upperBound(const BlockKeys& keys, const uint8_t* key, int keyLen) {
    const uint64_t prefix = keyPrefix(key, keyLen);
    const auto notAfter = [&](int i) {
        const BlockKeys::Entry& e = keys.entries[static_cast<size_t>(i)];
        return e.prefix != prefix ? e.prefix < prefix : compareKeys(keys.key(i), keys.keyLen(i), key, keyLen) <= 0;
    };
    int lo = 0, hi = keys.count();
    // Inserts mostly go after the block's last key (one system's rows, a
    // growing index): one comparison settles those.
    if (hi > 0 && notAfter(hi - 1)) return hi;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (notAfter(mid))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

}  // namespace quorvane::keyfile
