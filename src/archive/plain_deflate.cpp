#include "archive/plain_deflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>

namespace quorvane {
namespace {

// Deflate's stored blocks: the data as it is, in 64 KiB pieces.
constexpr int kStoredLevel = 0;
// The quick look at a sample, before a full effort is spent on the whole.
constexpr int kProbeLevel = 1;
constexpr size_t kSampleSize = 4096;

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorFree>;

libdeflate_compressor* threadCompressor(int level) {
    thread_local Compressor plain(libdeflate_alloc_compressor(kPlainZipLevel));
    thread_local Compressor probe(libdeflate_alloc_compressor(kProbeLevel));
    thread_local Compressor stored(libdeflate_alloc_compressor(kStoredLevel));
    return level == kPlainZipLevel ? plain.get() : level == kProbeLevel ? probe.get() : stored.get();
}

// Whether none of three samples (head, middle, tail) shrinks by 3% at the
// quickest level. Such data (compressed already, or noise) costs a full
// deflate about four times what compressible data costs, for nothing.
bool looksIncompressible(const unsigned char* data, size_t size) {
    if (size < 3 * kSampleSize) return false;
    libdeflate_compressor* probe = threadCompressor(kProbeLevel);
    if (!probe) return false;
    unsigned char out[kSampleSize + 64];
    for (const size_t at : {size_t{0}, size / 2 - kSampleSize / 2, size - kSampleSize}) {
        const size_t n = libdeflate_deflate_compress(probe, data + at, kSampleSize, out, sizeof out);
        if (n != 0 && n * 100 < kSampleSize * 97) return false;
    }
    return true;
}

}  // namespace

bool deflateWhole(const void* data, size_t size, std::string& out) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    libdeflate_compressor* compressor =
        threadCompressor(looksIncompressible(bytes, size) ? kStoredLevel : kPlainZipLevel);
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
