// One item of a tree block: decoding with bounds checks, and encoding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "keyfile/byte_coding.h"

namespace quorvane::keyfile {

struct Item {
    int keyLen = 0;
    int keyCommon = 0;
    uint32_t number = 0;            // leaf: data length; inner: child block
    const uint8_t* tail = nullptr;  // keyLen - keyCommon key bytes
    // Leaf data: the inline bytes, or the data block reference.
    const uint8_t* trailer = nullptr;
    int trailerLen = 0;
    uint32_t dataBlock = 0;
    uint32_t dataOffset = 0;
    int size = 0;

    int tailLen() const { return keyLen - keyCommon; }
    bool dataInline() const { return number <= 1024; }  // kInlineDataLimit
};

// Decodes the item at `offset` of a block; false when any part of it would
// lie at or past `end` or its fields contradict each other. Inline: it runs
// for every item of every block read from disk.
inline bool decodeItem(const uint8_t* block, size_t offset, size_t end, bool leaf, Item* out) {
    const uint8_t* p = block + offset;
    const uint8_t* limit = block + end;
    if (offset + 2 > end) return false;
    out->keyLen = p[0];
    out->keyCommon = p[1];
    if (out->keyCommon > out->keyLen) return false;
    p += 2;
    const int n = getVarint(p, limit, &out->number);
    if (n == 0) return false;
    p += n;
    if (limit - p < out->tailLen()) return false;
    out->tail = p;
    p += out->tailLen();
    out->trailer = p;
    out->trailerLen = 0;
    out->dataBlock = out->dataOffset = 0;
    if (leaf && out->number > 0) {
        if (out->dataInline()) {
            if (limit - p < static_cast<ptrdiff_t>(out->number)) return false;
            out->trailerLen = static_cast<int>(out->number);
        } else {
            const int a = getVarint(p, limit, &out->dataBlock);
            if (a == 0) return false;
            const int b = getVarint(p + a, limit, &out->dataOffset);
            if (b == 0) return false;
            out->trailerLen = a + b;
        }
    }
    out->size = static_cast<int>(p + out->trailerLen - (block + offset));
    return true;
}

// decodeItem for the common item whose number takes one byte (a leaf's data
// of at most 127 bytes inline, or a child block below 128). False when the
// item is not of that kind or does not fit: then decodeItem decides.
inline bool decodeShortItem(const uint8_t* block, size_t offset, size_t end, bool leaf, Item* out) {
    const uint8_t* p = block + offset;
    if (offset + 3 > end || p[2] >= 0x80 || p[1] > p[0]) return false;
    const int keyLen = p[0], keyCommon = p[1];
    const uint32_t number = p[2];
    const size_t trailerLen = leaf ? number : 0;
    const size_t size = 3 + static_cast<size_t>(keyLen - keyCommon) + trailerLen;
    if (offset + size > end) return false;
    out->keyLen = keyLen;
    out->keyCommon = keyCommon;
    out->number = number;
    out->tail = p + 3;
    out->trailer = p + 3 + (keyLen - keyCommon);
    out->trailerLen = static_cast<int>(trailerLen);
    out->dataBlock = out->dataOffset = 0;
    out->size = static_cast<int>(size);
    return true;
}

// The item size for a key tail of `tailLen` and this number and trailer.
int encodedItemSize(int tailLen, uint32_t number, int trailerLen);

// Writes an item; `out` needs encodedItemSize() bytes. Returns the size.
int encodeItem(uint8_t* out, int keyLen, int keyCommon, const uint8_t* tail, uint32_t number,
               const uint8_t* trailer, int trailerLen);

// The trailer of a long value: its data block and offset as two numbers.
// `out` needs 10 bytes. Returns the length.
int encodeDataReference(uint8_t* out, uint32_t dataBlock, uint32_t dataOffset);

}  // namespace quorvane::keyfile
