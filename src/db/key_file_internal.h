// What the parts of the key file engine share: the open key file, the
// process-wide engine state, and the block access that transactions keep
// private until they commit.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "db/block_cache.h"
#include "db/block_file.h"
#include "db/key_file.h"

namespace quorvane {

struct KeyFile {
    keyfile::BlockFile* file = nullptr;
    bool update = false;
    const void* setTag = nullptr;

    // The current record; curBlock < 0 when there is none.
    int64_t curBlock = -1;
    int curIndex = -1;
    uint8_t curKey[keyfile::kMaxKeyLength] = {};
    int curKeyLen = 0;
    // Leaves crossed since the last positioning: a walk longer than the file
    // is a cycle in a damaged file.
    uint32_t leavesCrossed = 0;

    int txDepth = 0;
    bool rollbackRequested = false;
    uint32_t txBlockCount = 0;
    // Blocks changed by the running transaction, private until commit.
    std::vector<std::unique_ptr<keyfile::Block>> writable;
};

namespace keyfile {

inline constexpr size_t kMaxBlockFiles = 256;
inline constexpr size_t kCachePerKeyFile = 64;
inline constexpr size_t kExpandedPerKeyFile = 32;
inline constexpr size_t kCacheExtra = 8;

struct Engine {
    std::mutex lock;
    BlockCache cache;
    std::array<std::unique_ptr<BlockFile>, kMaxBlockFiles> files;
    std::unordered_set<KeyFile*> open;
    uint64_t op = 0;
};
Engine& engine();

void setError(int code);
// Sets the error and returns false, for `return fail(kKfDamaged);`.
bool fail(int code);

// Block access for one key file: its own writable copies come first.
Block* readBlock(KeyFile* k, uint32_t n);
Block* writableBlock(KeyFile* k, uint32_t n);
std::shared_ptr<const BlockKeys> keysOf(KeyFile* k, Block* b);
// A zeroed writable block numbered `n`, for blocks beyond the file's end.
Block* freshBlock(KeyFile* k, uint32_t n);
// A fresh block of `level` from the free chain, or appended.
Block* allocateBlock(KeyFile* k, uint8_t level);
// Unlinks a tree block from its neighbours and pushes it on the free chain.
bool freeBlock(KeyFile* k, uint32_t n);
// Marks a block changed: its expanded keys no longer hold.
inline void touched(Block* b) { b->keys.reset(); }

void startTransaction(KeyFile* k);
// Ends one nesting level; the outermost publishes or discards the copies.
void commitTransaction(KeyFile* k, bool rollback);

}  // namespace keyfile
}  // namespace quorvane
