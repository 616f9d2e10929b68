#include "archive/plain_directory.h"

#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUORVANE_HAS_AVX2_PATH 1
#endif

#include "archive/digest_set.h"

namespace quorvane {
namespace {

constexpr uint64_t kEndRecordSize = 22;
constexpr uint64_t kCentralFixedSize = 46;
constexpr uint32_t kMarker = 0xFFFFFFFF;
constexpr unsigned char kLocatorSignature[] = {'P', 'K', 6, 7};
constexpr unsigned char kEndSignature[] = {'P', 'K', 5, 6};

uint32_t le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// memchr skims a short span far faster than memmem, and in compressed data
// the first byte rarely matches.
bool skimFor(const unsigned char* data, size_t size, const unsigned char (&signature)[4]) {
    const unsigned char* const end = data + size;
    for (const unsigned char* p = data; end - p >= 4; ++p) {
        p = static_cast<const unsigned char*>(std::memchr(p, signature[0], static_cast<size_t>(end - p - 3)));
        if (p == nullptr) return false;
        if (std::memcmp(p, signature, 4) == 0) return true;
    }
    return false;
}

#if defined(QUORVANE_HAS_AVX2_PATH)
// As the SSE2 loop below, 64 bytes a round with one branch; moves `at` to
// where it stopped when the signature is not found.
__attribute__((target("avx2"))) bool containsAvx2(const unsigned char* data, size_t size,
                                                  const unsigned char (&signature)[4], size_t& at) {
    const __m256i first = _mm256_set1_epi8(static_cast<char>(signature[0]));
    const __m256i second = _mm256_set1_epi8(static_cast<char>(signature[1]));
    for (; at + 65 <= size; at += 64) {
        const auto* p = reinterpret_cast<const __m256i*>(data + at);
        const auto* q = reinterpret_cast<const __m256i*>(data + at + 1);
        const __m256i low = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(p), first),
                                             _mm256_cmpeq_epi8(_mm256_loadu_si256(q), second));
        const __m256i high = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(p + 1), first),
                                              _mm256_cmpeq_epi8(_mm256_loadu_si256(q + 1), second));
        const __m256i any = _mm256_or_si256(low, high);
        if (_mm256_testz_si256(any, any)) continue;
        uint64_t both = static_cast<uint32_t>(_mm256_movemask_epi8(low)) |
                        (uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(high))} << 32);
        for (; both != 0; both &= both - 1) {
            const size_t hit = at + static_cast<size_t>(__builtin_ctzll(both));
            if (size - hit >= 4 && std::memcmp(data + hit, signature, 4) == 0) return true;
        }
    }
    return false;
}
#endif

bool contains(const unsigned char* data, size_t size, const unsigned char (&signature)[4]) {
    size_t at = 0;
#if defined(QUORVANE_HAS_AVX2_PATH)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && containsAvx2(data, size, signature, at)) return true;
#endif
#if defined(__SSE2__)
    // Over a whole 64 KiB tail, memchr stops at every 256th byte or so; the
    // first two bytes compared together at 16 places at once almost never
    // match by chance.
    const __m128i first = _mm_set1_epi8(static_cast<char>(signature[0]));
    const __m128i second = _mm_set1_epi8(static_cast<char>(signature[1]));
    for (; at + 17 <= size; at += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
        auto both = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, first), _mm_cmpeq_epi8(next, second))));
        for (; both != 0; both &= both - 1) {
            const size_t hit = at + static_cast<size_t>(__builtin_ctz(both));
            if (size - hit >= 4 && std::memcmp(data + hit, signature, 4) == 0) return true;
        }
    }
#endif
    return skimFor(data + at, size - at, signature);
}

bool hasZip64Block(const unsigned char* extra, size_t size) {
    for (size_t at = 0; at + 4 <= size; at += 4 + le16(extra + at + 2)) {
        if (le16(extra + at) == 0x0001) return true;
    }
    return false;
}

}  // namespace

bool minizipMayFindLocator(const unsigned char* tail, uint64_t tailSize, uint64_t fileSize) {
    const uint64_t span = fileSize < kLocatorSearchSpan ? fileSize : kLocatorSearchSpan;
    return tailSize < span || contains(tail + (tailSize - span), span, kLocatorSignature);
}

