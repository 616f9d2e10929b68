// The public operations of the key file engine. Each one takes the engine
// lock, clears the error, and runs changes inside a transaction that is
// rolled back when any step fails.
#include "keyfile/key_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "keyfile/block_edit.h"
#include "keyfile/block_item.h"
#include "keyfile/key_file_data.h"
#include "keyfile/key_file_internal.h"
#include "keyfile/key_file_tree.h"
#include "keyfile/key_walk.h"

namespace quorvane {

using namespace keyfile;

namespace {

class Operation {
public:
    Operation() : lock_(engine().lock) {
        setError(kKfOk);
        ++engine().op;
    }

private:
    std::lock_guard<std::mutex> lock_;
};

bool known(KeyFile* k) {
    if (!k || !engine().open.count(k)) return fail(kKfNoKeyFile);
    return true;
}

bool trimCache() {
    const int rc = engine().cache.trim();
    return rc == 0 || fail(rc);
}

size_t g_cachePerKeyFile = kCachePerKeyFile;

void updateCacheLimits() {
    size_t limit = kCacheExtra;
    for (const KeyFile* k : engine().open) limit += k->cacheShare ? k->cacheShare : g_cachePerKeyFile;
    engine().cache.setLimit(limit);
}

void clearCurrent(KeyFile* k) {
    k->curBlock = -1;
    k->curIndex = -1;
    k->curKeyLen = 0;
}

void setCurrent(KeyFile* k, uint32_t block, int index, const uint8_t* key, int keyLen) {
    k->curBlock = block;
    k->curIndex = index;
    k->curKeyLen = keyLen;
    if (keyLen > 0) std::memcpy(k->curKey, key, static_cast<size_t>(keyLen));
}

KeyFile* openKeyFile(const std::string& path, bool update, const void* tag, unsigned blocksPerFile) {
    Engine& e = engine();
    auto slot = std::find(e.files.begin(), e.files.end(), nullptr);
    if (slot == e.files.end()) {
        setError(kKfOpenFailed);
        return nullptr;
    }
    auto file = std::make_unique<BlockFile>(path, update, blocksPerFile);
    file->id = static_cast<uint32_t>(slot - e.files.begin());
    const int rc = file->open();
    if (rc != 0) {
        setError(rc);
        return nullptr;
    }
    auto* k = new KeyFile;
    k->file = file.get();
    k->update = update;
    k->setTag = tag;
    *slot = std::move(file);
    e.open.insert(k);
    updateCacheLimits();
    return k;
}

// Releases the key file; its cached blocks are written first when asked.
int releaseKeyFile(KeyFile* k, bool write) {
    Engine& e = engine();
    const int rc = write ? e.cache.flush(k->file) : 0;
    e.cache.drop(k->file);
    e.files[k->file->id].reset();
    e.open.erase(k);
    delete k;
    updateCacheLimits();
    return rc;
}

void removePhysicalFiles(const std::string& path, uint32_t from) {
    for (uint32_t i = from;; ++i) {
        if (::unlink(physicalFilePath(path, i).c_str()) != 0) break;
    }
}

// The item of the current record, read from its leaf.
bool currentItem(KeyFile* k, Block** block, Item* item) {
    if (k->curBlock < 0) return fail(kKfNotFound);
    Block* b = readBlock(k, static_cast<uint32_t>(k->curBlock));
    if (!b) return false;
    if (level(b->bytes) != 0 || k->curIndex >= entryCount(b->bytes)) return fail(kKfStateError);
    if (!decodeItem(b->bytes, itemOffset(b->bytes, k->curIndex), freeOffset(b->bytes), true, item))
        return fail(kKfDamaged);
    *block = b;
    return true;
}

// Moves from a leaf to the next one through nextBlock, checking the link.
Block* nextLeaf(KeyFile* k, Block* leaf) {
    const uint32_t from = leaf->number;
    // The root's nextBlock is LastDataBlock: a root leaf has no sibling.
    const uint32_t n = from == kRootBlock ? 0 : nextBlock(leaf->bytes);
    if (n == 0) {
        setError(kKfNotFound);
        return nullptr;
    }
    if (++k->leavesCrossed > k->file->blockCount()) {
        setError(kKfDamaged);
        return nullptr;
    }
    Block* b = readBlock(k, n, false);
    if (!b) return nullptr;
    if (level(b->bytes) != 0 || prevBlock(b->bytes) != from) {
        setError(kKfDamaged);
        return nullptr;
    }
    return b;
}

// Makes entry `index` of `leaf` (or the first entry after it, in a later
// leaf) the current record. Returns its data length, or -1.
int landOn(KeyFile* k, Block* leaf, int index) {
    while (index >= entryCount(leaf->bytes)) {
        leaf = nextLeaf(k, leaf);
        if (!leaf) return -1;
        index = 0;
    }
    if (!leaf->keysValid) {
        KeyWalk walk(leaf->bytes);
        if (!walkTo(walk, index)) return setError(kKfDamaged), -1;
        setCurrent(k, leaf->number, index, walk.key(), walk.keyLen());
        return static_cast<int>(walk.item().number);
    }
    auto keys = keysOf(k, leaf);
    if (!keys) return -1;
    Item item;
    if (index >= keys->count() ||
        !decodeItem(leaf->bytes, itemOffset(leaf->bytes, index), freeOffset(leaf->bytes), true, &item)) {
        setError(kKfDamaged);
        return -1;
    }
    setCurrent(k, leaf->number, index, keys->key(index), keys->keyLen(index));
    return static_cast<int>(item.number);
}

// Steps to the record after the current one.
int stepNext(KeyFile* k) {
    Block* b = readBlock(k, static_cast<uint32_t>(k->curBlock));
    if (!b) return -1;
    int index = k->curIndex + 1;
    while (index >= entryCount(b->bytes)) {
        b = nextLeaf(k, b);
        if (!b) return -1;
        index = 0;
    }
    Item item;
    if (!decodeItem(b->bytes, itemOffset(b->bytes, index), freeOffset(b->bytes), true, &item) ||
        item.keyCommon > (index == 0 ? 0 : k->curKeyLen)) {
        setError(kKfDamaged);
        return -1;
    }
    k->curBlock = b->number;
    k->curIndex = index;
    std::memcpy(k->curKey + item.keyCommon, item.tail, static_cast<size_t>(item.tailLen()));
    k->curKeyLen = item.keyLen;
    if (item.keyLen == 0) {
        setError(kKfNotFound);
        return -1;
    }
    return static_cast<int>(item.number);
}

// The first leaf, with no leaves crossed yet.
Block* leftmostLeaf(KeyFile* k) {
    if (!trimCache()) return nullptr;
    Path path;
    if (!descend(k, nullptr, 0, Descent::Leftmost, path)) return nullptr;
    k->leavesCrossed = 0;
    return readBlock(k, path[0].block);
}

// An item's data, cut at the buffer's size: in the leaf when it is held
// there, else read into `buffer`. Null when it cannot be read.
const uint8_t* dataOf(KeyFile* k, const Item& item, uint8_t (&buffer)[1024], uint32_t& n) {
    n = std::min<uint32_t>(item.number, sizeof buffer);
    if (n == 0 || item.dataInline()) return item.trailer;
    return readLongData(k, item.dataBlock, item.dataOffset, buffer, n) ? buffer : nullptr;
}

// The leaf and position where the first record of `key` is or would be.
Block* leafOfFirstEqual(KeyFile* k, const uint8_t* key, int keyLen, int* index) {
    if (!trimCache()) return nullptr;
    // Kept between calls: lookups run once per ROM.
    thread_local Path path;
    if (!descend(k, key, keyLen, Descent::FirstEqual, path)) return nullptr;
    k->leavesCrossed = 0;
    *index = path[0].index;
    return readBlock(k, path[0].block);
}

int deliverKey(KeyFile* k, int dataLen, void* keyBuffer, int* keyLen) {
    if (dataLen < 0) {
        clearCurrent(k);
        return -1;
    }
    if (keyBuffer) std::memcpy(keyBuffer, k->curKey, static_cast<size_t>(k->curKeyLen));
    if (keyLen) *keyLen = k->curKeyLen;
    return dataLen;
}

bool checkData(const void* data, int dataLen) {
    if (dataLen < 0) return fail(kKfNegativeDataLength);
    if (dataLen > 0 && !data) return fail(kKfNoData);
    return true;
}

// Stores a record after all records of an equal key and makes it current.
bool insertRecord(KeyFile* k, const uint8_t* key, int keyLen, const uint8_t* data, uint32_t dataLen) {
    uint8_t reference[2 * kMaxVarintSize];
    const uint8_t* trailer = data;
    int trailerLen = static_cast<int>(dataLen);
    if (dataLen > kInlineDataLimit) {
        uint32_t block = 0, offset = 0;
        if (!writeLongData(k, data, dataLen, &block, &offset)) return false;
        trailerLen = encodeDataReference(reference, block, offset);
        trailer = reference;
    }
    PathStep placed;
    if (!insertLeafItem(k, key, keyLen, dataLen, trailer, trailerLen, &placed)) return false;
    setCurrent(k, placed.block, placed.index, key, keyLen);
    return true;
}

// Runs a change in a transaction; on failure the file and the current
// record are as they were.
template <typename Change>
int transact(KeyFile* k, Change change) {
    const int64_t block = k->curBlock;
    const int index = k->curIndex;
    const int keyLen = k->curKeyLen;
    uint8_t key[kMaxKeyLength];
    std::memcpy(key, k->curKey, sizeof key);
    startTransaction(k);
    const bool ok = change();
    commitTransaction(k, !ok);
    if (ok) return 0;
    k->curBlock = block;
    k->curIndex = index;
    k->curKeyLen = keyLen;
    std::memcpy(k->curKey, key, sizeof key);
    return -1;
}

}  // namespace

KeyFile* keyFileCreate(const std::string& path, const void* tag, unsigned blocksPerFile) {
    Operation op;
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        setError(kKfCreateFailed);
        return nullptr;
    }
    ::close(fd);
    // Spill files left by an earlier key file of this name would add its
    // blocks to the new one.
    removePhysicalFiles(path, 1);
    KeyFile* k = openKeyFile(path, true, tag, blocksPerFile);
    if (!k) {
        setError(kKfCreateFailed);
        ::unlink(path.c_str());
        return nullptr;
    }
    startTransaction(k);
    Block* root = freshBlock(k, kRootBlock);
    Block* data = freshBlock(k, kFirstDataBlock);
    k->file->setBlockCount(2);
    clearBlock(root->bytes, 0);
    setLastDataBlock(root->bytes, kFirstDataBlock);
    setFreeListHead(root->bytes, 2);
    uint8_t item[64];
    const int size = encodeItem(item, 0, 0, nullptr, kIdentifyingDataLength,
                                reinterpret_cast<const uint8_t*>(kIdentifyingData), kIdentifyingDataLength);
    insertItemBytes(root->bytes, 0, item, size);
    clearBlock(data->bytes, kDataLevel);
    commitTransaction(k, false);
    const int rc = engine().cache.flush(k->file);
    if (rc != 0) {
        releaseKeyFile(k, false);
        ::unlink(path.c_str());
        setError(rc);
        return nullptr;
    }
    return k;
}

