// Changing the items of a tree block in place: the item area stays packed
// from offset 13 and the index keeps key order.
#pragma once

#include <cstdint>

namespace quorvane::keyfile {

// Appends the item bytes to the item area and puts its offset at index
// position `pos`. The caller has checked the room (size + 2).
void insertItemBytes(uint8_t* block, int pos, const uint8_t* item, int size);

// Removes the item at index position `pos` of size `size`: later items move
// down, their offsets follow, and the freed bytes are zeroed.
void removeItem(uint8_t* block, int pos, int size);

// Resets a block to an empty one of the given level.
void clearBlock(uint8_t* block, uint8_t level);

}  // namespace quorvane::keyfile
