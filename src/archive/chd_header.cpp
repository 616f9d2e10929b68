#include "archive/chd_header.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace quorvane {
namespace {

constexpr std::string_view kTag = "MComprHD";
constexpr std::size_t kCommonBytes = 16;  // tag, length, version
constexpr uint32_t kHasParentFlag = 1;

struct Layout {
    unsigned version;
    uint32_t length;
    std::size_t logicalBytes, hunkBytes, sha1, rawSha1, md5, parentSha1;
    std::size_t flags;  // 0: none, the parent is known by a non-zero SHA-1
};

// Offset 0 (the tag's) stands for a field the version lacks.
constexpr std::size_t kNone = 0;
// In the order of Layout's fields; see the header for each version's layout.
constexpr Layout kLayouts[] = {
    {3, 120, 28, 76, 80, kNone, 44, 100, 16},
    {4, 108, 28, 44, 48, 88, kNone, 68, 16},
    {5, 124, 32, 56, 84, 64, kNone, 104, kNone},
};

uint32_t be32(std::string_view bytes, std::size_t at) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

uint64_t be64(std::string_view bytes, std::size_t at) { return uint64_t{be32(bytes, at)} << 32 | be32(bytes, at + 4); }

// Lowercase hex of `size` bytes at `at`; empty when they are all zero.
std::string digestAt(std::string_view bytes, std::size_t at, std::size_t size) {
    const std::string_view digest = bytes.substr(at, size);
    if (std::all_of(digest.begin(), digest.end(), [](char c) { return c == 0; })) return {};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (const char c : digest) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xf];
    }
    return hex;
}

ChdHeaderResult failure(ChdHeaderError error, std::string reason) { return {error, std::move(reason)}; }

ChdHeaderResult truncated(std::size_t fileBytes, std::size_t headerBytes) {
    if (fileBytes == 0) return failure(ChdHeaderError::Truncated, "the file is empty");
    return failure(ChdHeaderError::Truncated, "the file ends inside its CHD header (" + std::to_string(fileBytes) +
                                                  " of " + std::to_string(headerBytes) + " bytes)");
}

}  // namespace

ChdHeaderResult parseChdHeader(std::string_view head, ChdHeader& out) {
    if (head.substr(0, kTag.size()) != kTag.substr(0, std::min(head.size(), kTag.size())))
        return failure(ChdHeaderError::NotChd, "not a CHD image (no MComprHD tag)");
    if (head.size() < kCommonBytes) return truncated(head.size(), kCommonBytes);

    const uint32_t length = be32(head, 8);
    const uint32_t version = be32(head, 12);
    const Layout* layout = nullptr;
    for (const Layout& candidate : kLayouts)
        if (candidate.version == version) layout = &candidate;
    if (layout == nullptr)
        return failure(ChdHeaderError::UnsupportedVersion, "unsupported CHD version " + std::to_string(version));
    if (length != layout->length)
        return failure(ChdHeaderError::WrongHeaderLength, "CHD version " + std::to_string(version) +
                                                              " header length is " + std::to_string(length) + ", not " +
                                                              std::to_string(layout->length));
    if (head.size() < layout->length) return truncated(head.size(), layout->length);

    ChdHeader header;
    header.version = version;
    header.headerLength = length;
    header.logicalBytes = be64(head, layout->logicalBytes);
    header.hunkBytes = be32(head, layout->hunkBytes);
    header.sha1 = digestAt(head, layout->sha1, 20);
    if (layout->rawSha1 != kNone) header.rawSha1 = digestAt(head, layout->rawSha1, 20);
    if (layout->md5 != kNone) header.md5 = digestAt(head, layout->md5, 16);
    if (layout->flags == kNone || (be32(head, layout->flags) & kHasParentFlag) != 0)
        header.parentSha1 = digestAt(head, layout->parentSha1, 20);
    out = std::move(header);
    return {};
}

ChdHeaderResult readChdHeader(const std::string& path, ChdHeader& out, FileOps& ops) {
    const auto unreadable = [](const char* what) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return failure(ChdHeaderError::FileNotFound, "file not found");
        return failure(ChdHeaderError::Unreadable,
                       std::string("cannot ") + what + " the file: " + std::strerror(error));
    };
    const int fd = ops.openRead(path, {ReadAhead::InOneGo});
    if (fd < 0) return unreadable("open");
    const int64_t size = ops.fileSize(fd);
    if (size < 0) {
        ChdHeaderResult result = unreadable("size");
        ops.close(fd);
        return result;
    }
    char head[kChdHeaderProbeBytes];
    const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(static_cast<uint64_t>(size), sizeof head));
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ops.readAt(fd, head + got, want - got, got);
        if (n < 0) {
            ChdHeaderResult result = unreadable("read");
            ops.close(fd);
            return result;
        }
        if (n == 0) break;  // shrank since it was sized: judged on what is there
        got += static_cast<std::size_t>(n);
    }
    ops.close(fd);
    return parseChdHeader(std::string_view(head, got), out);
}

bool looksLikeChd(std::string_view fileName) {
    constexpr std::string_view kExtension = ".chd";
    if (fileName.size() < kExtension.size()) return false;
    const std::string_view end = fileName.substr(fileName.size() - kExtension.size());
    return std::equal(end.begin(), end.end(), kExtension.begin(),
                      [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b; });
}

}  // namespace quorvane