KeyFile* keyFileOpen(const std::string& path, bool update, const void* tag, unsigned blocksPerFile) {
    Operation op;
    if (!trimCache()) return nullptr;
    KeyFile* k = openKeyFile(path, update, tag, blocksPerFile);
    if (!k) return nullptr;
    Block* root = nullptr;
    Block* data = nullptr;
    if (k->file->blockCount() < 2 || !(data = readBlock(k, kFirstDataBlock)) || level(data->bytes) != kDataLevel ||
        !(root = readBlock(k, kRootBlock)) || level(root->bytes) > kMaxTreeLevel) {
        const int error = keyFileErrno() ? keyFileErrno() : kKfDamaged;
        releaseKeyFile(k, false);
        setError(error == kKfReadFailed ? error : kKfDamaged);
        return nullptr;
    }
    return k;
}

int keyFileFlush(KeyFile* k) {
    Operation op;
    if (!known(k)) return -1;
    const int rc = engine().cache.flush(k->file);
    if (rc != 0) return setError(rc), -1;
    return trimCache() ? 0 : -1;
}

int keyFileClose(KeyFile* k) {
    Operation op;
    if (!known(k)) return -1;
    const int rc = releaseKeyFile(k, k->update);
    if (rc != 0) return setError(rc), -1;
    return trimCache() ? 0 : -1;
}

