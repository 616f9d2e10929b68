// The full keys of a tree block, in key order. Items store keys
// prefix-compressed against their predecessor, so searching a block needs
// them expanded; a cached block keeps this array and the edits of the hot
// paths (one item added or removed) update it instead of rebuilding it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvane::keyfile {

struct BlockKeys {
    struct Entry {
        uint32_t start;  // in `bytes`
        uint32_t len;
    };
    std::vector<Entry> entries;
    // Key bytes; removed keys leave garbage behind until a compaction.
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

// Bytewise unsigned; a proper prefix sorts first.
int compareKeys(const uint8_t* a, int aLen, const uint8_t* b, int bLen);
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
