// The keys of a tree block in order, rebuilt one at a time in a small buffer
// instead of expanded all at once: a block read for a single search is
// walked until the search ends, which costs far less than expanding it.
#pragma once

#include <cstdint>

#include "keyfile/block_item.h"
#include "keyfile/key_file_format.h"

namespace quorvane::keyfile {

class KeyWalk {
public:
    explicit KeyWalk(const uint8_t* block);
    // Steps to the next entry; false at the end or on a damaged item
    // (then damaged() is true).
    bool next();
    bool damaged() const { return damaged_; }
    int index() const { return index_; }
    const uint8_t* key() const { return key_; }
    int keyLen() const { return keyLen_; }
    const Item& item() const { return item_; }

private:
    const uint8_t* block_;
    int count_;
    size_t free_;
    bool leaf_;
    int index_ = -1;
    bool damaged_ = false;
    Item item_;
    int keyLen_ = 0;
    // Each tail is copied in 16-byte steps; the slack takes the over-reach.
    alignas(16) uint8_t key_[kMaxKeyLength + 32] = {};
};

// Moves a fresh walk to the first entry whose key is >= the given key (>
// with `pastEqual`) and returns its index (the entry count when there is
// none). -1 on damage. `shared`, when given, receives the bytes the entry
// before that index shares with the given key.
int walkToBound(KeyWalk& walk, const uint8_t* key, int keyLen, bool pastEqual, int* shared = nullptr);

// Moves a fresh walk to entry `index`; false when there is none.
bool walkTo(KeyWalk& walk, int index);

// The checks of a block read from disk that expandKeys makes with a block
// count, without expanding the keys.
bool checkItems(const uint8_t* block, uint32_t blockCount);

}  // namespace quorvane::keyfile