namespace {

// `asMinizip`: declines an archive minizip might list otherwise (see readPlainDirectory).
bool readPlain(const unsigned char* tail, uint64_t tailSize, uint64_t fileSize, PlainDirectory& out, bool asMinizip) {
    out.entries.clear();
    out.localHeaderOffsets.clear();
    if (tailSize > fileSize || fileSize < kEndRecordSize) return false;
    const uint64_t tailStart = fileSize - tailSize;
    // minizip takes the last end signature it meets and any ZIP64 locator
    // signature in its search span; with neither but ours, it finds ours.
    if (asMinizip && minizipMayFindLocator(tail, tailSize, fileSize)) return false;
    const unsigned char* end = tail + (tailSize - kEndRecordSize);
    if (std::memcmp(end, kEndSignature, 4) != 0 || contains(end + 1, kEndRecordSize - 1, kEndSignature)) return false;
    const uint32_t count = le16(end + 10);
    const uint64_t directorySize = le32(end + 12), directoryOffset = le32(end + 16);
    if (le16(end + 4) != 0 || le16(end + 6) != 0 || le16(end + 8) != count || count == 0 || count == 0xFFFF ||
        le16(end + 20) != 0 || directorySize == kMarker || directoryOffset == kMarker)
        return false;
    const uint64_t directoryEnd = fileSize - kEndRecordSize;
    if (directoryOffset + directorySize != directoryEnd || directoryOffset < tailStart) return false;
    if (count > directorySize / kCentralFixedSize) return false;  // more records than the directory holds

    const unsigned char* p = tail + (directoryOffset - tailStart);
    const unsigned char* const last = tail + (directoryEnd - tailStart);
    out.entries.reserve(count);
    out.localHeaderOffsets.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (static_cast<uint64_t>(last - p) < kCentralFixedSize || le32(p) != 0x02014B50) return false;
        const uint32_t nameLength = le16(p + 28), extraLength = le16(p + 30), commentLength = le16(p + 32);
        const uint64_t recordSize = kCentralFixedSize + nameLength + extraLength + commentLength;
        if (static_cast<uint64_t>(last - p) < recordSize) return false;
        const uint32_t compressed = le32(p + 20), uncompressed = le32(p + 24), local = le32(p + 42);
        if (compressed == kMarker || uncompressed == kMarker || local == kMarker ||
            hasZip64Block(p + kCentralFixedSize + nameLength, extraLength))
            return false;
        ZipEntry entry;
        entry.name.assign(reinterpret_cast<const char*>(p + kCentralFixedSize), nameLength);
        entry.crc32 = le32(p + 16);
        entry.crc = crcHex(entry.crc32, true);
        entry.uncompressedSize = uncompressed;
        entry.compressedSize = compressed;
        entry.size = std::to_string(uncompressed);
        entry.method = static_cast<int>(le16(p + 10));
        entry.dosDate = le32(p + 12);
        entry.flag = le16(p + 8);
        out.entries.push_back(std::move(entry));
        out.localHeaderOffsets.push_back(local);
        p += recordSize;
    }
    if (p != last) {
        out.entries.clear();
        out.localHeaderOffsets.clear();
        return false;
    }
    return true;
}

}  // namespace

bool readPlainDirectory(const unsigned char* tail, uint64_t tailSize, uint64_t fileSize, PlainDirectory& out) {
    return readPlain(tail, tailSize, fileSize, out, true);
}

bool listPlainArchive(FileOps& ops, const std::string& path, uint64_t fileSize, PlainDirectory& out) {
    out = {};
    // Enough for the directory of a small archive, and for the end record
    // that says how large the directory is.
    constexpr uint64_t kFirstRead = 4096;
    constexpr uint64_t kLargestDirectory = uint64_t{16} << 20;
    const int fd = ops.openRead(path, {ReadAhead::InOneGo});
    if (fd < 0) return false;
    auto readTail = [&](std::vector<unsigned char>& into, uint64_t size) {
        into.resize(static_cast<size_t>(size));
        return readAllAt(ops, fd, into.data(), into.size(), fileSize - size);
    };
    std::vector<unsigned char> tail;
    bool listed = fileSize >= kEndRecordSize && readTail(tail, fileSize < kFirstRead ? fileSize : kFirstRead) &&
                  readPlain(tail.data(), tail.size(), fileSize, out, false);
    if (!listed && tail.size() >= kEndRecordSize && tail.size() < fileSize) {
        // The directory starts before the bytes read: read from its start.
        const unsigned char* end = tail.data() + tail.size() - kEndRecordSize;
        const uint64_t directoryOffset = le32(end + 16);
        if (std::memcmp(end, kEndSignature, 4) == 0 && directoryOffset < fileSize - tail.size() &&
            fileSize - directoryOffset <= kLargestDirectory)
            listed = readTail(tail, fileSize - directoryOffset) &&
                     readPlain(tail.data(), tail.size(), fileSize, out, false);
    }
    ops.close(fd);
    return listed;
}

uint64_t plainDataOffset(const unsigned char* h, const ZipEntry& entry, uint64_t localHeaderOffset) {
    if (h == nullptr || le32(h) != 0x04034B50 || le16(h + 8) != static_cast<uint32_t>(entry.method) ||
        le16(h + 26) != entry.name.size())
        return 0;
    const bool descriptor = (le16(h + 6) & 8) != 0;
    if (!descriptor && (le32(h + 14) != entry.crc32 || le32(h + 18) != entry.compressedSize ||
                        le32(h + 22) != entry.uncompressedSize))
        return 0;
    return localHeaderOffset + kLocalHeaderSize + le16(h + 26) + le16(h + 28);
}

}  // namespace quorvane