int keyFileAbandon(KeyFile* k) {
    Operation op;
    if (!known(k)) return -1;
    releaseKeyFile(k, false);
    return trimCache() ? 0 : -1;
}

int keyFileInsert(KeyFile* k, const void* key, int keyLen, const void* data, int dataLen) {
    Operation op;
    if (!known(k)) return -1;
    if (!k->update) return setError(kKfNotForUpdate), -1;
    if (!key || keyLen < 1 || keyLen > kMaxKeyLength) return setError(kKfBadKeyLength), -1;
    if (!checkData(data, dataLen) || !trimCache()) return -1;
    return transact(k, [&] {
        return insertRecord(k, static_cast<const uint8_t*>(key), keyLen, static_cast<const uint8_t*>(data),
                            static_cast<uint32_t>(dataLen));
    });
}

int keyFileFind(KeyFile* k, int mode, const void* key, int keyLen, void* foundKey, int* foundKeyLen) {
    Operation op;
    if (!known(k)) return -1;
    clearCurrent(k);
    if (!key || keyLen < 1 || keyLen > kMaxKeyLength) return setError(kKfBadKeyLength), -1;
    if (mode != kFindFirstEqual) return setError(kKfStateError), -1;
    const auto* wanted = static_cast<const uint8_t*>(key);
    int index = 0;
    Block* leaf = leafOfFirstEqual(k, wanted, keyLen, &index);
    if (!leaf) return -1;
    const int dataLen = landOn(k, leaf, index);
    if (dataLen < 0) {
        clearCurrent(k);
        return -1;
    }
    if (compareKeys(k->curKey, k->curKeyLen, wanted, keyLen) != 0) {
        clearCurrent(k);
        return setError(kKfNotFound), -1;
    }
    return deliverKey(k, dataLen, foundKey, foundKeyLen);
}

