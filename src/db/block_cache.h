// The block cache shared by all open key files: most recently used first,
// dirty blocks written back when evicted, flushed or closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "db/block_keys.h"
#include "db/key_file_format.h"

namespace quorvane::keyfile {

class BlockFile;

struct Block {
    BlockFile* file = nullptr;
    uint32_t number = 0;
    bool dirty = false;
    uint64_t lastOp = 0;  // the operation that used it last: not evicted during it
    std::shared_ptr<const BlockKeys> keys;
    Block* newer = nullptr;
    Block* older = nullptr;
    alignas(16) uint8_t bytes[kBlockSize];
};

class BlockCache {
public:
    BlockCache() = default;
    ~BlockCache();
    BlockCache(const BlockCache&) = delete;
    BlockCache& operator=(const BlockCache&) = delete;

    void setLimits(size_t blocks, size_t expandedBlocks);
    // The cached block, made most recent; null when absent.
    Block* find(BlockFile* file, uint32_t number, uint64_t op);
    // Reads and checks a block not in the cache. Null with *error set on failure.
    Block* load(BlockFile* file, uint32_t number, uint64_t op, int* error);
    // The block's expanded keys, built when missing. Null when damaged.
    std::shared_ptr<const BlockKeys> keysOf(Block* block, uint64_t op);
    // Puts a committed block in place of the cached one, dirty.
    void publish(std::unique_ptr<Block> block, uint64_t op);

    // Writes the file's dirty blocks in block order. 0 or an error code.
    int flush(BlockFile* file);
    // Forgets the file's blocks, dirty or not.
    void drop(BlockFile* file);
    // Evicts least recently used blocks down to the limit. 0 or the error of
    // a write that failed (that block stays cached and dirty).
    int trim();
    size_t size() const { return map_.size(); }

private:
    static uint64_t keyOf(const BlockFile* file, uint32_t number);
    void link(Block* b);
    void unlink(Block* b);
    void remove(Block* b);
    void evictOneFor(uint64_t op);
    void dropKeys(Block* b);

    std::unordered_map<uint64_t, Block*> map_;
    Block* newest_ = nullptr;
    Block* oldest_ = nullptr;
    size_t limit_ = 8;
    size_t keysLimit_ = 8;
    size_t keysCount_ = 0;
    std::vector<std::unique_ptr<Block>> spare_;
};

}  // namespace quorvane::keyfile
