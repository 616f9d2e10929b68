#include "catalogue/key_offset_table.h"

#include <bit>
#include <cstring>

namespace quorvane {

namespace {

// Keys are short (a CRC's hex digits and a size's): a mix per eight bytes
// spreads them as well as a general string hash, at a fraction of its cost,
// into both the slot bits and the tag bits.
std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9u;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBu;
    return x ^ (x >> 31);
}

std::uint64_t word(const char* at) {
    std::uint64_t w = 0;
    std::memcpy(&w, at, sizeof w);
    return w;
}

std::uint64_t hashOf(std::string_view key) {
    const size_t size = key.size();
    std::uint64_t hash = size * 0x9E3779B97F4A7C15u;
    if (size < 8) {
        std::uint64_t last = 0;
        for (size_t k = 0; k < size; ++k) last |= std::uint64_t{static_cast<unsigned char>(key[k])} << (8 * k);
        return mix(hash ^ last);
    }
    size_t at = 0;
    for (; at + 8 < size; at += 8) hash = mix(hash ^ word(key.data() + at));
    // The last eight bytes, overlapping the word before when the size is not a multiple of eight.
    return mix(hash ^ word(key.data() + size - 8));
}

// Hash bits the slot index does not use.
std::uint16_t tagOf(std::uint64_t hash) { return static_cast<std::uint16_t>(hash >> 48); }

}  // namespace

std::string_view KeyOffsetTable::keyOf(const Key& key) const {
    if (key.len <= kInline) return {key.bytes, key.len};
    std::uint32_t at = 0;
    std::memcpy(&at, key.bytes, sizeof at);
    return std::string_view(keys_).substr(at, key.len);
}

bool KeyOffsetTable::build(KeyIndex& index, size_t maxRecords) {
    clear();
    maxRecords_ = maxRecords;
    // The walk is in key order, so the records of one key come together.
    // While building, every key's offsets go to offsets_ and `offset` says
    // where they start; a key with one keeps it in its slot afterwards.
    const auto add = [](void* context, std::string_view key, std::uint64_t offset) {
        auto& table = *static_cast<KeyOffsetTable*>(context);
        if (table.tooMany_) return;
        if (table.records_ >= table.maxRecords_ || table.keys_.size() + key.size() > UINT32_MAX) {
            table.tooMany_ = true;
            return;
        }
        ++table.records_;
        Slots& keys = table.slots_;
        if (keys.empty() || table.keyOf(keys.back()) != key) {
            Key& k = keys.emplace_back();
            k.len = static_cast<std::uint16_t>(key.size());
            k.tag = tagOf(hashOf(key));
            k.offset = table.offsets_.size();
            if (key.size() <= kInline) {
                std::memcpy(k.bytes, key.data(), key.size());
            } else {
                const auto at = static_cast<std::uint32_t>(table.keys_.size());
                std::memcpy(k.bytes, &at, sizeof at);
                table.keys_ += key;
            }
        }
        ++keys.back().count;
        table.offsets_.push_back(offset);
    };
    if (!index.eachOffset(add, this) || tooMany_) {
        clear();
        return false;
    }
    Slots keys;
    keys.swap(slots_);
    std::vector<std::uint64_t> all;
    all.swap(offsets_);
    slots_.assign(std::bit_ceil(keys.size() + keys.size() / 2 + 2), Key{});
    const size_t mask = slots_.size() - 1;
    for (Key key : keys) {
        if (key.count == 1) {
            key.offset = all[key.offset];
        } else {
            const size_t first = static_cast<size_t>(key.offset);
            key.offset = offsets_.size();
            offsets_.insert(offsets_.end(), all.begin() + static_cast<std::ptrdiff_t>(first),
                            all.begin() + static_cast<std::ptrdiff_t>(first + key.count));
        }
        size_t slot = hashOf(keyOf(key)) & mask;
        while (slots_[slot].count != 0) slot = (slot + 1) & mask;
        slots_[slot] = key;
    }
    keys_.shrink_to_fit();
    offsets_.shrink_to_fit();
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
        if (e.tag != tag || e.len != key.size() || keyOf(e) != key) continue;
        if (e.count == 1) {
            offsets.push_back(e.offset);
        } else {
            const auto first = offsets_.begin() + static_cast<std::ptrdiff_t>(e.offset);
            offsets.insert(offsets.end(), first, first + e.count);
        }
        return;
    }
}

void KeyOffsetTable::clear() {
    source_ = nullptr;
    tooMany_ = false;
    records_ = 0;
    std::string().swap(keys_);
    Slots().swap(slots_);
    std::vector<std::uint64_t>().swap(offsets_);
}

}  // namespace quorvane
