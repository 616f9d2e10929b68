// The checks every block read from disk passes before it is used, so that a
// damaged file ends in error 1004 and never in a read out of bounds.
#pragma once

#include <cstdint>

#include "db/block_keys.h"

namespace quorvane::keyfile {

// Checks block `number` of a file of `blockCount` blocks: its header fields,
// and for a tree block every item (expanded into `keys`).
bool blockIsSound(const uint8_t* block, uint32_t number, uint32_t blockCount, BlockKeys* keys);

}  // namespace quorvane::keyfile
