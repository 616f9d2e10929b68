#include "archive/raw_deflater.h"

#include <algorithm>

#include "archive/zip_entry_io.h"

namespace quorvane {
namespace {

constexpr int kRawWindowBits = -15;
constexpr int kMemoryLevel = 8;

}  // namespace

RawDeflater::RawDeflater(FileOps& ops, int fd, uint64_t offset, int level)
    : ops_(ops), fd_(fd), offset_(offset), out_(new (std::nothrow) unsigned char[kCopyBlockSize]) {
    ready_ = out_ && deflateInit2(&stream_, level, Z_DEFLATED, kRawWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY) == Z_OK;
}

RawDeflater::~RawDeflater() {
    if (ready_) deflateEnd(&stream_);
}

bool RawDeflater::write(const char* data, size_t size) {
    if (!ready_) return false;
    crc_ = static_cast<uint32_t>(crc32_z(crc_, reinterpret_cast<const Bytef*>(data), size));
    size_ += size;
    // avail_in is 32 bits wide; blocks are far smaller, but stay safe.
    while (size > 0) {
        const size_t chunk = std::min<size_t>(size, kCopyBlockSize);
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        stream_.avail_in = static_cast<uInt>(chunk);
        if (!deflateAndWrite(Z_NO_FLUSH)) return false;
        data += chunk;
        size -= chunk;
    }
    return true;
}

bool RawDeflater::finish() {
    if (!ready_) return false;
    stream_.next_in = nullptr;
    stream_.avail_in = 0;
    return deflateAndWrite(Z_FINISH);
}

bool RawDeflater::deflateAndWrite(int flush) {
    for (;;) {
        stream_.next_out = out_.get();
        stream_.avail_out = static_cast<uInt>(kCopyBlockSize);
        const int result = deflate(&stream_, flush);
        if (result == Z_STREAM_ERROR) return false;
        const size_t produced = kCopyBlockSize - stream_.avail_out;
        if (produced > 0) {
            if (!writeAllAt(ops_, fd_, out_.get(), produced, offset_ + written_)) return false;
            written_ += produced;
        }
        if (flush == Z_FINISH ? result == Z_STREAM_END : stream_.avail_in == 0 && stream_.avail_out != 0) return true;
    }
}

}  // namespace quorvane