int keyFileRead(KeyFile* k, void* buffer, int bufferLen) {
    Operation op;
    if (!known(k)) return -1;
    Block* b = nullptr;
    Item item;
    if (!currentItem(k, &b, &item)) return -1;
    const uint32_t n = bufferLen <= 0 ? item.number : std::min<uint32_t>(item.number, static_cast<uint32_t>(bufferLen));
    if (n == 0) return 0;
    if (!buffer) return setError(kKfNoData), -1;
    if (item.dataInline()) {
        std::memcpy(buffer, item.trailer, n);
    } else if (!readLongData(k, item.dataBlock, item.dataOffset, static_cast<uint8_t*>(buffer), n)) {
        return -1;
    }
    return static_cast<int>(n);
}

int keyFileFindAll(KeyFile* k, const void* key, int keyLen, KeyFileVisit visit, void* context) {
    Operation op;
    if (!known(k)) return -1;
    clearCurrent(k);
    if (!key || keyLen < 1 || keyLen > kMaxKeyLength) return setError(kKfBadKeyLength), -1;
    const auto* wanted = static_cast<const uint8_t*>(key);
    int index = 0;
    Block* leaf = leafOfFirstEqual(k, wanted, keyLen, &index);
    if (!leaf) return -1;
    // Walks the leaves directly; no current record is kept up on the way.
    uint8_t buffer[1024];
    int visited = 0;
    std::optional<KeyWalk> walk;  // for a leaf whose keys are not expanded
    for (;;) {
        while (index >= entryCount(leaf->bytes)) {
            // The leaves behind are not read again: under a new operation
            // number the cache may evict them, so a walk over a key with a
            // million entries holds a cache's worth of blocks, not all it
            // crossed (and does not search that growing list per block).
            ++engine().op;
            leaf = nextLeaf(k, leaf);
            if (!leaf) {
                if (keyFileErrno() != kKfNotFound) return -1;
                setError(kKfOk);
                return visited;
            }
            index = 0;
            walk.reset();
        }
        Item item;
        if (!leaf->keysValid) {
            if (!walk) walk.emplace(leaf->bytes);
            if (!walkTo(*walk, index)) return setError(kKfDamaged), -1;
            if (compareKeys(walk->key(), walk->keyLen(), wanted, keyLen) != 0) break;
            item = walk->item();
        } else {
            const BlockKeys& keys = leaf->keys;
            if (index >= keys.count()) return setError(kKfDamaged), -1;
            if (compareKeys(keys.key(index), keys.keyLen(index), wanted, keyLen) != 0) break;
            if (!decodeItem(leaf->bytes, itemOffset(leaf->bytes, index), freeOffset(leaf->bytes), true, &item))
                return setError(kKfDamaged), -1;
        }
        uint32_t n = 0;
        const uint8_t* data = dataOf(k, item, buffer, n);
        if (!data) return -1;
        visit(context, reinterpret_cast<const char*>(data), static_cast<int>(n));
        ++visited;
        ++index;
    }
    clearCurrent(k);
    return visited;
}

