#include "keyfile/block_cache.h"

#include <algorithm>
#include <cstring>

#include "keyfile/block_check.h"
#include "keyfile/block_file.h"
#include "keyfile/key_file.h"

namespace quorvane::keyfile {

BlockCache::~BlockCache() {
    for (Block* list : {newest_, parked_}) {
        for (Block* b = list; b;) {
            Block* next = b->older;
            delete b;
            b = next;
        }
    }
}

Block** BlockCache::bucketOf(uint64_t key) {
    const uint64_t h = key * 0x9E3779B97F4A7C15ULL;
    return &buckets_[static_cast<size_t>(h >> 32) & (buckets_.size() - 1)];
}

uint64_t BlockCache::keyOf(const BlockFile* file, uint32_t number) {
    return (uint64_t{file->id} << 32) | number;
}

void BlockCache::link(Block* b) {
    b->linkedAt = ++links_;
    b->older = newest_;
    b->newer = nullptr;
    if (newest_) newest_->newer = b;
    newest_ = b;
    if (!oldest_) oldest_ = b;
}

void BlockCache::unlink(Block* b) {
    if (b->newer) b->newer->older = b->older; else newest_ = b->older;
    if (b->older) b->older->newer = b->newer; else oldest_ = b->newer;
    b->newer = b->older = nullptr;
}

void BlockCache::park(Block* b) {
    unlink(b);
    --count_;
    b->parked = true;
    b->older = parked_;
    if (parked_) parked_->newer = b;
    parked_ = b;
    ++parkedCount_;
}

void BlockCache::detachParked(Block* b) {
    if (b->newer) b->newer->older = b->older; else parked_ = b->older;
    if (b->older) b->older->newer = b->newer;
    b->newer = b->older = nullptr;
    b->parked = false;
    --parkedCount_;
}

void BlockCache::remove(Block* b) {
    if (b->parked) {
        detachParked(b);
    } else {
        unlink(b);
        --count_;
    }
    for (Block** p = bucketOf(keyOf(b->file, b->number)); *p; p = &(*p)->hashNext) {
        if (*p == b) {
            *p = b->hashNext;
            break;
        }
    }
    b->hashNext = nullptr;
    // Spare blocks keep their key arrays' capacity for the next load.
    if (spare_.size() < 16) spare_.emplace_back(b); else delete b;
}

Block* BlockCache::find(BlockFile* file, uint32_t number, uint64_t op) {
    Block* b = *bucketOf(keyOf(file, number));
    while (b && (b->number != number || b->file != file)) b = b->hashNext;
    if (!b) return nullptr;
    b->lastOp = op;
    if (b->parked) return b;
    // A block among the most recent quarter stays where it is: moving it
    // would touch two other blocks for an order that hardly changes.
    if (newest_ != b && links_ - b->linkedAt >= limit_ / 4) {
        unlink(b);
        link(b);
    }
    b->lastOp = op;
    return b;
}

// Makes room for one more block, sparing the blocks the running operation
// has used (its transaction changes them in place). A dirty block whose
// write fails stays; the cache grows instead.
void BlockCache::evictOneFor(uint64_t op) {
    for (Block* b = oldest_, *next; b; b = next) {
        next = b->newer;
        if (b->lastOp == op) continue;
        if (b->dirty && b->file->held(b->number)) {
            park(b);
            continue;
        }
        if (b->dirty) {
            if (b->file->writeBlock(b->number, b->bytes) != 0) continue;
            b->dirty = false;
        }
        remove(b);
        return;
    }
}

std::unique_ptr<Block> BlockCache::newBlock(BlockFile* file, uint32_t number, uint64_t op) {
    if (count_ >= limit_) evictOneFor(op);
    std::unique_ptr<Block> b;
    if (spare_.empty()) {
        b = std::make_unique<Block>();
    } else {
        b = std::move(spare_.back());
        spare_.pop_back();
    }
    b->file = file;
    b->number = number;
    b->dirty = false;
    b->lastOp = op;
    b->keysValid = false;
    b->walked = false;
    return b;
}

Block* BlockCache::enter(std::unique_ptr<Block> b) {
    if (count_ + parkedCount_ + 1 > buckets_.size()) {
        std::vector<Block*> grown(2 * buckets_.size(), nullptr);
        buckets_.swap(grown);
        forEach([&](Block* o) {
            Block** p = bucketOf(keyOf(o->file, o->number));
            o->hashNext = *p;
            *p = o;
        });
    }
    Block* raw = b.release();
    Block** p = bucketOf(keyOf(raw->file, raw->number));
    raw->hashNext = *p;
    *p = raw;
    ++count_;
    link(raw);
    return raw;
}

Block* BlockCache::load(BlockFile* file, uint32_t number, uint64_t op, int* error, bool expandKeys) {
    std::unique_ptr<Block> b = newBlock(file, number, op);
    const int rc = file->readBlock(number, b->bytes);
    if (rc != 0) {
        *error = rc;
        spare_.push_back(std::move(b));
        return nullptr;
    }
    const bool known = file->checked(number);
    if (!blockIsSound(b->bytes, number, file->blockCount(), expandKeys ? &b->keys : nullptr, !known)) {
        *error = kKfDamaged;
        spare_.push_back(std::move(b));
        return nullptr;
    }
    if (!known) file->markChecked(number);
    b->keysValid = expandKeys && level(b->bytes) <= kMaxTreeLevel;
    return enter(std::move(b));
}

Block* BlockCache::create(BlockFile* file, uint32_t number, uint64_t op) {
    std::unique_ptr<Block> b = newBlock(file, number, op);
    std::memset(b->bytes, 0, kBlockSize);
    return enter(std::move(b));
}

BlockKeys* BlockCache::keysOf(Block* block) {
    if (!block->keysValid) {
        if (!expandKeys(block->bytes, &block->keys)) return nullptr;
        block->keysValid = true;
    }
    return &block->keys;
}

int BlockCache::flush(BlockFile* file) {
    std::vector<Block*> dirty;
    forEach([&](Block* b) {
        if (b->file == file && b->dirty) dirty.push_back(b);
    });
    std::sort(dirty.begin(), dirty.end(), [](const Block* a, const Block* b) { return a->number < b->number; });
    int result = 0;
    for (Block* b : dirty) {
        if (file->held(b->number)) continue;
        const int rc = file->writeBlock(b->number, b->bytes);
        if (rc != 0) {
            result = rc;
            continue;
        }
        b->dirty = false;
        if (b->parked) {
            detachParked(b);
            ++count_;
            link(b);
        }
    }
    return result;
}

void BlockCache::drop(BlockFile* file) {
    std::vector<Block*> mine;
    forEach([&](Block* b) {
        if (b->file == file) mine.push_back(b);
    });
    for (Block* b : mine) remove(b);
}

int BlockCache::trim() {
    Block* b = oldest_;
    while (count_ > limit_ && b) {
        Block* next = b->newer;
        if (b->dirty && b->file->held(b->number)) {
            park(b);
            b = next;
            continue;
        }
        if (b->dirty) {
            const int rc = b->file->writeBlock(b->number, b->bytes);
            if (rc != 0) return rc;
            b->dirty = false;
        }
        remove(b);
        b = next;
    }
    return 0;
}

}  // namespace quorvane::keyfile
