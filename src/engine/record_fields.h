// The little-endian fields of the program's own binary files (the scan
// cache and the statuses kept beside it): numbers of 1 to 8 bytes, texts as
// a u32 byte count and the bytes, and a file's stamp as five u64s (device,
// inode, size, modification and status-change times in ns).
#pragma once

#include <libdeflate.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/file_util.h"
#include "engine/ordered_loader.h"

namespace quorvane {

// Builds bytes in memory; given a file, it writes them out as it goes so a
// cache of a large collection never sits in memory twice.
class FieldWriter {
public:
    FieldWriter() = default;
    explicit FieldWriter(int fd) : fd_(fd) {}
    // `bytes`: 1 to 8.
    void number(std::uint64_t value, int bytes) {
        char little[8];
        for (int i = 0; i < 8; ++i) little[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        out_.append(little, static_cast<size_t>(bytes));
        spill();
    }
    void text(std::string_view value) {
        number(value.size(), 4);
        out_ += value;
        spill();
    }
    void raw(const char* data, size_t size) {
        out_.append(data, size);
        spill();
    }
    void reserve(size_t size) { out_.reserve(size); }
    std::string& bytes() { return out_; }
    // Writes what is held; false once any write failed.
    bool flush() {
        if (out_.empty() || !ok_) return ok_;
        crc_ = libdeflate_crc32(crc_, out_.data(), out_.size());
        ok_ = writeAllAt(fd_, out_.data(), out_.size(), written_);
        written_ += out_.size();
        out_.clear();
        return ok_;
    }
    // The CRC-32 of every byte flushed so far, and how many they were.
    std::uint32_t crc() const { return crc_; }
    std::uint64_t written() const { return written_; }

private:
    static constexpr size_t kSpillAt = 1 << 20;
    void spill() {
        if (fd_ >= 0 && out_.size() >= kSpillAt) flush();
    }
    int fd_ = -1;
    std::string out_;
    std::uint32_t crc_ = 0;
    std::uint64_t written_ = 0;
    bool ok_ = true;
};

// Reads what Writer wrote; once anything is out of bounds every later read
// fails too, so a caller checks ok() once at the end.
class FieldReader {
public:
    FieldReader(const char* data, size_t size) : data_(data), left_(size) {}
    std::uint64_t number(int bytes) {
        if (!take(static_cast<size_t>(bytes))) return 0;
        std::uint64_t value = 0;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&value, at_, static_cast<size_t>(bytes));
            return value;
        }
        for (int i = 0; i < bytes; ++i)
            value |= std::uint64_t{static_cast<unsigned char>(at_[i])} << (8 * i);
        return value;
    }
    std::string text() { return std::string(view()); }
    // A text in place, valid while the bytes read are.
    std::string_view view() {
        const std::uint64_t size = number(4);
        if (!take(static_cast<size_t>(size))) return {};
        return {at_, static_cast<size_t>(size)};
    }
    bool raw(const char* expected, size_t size) { return take(size) && std::memcmp(at_, expected, size) == 0; }
    // The next `size` bytes in place, or nullptr when there are fewer.
    const char* bytes(size_t size) { return take(size) ? at_ : nullptr; }
    bool ok() const { return ok_; }
    bool atEnd() const { return ok_ && left_ == 0; }
    size_t left() const { return left_; }

private:
    bool take(size_t size) {
        if (!ok_ || size > left_) {
            ok_ = false;
            return false;
        }
        at_ = data_;
        data_ += size;
        left_ -= size;
        return true;
    }
    const char* data_;
    const char* at_ = nullptr;
    size_t left_;
    bool ok_ = true;
};

inline void writeStamp(FieldWriter& out, const FileStamp& stamp) {
    out.number(stamp.device, 8);
    out.number(stamp.inode, 8);
    out.number(static_cast<std::uint64_t>(stamp.size), 8);
    out.number(static_cast<std::uint64_t>(stamp.modifiedNs), 8);
    out.number(static_cast<std::uint64_t>(stamp.changedNs), 8);
}

inline FileStamp readStamp(FieldReader& in) {
    FileStamp stamp;
    stamp.valid = true;
    stamp.device = in.number(8);
    stamp.inode = in.number(8);
    stamp.size = static_cast<long long>(in.number(8));
    stamp.modifiedNs = static_cast<long long>(in.number(8));
    stamp.changedNs = static_cast<long long>(in.number(8));
    return stamp;
}

}  // namespace quorvane
