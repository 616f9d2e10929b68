#include "archive/entry_check.h"

#include <libdeflate.h>

#include <memory>

#include "archive/archive_bytes.h"
#include "archive/scratch_buffer.h"

namespace quorvane {
namespace {

constexpr int kStored = 0;
constexpr int kDeflated = 8;
constexpr uint32_t kEncryptedFlag = 1;

struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

libdeflate_decompressor* threadDecompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(
        libdeflate_alloc_decompressor());
    return decompressor.get();
}

// Trims the thread's output block on the way out, whatever the verdict.
struct OutputBlock {
    ScratchBuffer& buffer;
    ~OutputBlock() { buffer.trim(); }
};

ScratchBuffer& threadOutput() {
    thread_local ScratchBuffer output;
    return output;
}

// Deflate codes at most 258 bytes in 2 bits, so no stream unpacks to more
// than 1032 times its length (plus a block's worth for the headers' slack):
// a larger recorded size is a lie that must not size the output block.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr uint64_t kDeflateSlack = 1024;

}  // namespace

bool quickTestApplies(const ZipEntry& entry) {
    return (entry.method == kStored || entry.method == kDeflated) && (entry.flag & kEncryptedFlag) == 0 &&
           !entry.readDirectly && entry.compressedSize <= ArchiveBytes::kSpanLimit &&
           entry.uncompressedSize <= ArchiveBytes::kSpanLimit &&
           entry.uncompressedSize <= entry.compressedSize * kMaxDeflateRatio + kDeflateSlack;
}

bool quickTestPasses(const ZipEntry& entry, const unsigned char* stored) {
    if (!quickTestApplies(entry) || stored == nullptr) return false;
    if (entry.method == kStored) return quickUnpack(entry, stored, nullptr);
    OutputBlock block{threadOutput()};
    unsigned char* out = block.buffer.reserve(static_cast<size_t>(entry.uncompressedSize));
    return out != nullptr && quickUnpack(entry, stored, out);
}

bool quickUnpack(const ZipEntry& entry, const unsigned char* stored, unsigned char* out) {
    if (!quickTestApplies(entry) || stored == nullptr) return false;
    const size_t storedSize = static_cast<size_t>(entry.compressedSize);
    const size_t size = static_cast<size_t>(entry.uncompressedSize);
    if (entry.method == kStored) return storedSize == size && libdeflate_crc32(0, stored, size) == entry.crc32;

    libdeflate_decompressor* decompressor = threadDecompressor();
    if (decompressor == nullptr || out == nullptr) return false;
    // Bytes after the end of the deflate stream are ignored, as the full
    // read ignores them; a stream longer than the recorded size fails here
    // and is judged by the full read.
    size_t used = 0, produced = 0;
    const libdeflate_result result =
        libdeflate_deflate_decompress_ex(decompressor, stored, storedSize, out, size, &used, &produced);
    return result == LIBDEFLATE_SUCCESS && produced == size && libdeflate_crc32(0, out, size) == entry.crc32;
}

}  // namespace quorvane
