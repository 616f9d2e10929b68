#include "keyfile/key_file_data.h"

#include <algorithm>
#include <cstring>

namespace quorvane::keyfile {

namespace {

// Visits the stored value chunk by chunk. Every chunk is at least one byte,
// so a damaged chain cannot loop for longer than the value is long.
template <typename Visit>
bool walkData(KeyFile* k, uint32_t block, uint32_t offset, uint32_t len, bool change, Visit visit) {
    uint32_t done = 0;
    while (done < len) {
        if (block == kRootBlock || offset < kHeaderSize || offset >= kBlockSize) return fail(kKfDamaged);
        Block* b = change ? writableBlock(k, block) : readBlock(k, block);
        if (!b) return false;
        if (level(b->bytes) != kDataLevel) return fail(kKfDamaged);
        const uint32_t chunk = std::min<uint32_t>(len - done, static_cast<uint32_t>(kBlockSize) - offset);
        visit(b->bytes + offset, done, chunk);
        done += chunk;
        block = nextBlock(b->bytes);
        offset = kHeaderSize;
    }
    return true;
}

}  // namespace

bool writeLongData(KeyFile* k, const uint8_t* data, uint32_t len, uint32_t* block, uint32_t* offset) {
    Block* root = writableBlock(k, kRootBlock);
    if (!root) return false;
    Block* d = writableBlock(k, lastDataBlock(root->bytes));
    if (!d) return false;
    if (level(d->bytes) != kDataLevel) return fail(kKfDamaged);
    bool first = true;
    while (len > 0 || first) {
        if (freeOffset(d->bytes) >= kBlockSize) {
            Block* nb = allocateBlock(k, kDataLevel);
            if (!nb) return false;
            setNextBlock(d->bytes, nb->number);
            setLastDataBlock(root->bytes, nb->number);
            d = nb;
        }
        const uint16_t free = freeOffset(d->bytes);
        if (first) {
            *block = d->number;
            *offset = free;
            first = false;
        }
        const uint32_t chunk = std::min<uint32_t>(len, static_cast<uint32_t>(kBlockSize) - free);
        std::memcpy(d->bytes + free, data, chunk);
        setFreeOffset(d->bytes, static_cast<uint16_t>(free + chunk));
        data += chunk;
        len -= chunk;
    }
    return true;
}

bool readLongData(KeyFile* k, uint32_t block, uint32_t offset, uint8_t* out, uint32_t len) {
    return walkData(k, block, offset, len, false,
                    [out](uint8_t* p, uint32_t at, uint32_t n) { std::memcpy(out + at, p, n); });
}

bool overwriteLongData(KeyFile* k, uint32_t block, uint32_t offset, const uint8_t* data, uint32_t len) {
    return walkData(k, block, offset, len, true, [data](uint8_t* p, uint32_t at, uint32_t n) {
        std::memcpy(p, data + at, n);
    });
}

}  // namespace quorvane::keyfile
