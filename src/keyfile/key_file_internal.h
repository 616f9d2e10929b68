// What the parts of the key file engine share: the open key file, the
// process-wide engine state, and the block access of transactions, which
// change cached blocks in place and keep the old bytes to roll back.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "keyfile/block_cache.h"
#include "keyfile/block_file.h"
#include "keyfile/key_file.h"

namespace quorvane {

struct KeyFile {
    keyfile::BlockFile* file = nullptr;
    bool update = false;
    const void* setTag = nullptr;
    // Blocks this file adds to the shared cache's limit; 0: the usual share.
    size_t cacheShare = 0;

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
    // Blocks changed by the running transaction with what they were before
    // (none for blocks created by it). The running operation's blocks are
    // never evicted, so these stay valid until the commit.
    struct Saved {
        keyfile::Block* block;
        bool wasDirty;
        std::unique_ptr<uint8_t[]> bytes;  // null: a block new in this transaction
        // Only bytes [0, head) and [tail, end) were kept; those between are zero.
        uint16_t head = keyfile::kBlockSize, tail = keyfile::kBlockSize;
    };
    std::vector<Saved> undo;
    // Buffers of committed transactions, reused so a change allocates nothing.
    std::vector<std::unique_ptr<uint8_t[]>> undoPool;
};

namespace keyfile {

inline constexpr size_t kMaxBlockFiles = 256;
// Cached blocks per open key file (plus kCacheExtra in all), each 4 KiB
// with its expanded keys. Searches of a catalogue's CRC index land on random
// leaves; with 256 most of them missed and the block was read and its keys
// expanded again. 1024 holds the whole CRC index of a 300,000-row catalogue
// while one index is busy. Memory stays bounded by this count, not by the
// size of the database.
inline constexpr size_t kCachePerKeyFile = 1024;
inline constexpr size_t kCacheExtra = 8;

// Test seam: blocks cached per key file opened from now on; 0 restores
// kCachePerKeyFile. A small cache sends every path through disk reads.
void setCachePerKeyFileForTesting(size_t blocks);
// How many blocks the open file `k` adds to the shared cache's limit (0: the
// usual share): an index read one key at a time, or written in key order,
// needs few. 0, or -1 for an unknown handle.
int setCacheShare(KeyFile* k, size_t blocks);

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

// Block access for one key file: its own writable copies come first. A
// block read for one search or walk need not have its keys expanded.
Block* readBlock(KeyFile* k, uint32_t n, bool expandKeys = true);
Block* writableBlock(KeyFile* k, uint32_t n);
// The block's expanded keys; null (damaged) when they cannot be built.
BlockKeys* keysOf(KeyFile* k, Block* b);
// A zeroed writable block numbered `n`, for blocks beyond the file's end.
Block* freshBlock(KeyFile* k, uint32_t n);
// A fresh block of `level` from the free chain, or appended.
Block* allocateBlock(KeyFile* k, uint8_t level);
// Unlinks a tree block from its neighbours and pushes it on the free chain.
bool freeBlock(KeyFile* k, uint32_t n);
// Marks a block changed beyond what its expanded keys followed: the next
// keysOf rebuilds them. The old array stays readable until then.
inline void touched(Block* b) { b->keysValid = false; }
// Debug builds compare a block's updated keys with a fresh expansion;
// false (the file damaged) when they differ.
bool checkKeys(Block* b);

void startTransaction(KeyFile* k);
// Ends one nesting level; the outermost keeps the changes or restores the
// saved bytes.
void commitTransaction(KeyFile* k, bool rollback);

}  // namespace keyfile
}  // namespace quorvane
