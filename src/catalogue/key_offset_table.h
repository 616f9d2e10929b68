// Every key of one key index with the row offsets filed under it, held in
// memory: a lookup costs a hash probe instead of a descent through the tree.
// A scan looks up every ROM of every archive, so once its lookups are a fair
// share of the rows, one walk over the index is cheaper than the descents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/key_index.h"
#include "core/huge_pages.h"

namespace quorvane {

class KeyOffsetTable {
public:
    // Reads every record of `index`; false, leaving the table empty, when
    // the walk fails or the index holds more than `maxRecords`.
    bool build(KeyIndex& index, size_t maxRecords);
    // Appends the offsets filed under `key`, in the index's order.
    void find(std::string_view key, std::vector<std::uint64_t>& offsets) const;
    // Whether the table was built from `index` as it is now.
    bool mirrors(const KeyIndex& index) const { return &index == source_ && generation_ == index.generation(); }
    void clear();

private:
    // Half a cache line: a lookup of a short key with one record reads
    // nothing else.
    struct alignas(32) Key {
        std::uint32_t count = 0;  // 0: a free slot
        std::uint16_t len = 0;
        std::uint16_t tag = 0;  // hash bits the slot index does not use
        // The one offset, or where the key's offsets start in offsets_.
        std::uint64_t offset = 0;
        // The key's bytes, or (longer than kInline) where they start in keys_.
        char bytes[16] = {};
    };
    static constexpr size_t kInline = sizeof Key::bytes;
    std::string_view keyOf(const Key& key) const;

    const KeyIndex* source_ = nullptr;  // null until built
    std::uint64_t generation_ = 0;
    size_t maxRecords_ = 0;
    size_t records_ = 0;
    bool tooMany_ = false;
    std::string keys_;
    // In walk order while building; then open addressing by hash, linear probing.
    using Slots = std::vector<Key, HugePageAllocator<Key>>;
    Slots slots_;
    std::vector<std::uint64_t> offsets_;
};

}  // namespace quorvane
