// Block access inside a key file's transactions, and the free chain.
#include <cstring>

#include "db/block_edit.h"
#include "db/key_file_internal.h"

namespace quorvane::keyfile {

Engine& engine() {
    static Engine e;
    return e;
}

static Block* ownCopy(KeyFile* k, uint32_t n) {
    for (auto& b : k->writable)
        if (b->number == n) return b.get();
    return nullptr;
}

Block* readBlock(KeyFile* k, uint32_t n) {
    if (Block* own = ownCopy(k, n)) return own;
    Engine& e = engine();
    if (Block* b = e.cache.find(k->file, n, e.op)) return b;
    if (n >= k->file->blockCount()) {
        setError(kKfDamaged);
        return nullptr;
    }
    int error = 0;
    Block* b = e.cache.load(k->file, n, e.op, &error);
    if (!b) setError(error);
    return b;
}

Block* writableBlock(KeyFile* k, uint32_t n) {
    if (k->txDepth == 0) {
        setError(kKfStateError);
        return nullptr;
    }
    if (Block* own = ownCopy(k, n)) return own;
    Block* shared = readBlock(k, n);
    if (!shared) return nullptr;
    auto copy = std::make_unique<Block>();
    copy->file = k->file;
    copy->number = n;
    copy->keys = shared->keys;
    std::memcpy(copy->bytes, shared->bytes, kBlockSize);
    k->writable.push_back(std::move(copy));
    return k->writable.back().get();
}

std::shared_ptr<const BlockKeys> keysOf(KeyFile*, Block* b) {
    auto keys = engine().cache.keysOf(b, engine().op);
    if (!keys) setError(kKfDamaged);
    return keys;
}

Block* freshBlock(KeyFile* k, uint32_t n) {
    auto fresh = std::make_unique<Block>();
    fresh->file = k->file;
    fresh->number = n;
    std::memset(fresh->bytes, 0, kBlockSize);
    k->writable.push_back(std::move(fresh));
    return k->writable.back().get();
}

Block* allocateBlock(KeyFile* k, uint8_t lvl) {
    Block* root = writableBlock(k, kRootBlock);
    if (!root) return nullptr;
    const uint32_t head = freeListHead(root->bytes);
    const uint32_t count = k->file->blockCount();
    Block* b = nullptr;
    if (head == count) {
        if (count == UINT32_MAX) {
            setError(kKfDamaged);
            return nullptr;
        }
        b = freshBlock(k, count);
        k->file->setBlockCount(count + 1);
        setFreeListHead(root->bytes, count + 1);
    } else {
        if (head < 2 || head > count) {
            setError(kKfDamaged);
            return nullptr;
        }
        Block* freed = readBlock(k, head);
        if (!freed) return nullptr;
        if (level(freed->bytes) != kFreeLevel) {
            setError(kKfDamaged);
            return nullptr;
        }
        const uint32_t next = nextBlock(freed->bytes);
        b = writableBlock(k, head);
        if (!b) return nullptr;
        setFreeListHead(root->bytes, next);
    }
    clearBlock(b->bytes, lvl);
    touched(b);
    return b;
}

bool freeBlock(KeyFile* k, uint32_t n) {
    if (n <= kFirstDataBlock) return fail(kKfStateError);
    Block* b = writableBlock(k, n);
    if (!b) return false;
    const uint32_t prev = prevBlock(b->bytes);
    const uint32_t next = nextBlock(b->bytes);
    if (prev != 0) {
        Block* p = writableBlock(k, prev);
        if (!p) return false;
        setNextBlock(p->bytes, next);
    }
    if (next != 0) {
        Block* q = writableBlock(k, next);
        if (!q) return false;
        setPrevBlock(q->bytes, prev);
    }
    Block* root = writableBlock(k, kRootBlock);
    if (!root) return false;
    clearBlock(b->bytes, kFreeLevel);
    touched(b);
    setNextBlock(b->bytes, freeListHead(root->bytes));
    setFreeListHead(root->bytes, n);
    return true;
}

void startTransaction(KeyFile* k) {
    if (k->txDepth++ == 0) {
        k->rollbackRequested = false;
        k->txBlockCount = k->file->blockCount();
    }
}

void commitTransaction(KeyFile* k, bool rollback) {
    if (rollback) k->rollbackRequested = true;
    if (k->txDepth == 0 || --k->txDepth > 0) return;
    Engine& e = engine();
    if (k->rollbackRequested) {
        k->writable.clear();
        k->file->setBlockCount(k->txBlockCount);
    } else {
        for (auto& b : k->writable) e.cache.publish(std::move(b), e.op);
        k->writable.clear();
    }
    k->rollbackRequested = false;
}

}  // namespace quorvane::keyfile
