#include "keyfile/key_file_tree.h"

#include <algorithm>
#include <cstring>

#include "keyfile/block_edit.h"
#include "keyfile/block_item.h"
#include "keyfile/key_walk.h"

namespace quorvane::keyfile {

namespace {

// Half the item area: see rebalance.
constexpr uint32_t kMergeCheckRoom = (kBlockSize - kHeaderSize) / 2;

struct KeyCopy {
    uint8_t bytes[kMaxKeyLength];
    int len = 0;
    KeyCopy(const uint8_t* k, int n) : len(n) {
        if (n > 0) std::memcpy(bytes, k, static_cast<size_t>(n));
    }
};

bool itemAt(Block* b, const BlockKeys& keys, int i, Item* item) {
    if (i < 0 || i >= keys.count() || i >= entryCount(b->bytes)) return fail(kKfDamaged);
    if (!decodeItem(b->bytes, itemOffset(b->bytes, i), freeOffset(b->bytes), level(b->bytes) == 0, item))
        return fail(kKfDamaged);
    return true;
}

// Reads child i of an inner block and checks that it is one level lower.
Block* childBlock(KeyFile* k, Block* parent, const BlockKeys& keys, int i, uint32_t* number,
                  bool expandKeys = true) {
    Item item;
    if (!itemAt(parent, keys, i, &item)) return nullptr;
    Block* c = readBlock(k, item.number, expandKeys);
    if (!c) return nullptr;
    if (item.number == kRootBlock || level(c->bytes) + 1 != level(parent->bytes)) {
        setError(kKfDamaged);
        return nullptr;
    }
    *number = item.number;
    return c;
}

int shared(const uint8_t* a, int aLen, const uint8_t* b, int bLen) {
    return std::min(commonPrefix(a, aLen, b, bLen), kMaxKeyLength);
}

// Re-encodes entry `pos` (item `q`, whose whole key is `key`) with a new
// keycommon.
bool rewriteItemCommon(Block* b, int pos, const Item& q, const uint8_t* key, int newCommon) {
    if (q.keyCommon == newCommon) return true;
    uint8_t buf[kMaxItemSize];
    const int size = encodeItem(buf, q.keyLen, newCommon, key + newCommon, q.number, q.trailer, q.trailerLen);
    if (blockRoom(b->bytes) + q.size < size) return fail(kKfStateError);
    // The key stays the same, so the expanded keys still hold.
    removeItem(b->bytes, pos, q.size);
    insertItemBytes(b->bytes, pos, buf, size);
    return true;
}

// The same for a block whose expanded keys describe it as it is now.
bool rewriteCommon(Block* b, const BlockKeys& keys, int pos, int newCommon) {
    Item q;
    return itemAt(b, keys, pos, &q) && rewriteItemCommon(b, pos, q, keys.key(pos), newCommon);
}

// Places an item after the items of keys <= its key in a leaf whose keys
// are not expanded, walking to that place instead: most leaves an insert
// reads get just that one insert before they leave the cache. Sets *pos;
// returns 1 placed, 0 no room, -1 failed.
int placeByWalk(Block* b, int* pos, const uint8_t* key, int keyLen, uint32_t number, const uint8_t* trailer,
                int trailerLen) {
    KeyWalk walk(b->bytes);
    int kc = 0;
    *pos = walkToBound(walk, key, keyLen, true, &kc);
    if (*pos < 0) return fail(kKfDamaged), -1;
    kc = std::min(kc, kMaxKeyLength);
    const int size = encodedItemSize(keyLen - kc, number, trailerLen);
    if (blockRoom(b->bytes) < size + 2) return 0;
    // The walk stopped on the next item. It shares at least as much with the
    // new key as with its old neighbour, so it only shrinks.
    if (*pos < entryCount(b->bytes) &&
        !rewriteItemCommon(b, *pos, walk.item(), walk.key(), shared(key, keyLen, walk.key(), walk.keyLen())))
        return -1;
    uint8_t buf[kMaxItemSize];
    encodeItem(buf, keyLen, kc, key + kc, number, trailer, trailerLen);
    insertItemBytes(b->bytes, *pos, buf, size);
    return 1;
}

// Removes entry idx; the next entry's keycommon follows its new neighbour.
bool removeEntry(KeyFile* k, uint32_t blockNo, int idx) {
    Block* b = writableBlock(k, blockNo);
    if (!b) return false;
    auto keys = keysOf(k, b);
    if (!keys) return false;
    Item it, q;
    if (!itemAt(b, *keys, idx, &it)) return false;
    const int n = keys->count();
    if (idx + 1 < n) {
        if (!itemAt(b, *keys, idx + 1, &q)) return false;
        const int newCommon =
            idx > 0 ? shared(keys->key(idx - 1), keys->keyLen(idx - 1), keys->key(idx + 1), keys->keyLen(idx + 1)) : 0;
        uint8_t buf[kMaxItemSize];
        const int size = encodeItem(buf, q.keyLen, newCommon, keys->key(idx + 1) + newCommon, q.number, q.trailer,
                                    q.trailerLen);
        removeItem(b->bytes, idx, it.size);
        if (newCommon != q.keyCommon) {
            if (blockRoom(b->bytes) + q.size < size) return fail(kKfStateError);
            removeItem(b->bytes, idx, q.size);
            insertItemBytes(b->bytes, idx, buf, size);
        }
    } else {
        removeItem(b->bytes, idx, it.size);
    }
    keys->erase(idx);
    return checkKeys(b);
}

// Moves the root's content into a new block and makes the root one level
// higher with a single empty-keyed item naming that block.
bool raiseRoot(KeyFile* k, Path& path) {
    Block* root = writableBlock(k, kRootBlock);
    if (!root) return false;
    const uint8_t lvl = level(root->bytes);
    if (lvl >= kMaxTreeLevel) return fail(kKfStateError);
    Block* moved = allocateBlock(k, lvl);
    if (!moved) return false;
    std::memcpy(moved->bytes, root->bytes, kBlockSize);
    setNextBlock(moved->bytes, 0);
    setPrevBlock(moved->bytes, 0);
    moved->keys = root->keys;
    moved->keysValid = root->keysValid;
    const uint32_t lastData = lastDataBlock(root->bytes);
    const uint32_t freeHead = freeListHead(root->bytes);
    clearBlock(root->bytes, static_cast<uint8_t>(lvl + 1));
    setLastDataBlock(root->bytes, lastData);
    setFreeListHead(root->bytes, freeHead);
    uint8_t buf[kMaxItemSize];
    const int size = encodeItem(buf, 0, 0, nullptr, moved->number, nullptr, 0);
    insertItemBytes(root->bytes, 0, buf, size);
    touched(root);
    path[lvl].block = moved->number;
    path.push_back({kRootBlock, 0});
    return true;
}

bool placeItem(KeyFile* k, Path& path, int lvl, int pos, const uint8_t* key, int keyLen, uint32_t number,
               const uint8_t* trailer, int trailerLen, PathStep* placed);

// Splits the block at path[lvl] to make room for an item of `itemSize`
// bytes about to go to position *pos. Counting that item in its place, items
// stay in the old block while it keeps at least kSplitRoom bytes of room and
// the item is not the last; the rest go to a new block after it. One split
// therefore always makes room. *pos and the path follow the split.
bool splitBlock(KeyFile* k, Path& path, int lvl, int* pos, const uint8_t* key, int keyLen, int itemSize) {
    if (path[static_cast<size_t>(lvl)].block == kRootBlock && !raiseRoot(k, path)) return false;
    const uint32_t leftNo = path[static_cast<size_t>(lvl)].block;
    Block* left = writableBlock(k, leftNo);
    if (!left) return false;
    auto keys = keysOf(k, left);
    if (!keys) return false;
    const int n = keys->count();
    if (n < 1) return fail(kKfStateError);
    std::vector<Item> items(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        if (!itemAt(left, *keys, i, &items[static_cast<size_t>(i)])) return false;
    int room = static_cast<int>(kBlockSize - kHeaderSize);
    int kept = 0;  // of the n + 1 items, the new one included
    while (kept < n && room >= static_cast<int>(kSplitRoom)) {
        const int s = kept == *pos ? itemSize : items[static_cast<size_t>(kept < *pos ? kept : kept - 1)].size;
        room -= s + 2;
        ++kept;
    }
    const bool newGoesLeft = *pos < kept;
    const int m = newGoesLeft ? kept - 1 : kept;  // existing items staying
    Block* right = allocateBlock(k, level(left->bytes));
    if (!right) return false;
    const uint32_t rightNo = right->number;

    uint8_t half[kBlockSize];
    clearBlock(half, level(left->bytes));
    for (int i = 0; i < m; ++i)
        insertItemBytes(half, i, left->bytes + itemOffset(left->bytes, i), items[static_cast<size_t>(i)].size);
    for (int i = m; i < n; ++i) {
        const Item& it = items[static_cast<size_t>(i)];
        if (i == m) {
            uint8_t buf[kMaxItemSize];
            const int size = encodeItem(buf, it.keyLen, 0, keys->key(i), it.number, it.trailer, it.trailerLen);
            insertItemBytes(right->bytes, 0, buf, size);
        } else {
            insertItemBytes(right->bytes, i - m, left->bytes + itemOffset(left->bytes, i), it.size);
        }
    }
    const uint32_t oldNext = nextBlock(left->bytes);
    std::memcpy(half + 1, left->bytes + 1, 8);  // keep the sibling links
    std::memcpy(left->bytes, half, kBlockSize);
    setNextBlock(right->bytes, oldNext);
    setPrevBlock(right->bytes, leftNo);
    setNextBlock(left->bytes, rightNo);
    touched(left);
    touched(right);
    if (oldNext != 0) {
        Block* after = writableBlock(k, oldNext);
        if (!after) return false;
        setPrevBlock(after->bytes, rightNo);
    }

    // The new block's first key, which is the new item's when it leads.
    const KeyCopy separator = (!newGoesLeft && *pos == m) ? KeyCopy(key, keyLen) : KeyCopy(keys->key(m), keys->keyLen(m));
    PathStep sp;
    const int parentIndex = path[static_cast<size_t>(lvl) + 1].index;
    if (!placeItem(k, path, lvl + 1, parentIndex + 1, separator.bytes, separator.len, rightNo, nullptr, 0, &sp))
        return false;
    if (newGoesLeft) {
        path[static_cast<size_t>(lvl) + 1] = {sp.block, sp.index - 1};
    } else {
        *pos -= m;
        path[static_cast<size_t>(lvl)] = {rightNo, *pos};
        path[static_cast<size_t>(lvl) + 1] = sp;
    }
    return true;
}

// Puts an item at position `pos` of the block at path[lvl], splitting it
// (and the levels above) until it fits.
bool placeItem(KeyFile* k, Path& path, int lvl, int pos, const uint8_t* key, int keyLen, uint32_t number,
               const uint8_t* trailer, int trailerLen, PathStep* placed) {
    // A split always makes room for the item; the second round places it.
    for (int round = 0; round < 3; ++round) {
        Block* b = writableBlock(k, path[static_cast<size_t>(lvl)].block);
        if (!b) return false;
        if (pos < 0) {  // a leaf that descend left to be walked
            b->walked = true;
            const int placedByWalk = placeByWalk(b, &pos, key, keyLen, number, trailer, trailerLen);
            if (placedByWalk < 0) return false;
            if (placedByWalk > 0) {
                *placed = {b->number, pos};
                return true;
            }
        }
        auto keys = keysOf(k, b);
        if (!keys) return false;
        const int n = keys->count();
        if (pos < 0 || pos > n) return fail(kKfStateError);
        const int kc = pos > 0 ? shared(keys->key(pos - 1), keys->keyLen(pos - 1), key, keyLen) : 0;
        const int size = encodedItemSize(keyLen - kc, number, trailerLen);
        if (blockRoom(b->bytes) >= size + 2) {
            if (pos < n && !rewriteCommon(b, *keys, pos, shared(key, keyLen, keys->key(pos), keys->keyLen(pos))))
                return false;
            uint8_t buf[kMaxItemSize];
            encodeItem(buf, keyLen, kc, key + kc, number, trailer, trailerLen);
            insertItemBytes(b->bytes, pos, buf, size);
            keys->insert(pos, key, keyLen);
            if (!checkKeys(b)) return false;
            *placed = {b->number, pos};
            return true;
        }
        if (!splitBlock(k, path, lvl, &pos, key, keyLen, encodedItemSize(keyLen, number, trailerLen)))
            return false;
    }
    return fail(kKfStateError);
}

// Appends the items of `rightNo` to `leftNo` and frees `rightNo`. An inner
// block's first key is replaced by its separator in the parent: only that
// is a lower bound of everything below it.
bool mergeBlocks(KeyFile* k, uint32_t leftNo, uint32_t rightNo, const KeyCopy& separator) {
    Block* left = writableBlock(k, leftNo);
    if (!left) return false;
    Block* right = readBlock(k, rightNo);
    if (!right) return false;
    auto lkeys = keysOf(k, left);
    auto rkeys = keysOf(k, right);
    if (!lkeys || !rkeys) return false;
    const bool leaf = level(right->bytes) == 0;
    const uint8_t* prev = lkeys->count() > 0 ? lkeys->key(lkeys->count() - 1) : nullptr;
    int prevLen = lkeys->count() > 0 ? lkeys->keyLen(lkeys->count() - 1) : 0;
    for (int j = 0; j < rkeys->count(); ++j) {
        Item it;
        if (!itemAt(right, *rkeys, j, &it)) return false;
        const uint8_t* key = (j == 0 && !leaf) ? separator.bytes : rkeys->key(j);
        const int keyLen = (j == 0 && !leaf) ? separator.len : rkeys->keyLen(j);
        const int kc = prev ? shared(prev, prevLen, key, keyLen) : 0;
        const int size = encodedItemSize(keyLen - kc, it.number, it.trailerLen);
        if (blockRoom(left->bytes) < size + 2) return fail(kKfStateError);
        uint8_t buf[kMaxItemSize];
        encodeItem(buf, keyLen, kc, key + kc, it.number, it.trailer, it.trailerLen);
        insertItemBytes(left->bytes, entryCount(left->bytes), buf, size);
        prev = key;
        prevLen = keyLen;
    }
    touched(left);
    return freeBlock(k, rightNo);
}

// Merges child i with child i + 1 of `parentNo` when their rooms allow.
// Returns false on error; *merged tells whether it happened.
bool tryMerge(KeyFile* k, uint32_t parentNo, int i, bool* merged) {
    *merged = false;
    Block* parent = readBlock(k, parentNo);
    if (!parent) return false;
    auto pkeys = keysOf(k, parent);
    if (!pkeys) return false;
    if (i < 0 || i + 1 >= pkeys->count()) return true;
    uint32_t a = 0, b = 0;
    Block* left = childBlock(k, parent, *pkeys, i, &a);
    if (!left) return false;
    Block* right = childBlock(k, parent, *pkeys, i + 1, &b);
    if (!right) return false;
    if (nextBlock(left->bytes) != b || prevBlock(right->bytes) != a) return fail(kKfDamaged);
    if (blockRoom(left->bytes) + blockRoom(right->bytes) < static_cast<int>(kMergeRoom)) return true;
    const KeyCopy separator(pkeys->key(i + 1), pkeys->keyLen(i + 1));
    if (!mergeBlocks(k, a, b, separator)) return false;
    if (!removeEntry(k, parentNo, i + 1)) return false;
    *merged = true;
    return true;
}

// After a removal at path[lvl]: merge the block with its neighbours while
// they fit together, then look at the parent that lost items.
bool rebalance(KeyFile* k, Path& path, int lvl) {
    for (; lvl + 1 < static_cast<int>(path.size()); ++lvl) {
        // Only a block at most half full looks for a neighbour to merge
        // with: a fuller one would need an almost empty neighbour, and
        // reading both neighbours on every delete cost more than the rare
        // merge it found. Every block that empties passes this way itself.
        Block* b = readBlock(k, path[static_cast<size_t>(lvl)].block);
        if (!b) return false;
        if (blockRoom(b->bytes) < static_cast<int>(kMergeCheckRoom)) break;
        PathStep& up = path[static_cast<size_t>(lvl) + 1];
        bool changed = false, merged = true;
        while (merged) {
            if (!tryMerge(k, up.block, up.index, &merged)) return false;
            changed |= merged;
        }
        merged = true;
        while (merged && up.index > 0) {
            if (!tryMerge(k, up.block, up.index - 1, &merged)) return false;
            if (merged) --up.index;
            changed |= merged;
        }
        if (!changed) break;
    }
    return true;
}

bool findPath(KeyFile* k, uint32_t n, int lvl, const uint8_t* key, int keyLen, uint32_t target, Path& path,
              bool* found) {
    Block* b = readBlock(k, n);
    if (!b) return false;
    auto keys = keysOf(k, b);
    if (!keys) return false;
    if (keys->count() == 0) return fail(kKfDamaged);
    const int lo = std::max(0, lowerBound(*keys, key, keyLen) - 1);
    const int hi = std::max(0, upperBound(*keys, key, keyLen) - 1);
    for (int i = lo; i <= hi && !*found; ++i) {
        Item item;
        if (!itemAt(b, *keys, i, &item)) return false;
        path[static_cast<size_t>(lvl)] = {n, i};
        if (lvl == 1) {
            if (item.number == target) *found = true;
            continue;
        }
        uint32_t child = 0;
        if (!childBlock(k, b, *keys, i, &child)) return false;
        if (!findPath(k, child, lvl - 1, key, keyLen, target, path, found)) return false;
    }
    return true;
}

}  // namespace

bool descend(KeyFile* k, const uint8_t* key, int keyLen, Descent mode, Path& path) {
    Block* b = readBlock(k, kRootBlock);
    if (!b) return false;
    int lvl = level(b->bytes);
    if (lvl > kMaxTreeLevel) return fail(kKfDamaged);
    path.assign(static_cast<size_t>(lvl) + 1, PathStep{});
    uint32_t n = kRootBlock;
    for (;;) {
        if (lvl == 0 && !b->keysValid && mode == Descent::AfterEqual && !b->walked) {
            path[0] = {n, -1};  // the insert walks to its place
            return true;
        }
        if (lvl == 0 && !b->keysValid && mode != Descent::AfterEqual && !b->walked) {
            b->walked = true;
            KeyWalk walk(b->bytes);
            const int pos = mode == Descent::Leftmost ? 0 : walkToBound(walk, key, keyLen, false);
            if (pos < 0) return fail(kKfDamaged);
            path[0] = {n, pos};
            return true;
        }
        auto keys = keysOf(k, b);
        if (!keys) return false;
        int pos = 0;
        if (mode == Descent::FirstEqual) pos = lowerBound(*keys, key, keyLen);
        if (mode == Descent::AfterEqual) pos = upperBound(*keys, key, keyLen);
        if (lvl == 0) {
            path[0] = {n, pos};
            return true;
        }
        if (keys->count() == 0) return fail(kKfDamaged);
        const int idx = pos > 0 ? pos - 1 : 0;
        path[static_cast<size_t>(lvl)] = {n, idx};
        uint32_t child = 0;
        // Most leaves get one search or one insert while cached: their keys
        // are walked, and expanded only for a second use.
        b = childBlock(k, b, *keys, idx, &child, lvl != 1);
        if (!b) return false;
        n = child;
        --lvl;
    }
}

bool insertLeafItem(KeyFile* k, const uint8_t* key, int keyLen, uint32_t dataLen, const uint8_t* trailer,
                    int trailerLen, PathStep* placed) {
    // Kept between calls: an import inserts millions of items.
    thread_local Path path;
    if (!descend(k, key, keyLen, Descent::AfterEqual, path)) return false;
    return placeItem(k, path, 0, path[0].index, key, keyLen, dataLen, trailer, trailerLen, placed);
}

bool removeLeafItem(KeyFile* k, const uint8_t* key, int keyLen, uint32_t block, int index) {
    Block* root = readBlock(k, kRootBlock);
    if (!root) return false;
    const int rootLevel = level(root->bytes);
    if (rootLevel > kMaxTreeLevel) return fail(kKfDamaged);
    Path path(static_cast<size_t>(rootLevel) + 1);
    if (rootLevel > 0) {
        bool found = false;
        if (!findPath(k, kRootBlock, rootLevel, key, keyLen, block, path, &found)) return false;
        if (!found) return fail(kKfStateError);
    } else if (block != kRootBlock) {
        return fail(kKfStateError);
    }
    path[0] = {block, index};
    if (!removeEntry(k, block, index)) return false;
    return rebalance(k, path, 0);
}

}  // namespace quorvane::keyfile
