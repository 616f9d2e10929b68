// The full keys of a tree block, in key order. Items store keys
// prefix-compressed against their predecessor, so searching a block needs
// them expanded; a cached block keeps this array and the edits of the hot
// paths (one item added or removed) update it instead of rebuilding it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace quorvane::keyfile {

struct BlockKeys {
    struct Entry {
        uint32_t start;  // in `bytes`
        uint32_t len;
        // The first 8 key bytes, big-endian, zero-padded: most comparisons
        // of a search end here without touching `bytes`.
        uint64_t prefix;
    };
    std::vector<Entry> entries;
    // Key bytes; removed keys leave garbage behind until a compaction.
    // Equal neighbours may share their bytes, so `live` (the sum of the
    // entries' lengths) can exceed `used`.
    std::vector<uint8_t> bytes;
    size_t used = 0;
    size_t live = 0;

    int count() const { return static_cast<int>(entries.size()); }
    const uint8_t* key(int i) const { return bytes.data() + entries[static_cast<size_t>(i)].start; }
    int keyLen(int i) const { return static_cast<int>(entries[static_cast<size_t>(i)].len); }
    void clear() {
        entries.clear();
        used = live = 0;
    }
    // The key at entry `pos`, later entries moving up one.
    void insert(int pos, const uint8_t* key, int len);
    void erase(int pos);
};

// Bytewise unsigned; a proper prefix sorts first. Inline and eight bytes at
// a time: every search step of every operation runs it on short keys.
// A key's first 8 bytes as a big-endian number, zero-padded. Two keys whose
// prefixes differ compare as their prefixes do.
inline uint64_t keyPrefix(const uint8_t* key, int len) {
    uint64_t v = 0;
    const int n = len < 8 ? len : 8;
    for (int i = 0; i < n; ++i) v |= static_cast<uint64_t>(key[i]) << (56 - 8 * i);
    return v;
}

inline int compareKeys(const uint8_t* a, int aLen, const uint8_t* b, int bLen) {
    const int n = aLen < bLen ? aLen : bLen;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) {
            if constexpr (std::endian::native == std::endian::little) {
                x = __builtin_bswap64(x);
                y = __builtin_bswap64(y);
            }
            return x < y ? -1 : 1;
        }
    }
    for (; i < n; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return aLen - bLen;
}
int commonPrefix(const uint8_t* a, int aLen, const uint8_t* b, int bLen);

// Expands the keys of a tree block. False when the block is damaged: a bad
// header, an index entry or item outside the item area, a keycommon longer
// than the previous key, or keys out of order. With a block count it also
// refuses overlapping items and child or data block numbers outside the
// file: the checks a block read from disk gets once.
bool expandKeys(const uint8_t* block, BlockKeys* out, const uint32_t* blockCount = nullptr);

// First entry whose key is >= (lowerBound) or > (upperBound) the given key.
int lowerBound(const BlockKeys& keys, const uint8_t* key, int keyLen);
int upperBound(const BlockKeys& keys, const uint8_t* key, int keyLen);

}  // namespace quorvane::keyfile
