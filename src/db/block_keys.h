// The full keys of a tree block, in key order. Items store keys
// prefix-compressed against their predecessor, so searching a block first
// expands them once into this array.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvane::keyfile {

struct BlockKeys {
    std::vector<uint16_t> offsets;  // item offset of entry i
    std::vector<uint32_t> starts;   // key i is bytes[starts[i], starts[i + 1])
    std::vector<uint8_t> bytes;

    int count() const { return static_cast<int>(offsets.size()); }
    const uint8_t* key(int i) const { return bytes.data() + starts[static_cast<size_t>(i)]; }
    int keyLen(int i) const {
        return static_cast<int>(starts[static_cast<size_t>(i) + 1] - starts[static_cast<size_t>(i)]);
    }
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
