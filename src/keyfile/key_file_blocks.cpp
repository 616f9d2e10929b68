// Block access inside a key file's transactions, and the free chain.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "keyfile/block_edit.h"
#include "keyfile/key_file_internal.h"

namespace quorvane::keyfile {

Engine& engine() {
    static Engine e;
    return e;
}

Block* readBlock(KeyFile* k, uint32_t n, bool expandKeys) {
    Engine& e = engine();
    if (Block* b = e.cache.find(k->file, n, e.op)) return b;
    if (n >= k->file->blockCount()) {
        setError(kKfDamaged);
        return nullptr;
    }
    int error = 0;
    Block* b = e.cache.load(k->file, n, e.op, &error, expandKeys);
    if (!b) setError(error);
    return b;
}

static bool savedBy(KeyFile* k, const Block* b) {
    for (const auto& s : k->undo)
        if (s.block == b) return true;
    return false;
}

Block* writableBlock(KeyFile* k, uint32_t n) {
    if (k->txDepth == 0) {
        setError(kKfStateError);
        return nullptr;
    }
    Block* b = readBlock(k, n);
    if (!b) return nullptr;
    if (savedBy(k, b)) return b;
    std::unique_ptr<uint8_t[]> copy;
    if (!k->undoPool.empty()) {
        copy = std::move(k->undoPool.back());
        k->undoPool.pop_back();
    } else {
        copy.reset(new uint8_t[kBlockSize]);
    }
    // A tree block's bytes between its items and its index are zero (every
    // edit clears what it frees): only the two ends need keeping.
    uint16_t head = kBlockSize, tail = kBlockSize;
    const size_t free = freeOffset(b->bytes), indexBytes = 2 * size_t{entryCount(b->bytes)};
    const size_t index = kBlockSize - std::min<size_t>(indexBytes, kBlockSize);
    if (level(b->bytes) <= kMaxTreeLevel && free >= kHeaderSize && free <= index) {
        head = static_cast<uint16_t>(free);
        tail = static_cast<uint16_t>(index);
    }
    std::memcpy(copy.get(), b->bytes, head);
    std::memcpy(copy.get() + tail, b->bytes + tail, kBlockSize - tail);
    k->undo.push_back({b, b->dirty, std::move(copy), head, tail});
    b->dirty = true;
    return b;
}

BlockKeys* keysOf(KeyFile*, Block* b) {
    BlockKeys* keys = engine().cache.keysOf(b);
    if (!keys) setError(kKfDamaged);
    return keys;
}

bool checkKeys([[maybe_unused]] Block* b) {
#ifndef NDEBUG
    // An edit whose bytes no longer expand to the keys it kept: a damaged
    // block the first expansion let through, or a fault of ours. Either way
    // the operation stops as on any damage, never the program.
    BlockKeys fresh;
    const bool ok = expandKeys(b->bytes, &fresh);
    bool same = ok && b->keysValid && fresh.count() == b->keys.count();
    for (int i = 0; same && i < fresh.count(); ++i)
        same = compareKeys(fresh.key(i), fresh.keyLen(i), b->keys.key(i), b->keys.keyLen(i)) == 0;
    if (!same) {
        setError(kKfDamaged);
        return false;
    }
#endif
    return true;
}

Block* freshBlock(KeyFile* k, uint32_t n) {
    Engine& e = engine();
    Block* b = e.cache.create(k->file, n, e.op);
    k->undo.push_back({b, false, nullptr});
    b->dirty = true;
    return b;
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
        // Latest first, so a block saved twice would end as it was first.
        for (auto it = k->undo.rbegin(); it != k->undo.rend(); ++it) {
            Block* b = it->block;
            if (!it->bytes) {
                e.cache.forget(b);
                continue;
            }
            std::memcpy(b->bytes, it->bytes.get(), it->head);
            std::memset(b->bytes + it->head, 0, it->tail - it->head);
            std::memcpy(b->bytes + it->tail, it->bytes.get() + it->tail, kBlockSize - it->tail);
            b->dirty = it->wasDirty;
            touched(b);
        }
        k->file->setBlockCount(k->txBlockCount);
    }
    for (auto& s : k->undo)
        if (s.bytes && k->undoPool.size() < 16) k->undoPool.push_back(std::move(s.bytes));
    k->undo.clear();
    k->rollbackRequested = false;
}

}  // namespace quorvane::keyfile
