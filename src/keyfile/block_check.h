// The checks every block read from disk passes before it is used, so that a
// damaged file ends in error 1004 and never in a read out of bounds.
#pragma once

#include <cstdint>

#include "keyfile/block_keys.h"

namespace quorvane::keyfile {

// Checks block `number` of a file of `blockCount` blocks: its header fields,
// and for a tree block every item (expanded into `keys` unless it is null).
// Without `checkItems` a tree block's items get only the checks that keep
// later reads of them in bounds (each item is checked as it is decoded).
bool blockIsSound(const uint8_t* block, uint32_t number, uint32_t blockCount, BlockKeys* keys,
                  bool checkItems = true);

}  // namespace quorvane::keyfile
