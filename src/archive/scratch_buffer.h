// A reusable block of memory for one thread's archive work, so that testing
// thousands of small archives does not allocate for each one. Contents are
// not kept across reserve() calls.
#pragma once

#include <cstddef>
#include <memory>

namespace quorvane {

class ScratchBuffer {
public:
    // At least `size` bytes (one byte for size 0), or null when out of memory.
    unsigned char* reserve(size_t size) {
        if (size == 0) size = 1;
        if (size > capacity_) {
            data_.reset();
            capacity_ = 0;
            data_.reset(new (std::nothrow) unsigned char[size]);
            if (!data_) return nullptr;
            capacity_ = size;
        }
        return data_.get();
    }
    // Lets go of a block grown past `kept` for one large archive, so memory
    // held between archives stays small.
    void trim(size_t kept = kKeptSize) {
        if (capacity_ > kept) {
            data_.reset();
            capacity_ = 0;
        }
    }

    static constexpr size_t kKeptSize = size_t{4} << 20;

private:
    std::unique_ptr<unsigned char[]> data_;
    size_t capacity_ = 0;
};

}  // namespace quorvane
