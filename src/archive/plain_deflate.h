// Deflating a whole buffer at once for a plain zip entry, with libdeflate:
// several times faster than zlib's streaming deflate at a like ratio. TorrentZip
// entries do not come here: their bytes are fixed by zlib (raw_deflater.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvane {

// libdeflate's level 6: on ROM images it packs a little tighter than zlib -6
// (Info-ZIP's default) and takes about half the time.
inline constexpr int kPlainZipLevel = 6;

// Up to this size an entry is deflated in memory; a larger one streams
// through zlib, so memory stays bounded whatever the file.
inline constexpr uint64_t kWholeDeflateLimit = 64ull * 1024 * 1024;

// Replaces `out` with the raw deflate stream of `data`. Data that does not
// shrink in samples from its head, middle and tail goes into stored blocks
// at once, as zip -6 would end up storing it. False when memory runs out.
// Safe from any thread (each thread keeps its own compressors).
bool deflateWhole(const void* data, size_t size, std::string& out);

// The CRC-32 of `data` as zip records it, continuing from `crc`.
uint32_t zipCrc32(const void* data, size_t size, uint32_t crc = 0);

}  // namespace quorvane
