#include "archive/plain_deflate.h"

#include <libdeflate.h>

#include <memory>

namespace quorvane {
namespace {

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

libdeflate_compressor* threadCompressor() {
    thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> compressor(
        libdeflate_alloc_compressor(kPlainZipLevel));
    return compressor.get();
}

}  // namespace

bool deflateWhole(const void* data, size_t size, std::string& out) {
    libdeflate_compressor* compressor = threadCompressor();
    if (!compressor) return false;
    out.resize(libdeflate_deflate_compress_bound(compressor, size));
    const size_t produced = libdeflate_deflate_compress(compressor, data, size, out.data(), out.size());
    // The bound guarantees room, so no output means something else went wrong.
    if (produced == 0) return false;
    out.resize(produced);
    return true;
}

uint32_t zipCrc32(const void* data, size_t size, uint32_t crc) { return libdeflate_crc32(crc, data, size); }

}  // namespace quorvane
