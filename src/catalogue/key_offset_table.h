// Every key of one key index with the row offsets filed under it, held in
// memory: a lookup costs a hash probe instead of a descent through the tree.
// A scan looks up every ROM of every archive, so once its lookups are a fair
// share of the rows, one walk over the index is cheaper than the descents.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/key_index.h"

namespace quorvane {

class KeyOffsetTable {
public:
    // Reads every record of `index`; false, leaving the table empty, when
    // the walk fails or the index holds more than `maxRecords`.
    bool build(KeyIndex& index, size_t maxRecords);
    // Appends the offsets filed under `key`, in the index's order.
    void find(std::string_view key, std::vector<std::uint64_t>& offsets) const;
    // Whether the table was built from `index` as it is now.
    bool mirrors(const KeyIndex& index) const { return built_ && &index == source_ && generation_ == index.generation(); }
    void clear();

private:
    struct Key {
        std::uint32_t at;     // in keys_
        std::uint16_t len;
        std::uint16_t tag;    // hash bits the slot index does not use
        std::uint32_t first;  // in offsets_
        std::uint32_t count;  // 0: a free slot
    };
    static std::uint64_t hashOf(std::string_view key) { return std::hash<std::string_view>{}(key); }
    static std::uint16_t tagOf(std::uint64_t hash) { return static_cast<std::uint16_t>(hash >> 48); }

    bool built_ = false;
    const KeyIndex* source_ = nullptr;
    std::uint64_t generation_ = 0;
    size_t maxRecords_ = 0;
    bool tooMany_ = false;
    std::string keys_;
    // In walk order while building; then open addressing by hash, linear probing.
    std::vector<Key> slots_;
    std::vector<std::uint64_t> offsets_;
};

}  // namespace quorvane
