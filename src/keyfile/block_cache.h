// The block cache shared by all open key files: most recently used first,
// dirty blocks written back when evicted, flushed or closed. A cached tree
// block keeps its expanded keys until it changes in a way the editing code
// does not follow (then `keysValid` drops and the next use rebuilds them).
// A changed block that a durable batch holds until its commit cannot be
// evicted: it is parked on a list of its own, outside the limit, until the
// batch writes it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "keyfile/block_file.h"
#include "keyfile/block_keys.h"
#include "keyfile/key_file_format.h"

namespace quorvane::keyfile {

class BlockFile;

struct Block {
    // What a lookup touches comes first, in one cache line.
    BlockFile* file = nullptr;
    uint32_t number = 0;
    bool dirty = false;
    bool keysValid = false;
    bool walked = false;        // walked once since it was read: the next use expands its keys
    bool parked = false;        // changed, held for a batch's commit: out of the recency list
    Block* hashNext = nullptr;  // the next block of its hash bucket
    uint64_t lastOp = 0;        // the operation that used it last: not evicted during it
    uint64_t linkedAt = 0;      // the cache's link count when it was made most recent
    Block* newer = nullptr;
    Block* older = nullptr;
    BlockKeys keys;
    alignas(16) uint8_t bytes[kBlockSize];
};

class BlockCache {
public:
    BlockCache() = default;
    ~BlockCache();
    BlockCache(const BlockCache&) = delete;
    BlockCache& operator=(const BlockCache&) = delete;

    void setLimit(size_t blocks) { limit_ = blocks; }
    // The cached block, made most recent; null when absent.
    Block* find(BlockFile* file, uint32_t number, uint64_t op);
    // Reads and checks a block not in the cache, expanding a tree block's
    // keys now or on first need. Null with *error set on failure.
    Block* load(BlockFile* file, uint32_t number, uint64_t op, int* error, bool expandKeys = true);
    // A zeroed block not on disk yet (beyond the file's end), cached.
    Block* create(BlockFile* file, uint32_t number, uint64_t op);
    // The block's expanded keys, rebuilt when not valid. Null when damaged.
    BlockKeys* keysOf(Block* block);
    // Forgets one block without writing it.
    void forget(Block* block) { remove(block); }

    // Writes the file's dirty blocks in block order. 0 or an error code.
    int flush(BlockFile* file);
    // Visits the file's dirty blocks that its batch holds, in block order.
    template <typename Visit>
    void forEachHeld(BlockFile* file, Visit visit);
    // Forgets the file's blocks, dirty or not.
    void drop(BlockFile* file);
    // Evicts least recently used blocks down to the limit. 0 or the error of
    // a write that failed (that block stays cached and dirty).
    int trim();
    size_t size() const { return count_ + parkedCount_; }

private:
    static uint64_t keyOf(const BlockFile* file, uint32_t number);
    void link(Block* b);
    void unlink(Block* b);
    void remove(Block* b);
    void evictOneFor(uint64_t op);
    void park(Block* b);
    void detachParked(Block* b);
    // A block for (file, number), evicting one first when the cache is full.
    std::unique_ptr<Block> newBlock(BlockFile* file, uint32_t number, uint64_t op);
    Block* enter(std::unique_ptr<Block> b);
    Block** bucketOf(uint64_t key);
    template <typename Visit>
    void forEach(Visit visit) {
        for (Block* b = newest_; b; b = b->older) visit(b);
        for (Block* b = parked_; b; b = b->older) visit(b);
    }

    // A chained hash of (block file, block number), power-of-two sized and
    // grown with the cache: lookups run several times per operation.
    std::vector<Block*> buckets_ = std::vector<Block*>(256, nullptr);
    size_t count_ = 0;
    uint64_t links_ = 0;
    Block* newest_ = nullptr;
    Block* oldest_ = nullptr;
    Block* parked_ = nullptr;  // parked blocks, linked through newer/older
    size_t parkedCount_ = 0;
    size_t limit_ = 8;
    std::vector<std::unique_ptr<Block>> spare_;
};

template <typename Visit>
void BlockCache::forEachHeld(BlockFile* file, Visit visit) {
    std::vector<Block*> held;
    forEach([&](Block* b) {
        if (b->file == file && b->dirty && b->file->held(b->number)) held.push_back(b);
    });
    std::sort(held.begin(), held.end(), [](const Block* a, const Block* b) { return a->number < b->number; });
    for (Block* b : held) visit(b);
}

}  // namespace quorvane::keyfile
