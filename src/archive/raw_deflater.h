// Deflates one entry's data straight into an open file with zlib: level 9
// unless told otherwise, a raw 15-bit window, memory level 8, the default
// strategy, as TorrentZip stores every entry. Data comes in blocks and goes out in blocks, so an entry of
// any size needs only the two buffers.
//
// How to use:
//   RawDeflater deflater(ops, fd, dataOffset);
//   while (...) if (!deflater.write(block, n)) fail;
//   if (!deflater.finish()) fail;
//   deflater.compressedSize(), deflater.size(), deflater.crc32()
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "archive/file_ops.h"

namespace quorvane {

inline constexpr int kTorrentZipLevel = 9;

class RawDeflater {
public:
    RawDeflater(FileOps& ops, int fd, uint64_t offset, int level = kTorrentZipLevel);
    ~RawDeflater();
    RawDeflater(const RawDeflater&) = delete;
    RawDeflater& operator=(const RawDeflater&) = delete;

    // False when zlib or a write failed (errno tells for a write).
    bool write(const char* data, size_t size);
    // Ends the stream; nothing may be written after.
    bool finish();

    uint64_t size() const { return size_; }
    uint64_t compressedSize() const { return written_; }
    uint32_t crc32() const { return crc_; }

private:
    bool deflateAndWrite(int flush);

    FileOps& ops_;
    int fd_;
    uint64_t offset_;
    z_stream stream_{};
    bool ready_ = false;
    std::unique_ptr<unsigned char[]> out_;
    uint64_t size_ = 0;
    uint64_t written_ = 0;
    uint32_t crc_ = 0;
};

}  // namespace quorvane
