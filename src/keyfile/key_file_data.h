// Values longer than the inline limit, kept in the chain of data blocks.
#pragma once

#include <cstdint>

#include "keyfile/key_file_internal.h"

namespace quorvane::keyfile {

// Appends a value to the data blocks; reports where it starts.
bool writeLongData(KeyFile* k, const uint8_t* data, uint32_t len, uint32_t* block, uint32_t* offset);
// Copies `len` bytes of the value starting at (block, offset).
bool readLongData(KeyFile* k, uint32_t block, uint32_t offset, uint8_t* out, uint32_t len);
// Overwrites `len` bytes of the value in place.
bool overwriteLongData(KeyFile* k, uint32_t block, uint32_t offset, const uint8_t* data, uint32_t len);

}  // namespace quorvane::keyfile