int keyFileEach(KeyFile* k, KeyFileEachVisit visit, void* context) {
    Operation op;
    if (!known(k)) return -1;
    clearCurrent(k);
    Block* leaf = leftmostLeaf(k);
    if (!leaf) return -1;
    uint8_t buffer[1024];
    int visited = 0;
    while (leaf) {
        KeyWalk walk(leaf->bytes);
        while (walk.next()) {
            // The identifying record leads the file and is never shown.
            if (walk.keyLen() == 0) continue;
            uint32_t n = 0;
            const uint8_t* data = dataOf(k, walk.item(), buffer, n);
            if (!data) return -1;
            visit(context, walk.key(), walk.keyLen(), reinterpret_cast<const char*>(data), static_cast<int>(n));
            ++visited;
        }
        if (walk.damaged()) return setError(kKfDamaged), -1;
        // As in keyFileFindAll: the cache may evict the leaves behind.
        ++engine().op;
        leaf = nextLeaf(k, leaf);
    }
    if (keyFileErrno() != kKfNotFound) return -1;
    setError(kKfOk);
    return visited;
}

int keyFileFirst(KeyFile* k, void* keyBuffer, int* keyLen) {
    Operation op;
    if (!known(k)) return -1;
    clearCurrent(k);
    Block* leaf = leftmostLeaf(k);
    if (!leaf) return -1;
    int dataLen = landOn(k, leaf, 0);
    // The identifying record leads the file and is never shown.
    if (dataLen >= 0 && k->curKeyLen == 0) dataLen = stepNext(k);
    return deliverKey(k, dataLen, keyBuffer, keyLen);
}

int keyFileNext(KeyFile* k, void* keyBuffer, int* keyLen) {
    Operation op;
    if (!known(k)) return -1;
    if (k->curBlock < 0) return setError(kKfNotFound), -1;
    if (!trimCache()) return -1;
    return deliverKey(k, stepNext(k), keyBuffer, keyLen);
}

int keyFileDelete(KeyFile* k) {
    Operation op;
    if (!known(k)) return -1;
    if (!k->update) return setError(kKfNotForUpdate), -1;
    if (k->curBlock < 0) return setError(kKfNotFound), -1;
    if (!trimCache()) return -1;
    const int rc = transact(k, [&] {
        return removeLeafItem(k, k->curKey, k->curKeyLen, static_cast<uint32_t>(k->curBlock), k->curIndex);
    });
    if (rc == 0) clearCurrent(k);
    return rc;
}

int keyFileUpdate(KeyFile* k, const void* data, int dataLen) {
    Operation op;
    if (!known(k)) return -1;
    if (!k->update) return setError(kKfNotForUpdate), -1;
    if (!checkData(data, dataLen)) return -1;
    if (k->curBlock < 0) return setError(kKfNotFound), -1;
    if (!trimCache()) return -1;
    const auto* bytes = static_cast<const uint8_t*>(data);
    return transact(k, [&] {
        Block* b = nullptr;
        Item item;
        if (!currentItem(k, &b, &item)) return false;
        const uint32_t len = static_cast<uint32_t>(dataLen);
        if (item.number == len) {
            if (!item.dataInline()) return overwriteLongData(k, item.dataBlock, item.dataOffset, bytes, len);
            if (len == 0) return true;
            Block* w = writableBlock(k, b->number);
            if (!w || !decodeItem(w->bytes, itemOffset(w->bytes, k->curIndex), freeOffset(w->bytes), true, &item))
                return fail(kKfDamaged);
            std::memcpy(w->bytes + (item.trailer - w->bytes), bytes, len);
            return true;
        }
        uint8_t key[kMaxKeyLength];
        const int keyLen = k->curKeyLen;
        std::memcpy(key, k->curKey, static_cast<size_t>(keyLen));
        return removeLeafItem(k, key, keyLen, static_cast<uint32_t>(k->curBlock), k->curIndex) &&
               insertRecord(k, key, keyLen, bytes, len);
    });
}

namespace keyfile {

void setCachePerKeyFileForTesting(size_t blocks) {
    std::lock_guard<std::mutex> lock(engine().lock);
    g_cachePerKeyFile = blocks ? blocks : kCachePerKeyFile;
    updateCacheLimits();
}

int setCacheShare(KeyFile* k, size_t blocks) {
    Operation op;
    if (!known(k)) return -1;
    k->cacheShare = blocks;
    updateCacheLimits();
    return trimCache() ? 0 : -1;
}

}  // namespace keyfile

}  // namespace quorvane
