#include "catalogue/key_offset_table.h"

#include <bit>

namespace quorvane {

bool KeyOffsetTable::build(KeyIndex& index, size_t maxRecords) {
    clear();
    maxRecords_ = maxRecords;
    // The walk is in key order, so the records of one key come together.
    const auto add = [](void* context, std::string_view key, std::uint64_t offset) {
        auto& table = *static_cast<KeyOffsetTable*>(context);
        if (table.tooMany_) return;
        if (table.offsets_.size() >= table.maxRecords_) {
            table.tooMany_ = true;
            return;
        }
        std::vector<Key>& keys = table.slots_;
        if (keys.empty() || std::string_view(table.keys_).substr(keys.back().at) != key) {
            keys.push_back({static_cast<std::uint32_t>(table.keys_.size()), static_cast<std::uint16_t>(key.size()),
                            tagOf(hashOf(key)), static_cast<std::uint32_t>(table.offsets_.size()), 0});
            table.keys_ += key;
        }
        ++keys.back().count;
        table.offsets_.push_back(offset);
    };
    if (!index.eachOffset(add, this) || tooMany_) {
        clear();
        return false;
    }
    std::vector<Key> keys;
    keys.swap(slots_);
    slots_.assign(std::bit_ceil(2 * keys.size() + 2), Key{});
    const size_t mask = slots_.size() - 1;
    for (const Key& key : keys) {
        size_t slot = hashOf(std::string_view(keys_).substr(key.at, key.len)) & mask;
        while (slots_[slot].count != 0) slot = (slot + 1) & mask;
        slots_[slot] = key;
    }
    keys_.shrink_to_fit();
    offsets_.shrink_to_fit();
    built_ = true;
    source_ = &index;
    generation_ = index.generation();
    return true;
}

void KeyOffsetTable::find(std::string_view key, std::vector<std::uint64_t>& offsets) const {
    if (slots_.empty()) return;
    const std::uint64_t hash = hashOf(key);
    const std::uint16_t tag = tagOf(hash);
    const size_t mask = slots_.size() - 1;
    for (size_t slot = hash & mask; slots_[slot].count != 0; slot = (slot + 1) & mask) {
        const Key& e = slots_[slot];
        if (e.tag != tag || e.len != key.size() || std::string_view(keys_).substr(e.at, e.len) != key) continue;
        offsets.insert(offsets.end(), offsets_.begin() + e.first, offsets_.begin() + e.first + e.count);
        return;
    }
}

void KeyOffsetTable::clear() {
    built_ = false;
    source_ = nullptr;
    tooMany_ = false;
    std::string().swap(keys_);
    std::vector<Key>().swap(slots_);
    std::vector<std::uint64_t>().swap(offsets_);
}

}  // namespace quorvane
