// One bit per byte of a block: the items of a block read from disk claim
// their bytes here, and a byte claimed twice means overlapping items.
#pragma once

#include <cstddef>
#include <cstdint>

#include "keyfile/key_file_format.h"

namespace quorvane::keyfile {

class ByteClaims {
public:
    // Claims bytes [from, from + n) of the block; false when any already was.
    bool claim(size_t from, size_t n) {
        if (n <= 64) {
            // Most items are short: their bits fit two neighbouring words.
            const size_t word = from / 64;
            const unsigned __int128 mask = ((static_cast<unsigned __int128>(1) << n) - 1) << (from % 64);
            const auto lo = static_cast<uint64_t>(mask), hi = static_cast<uint64_t>(mask >> 64);
            if ((words_[word] & lo) | (words_[word + 1] & hi)) return false;
            words_[word] |= lo;
            words_[word + 1] |= hi;
            return true;
        }
        for (size_t to = from + n; from < to;) {
            const size_t word = from / 64, bit = from % 64;
            const size_t span = to - from < 64 - bit ? to - from : 64 - bit;
            const uint64_t mask = (span == 64 ? ~uint64_t{0} : ((uint64_t{1} << span) - 1)) << bit;
            if (words_[word] & mask) return false;
            words_[word] |= mask;
            from += span;
        }
        return true;
    }

private:
    // One spare word past the block's end for the two-word case.
    uint64_t words_[kBlockSize / 64 + 1] = {};
};

}  // namespace quorvane::keyfile
