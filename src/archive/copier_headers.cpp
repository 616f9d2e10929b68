#include "archive/copier_headers.h"

#include <zlib.h>

#include <array>
#include <cctype>
#include <string>

namespace quorvane {
namespace {

struct Rule {
    CopierHeader header;
    std::size_t offset;
    std::string_view signature;    // empty: recognised by the file's size
    std::string_view ruleKeyword;  // in a DAT's rule name, lower case
};

// The size-only rule first; longer keywords before the ones they hold ("snes", "nes").
constexpr std::array kRules{
    Rule{{"SNES copier", 512}, 0, "", "snes"},
    Rule{{"FDS", 16}, 0, "FDS\x1a", "fds"},
    Rule{{"Lynx", 64}, 0, "LYNX", "lynx"},
    Rule{{"Lynx", 64}, 0, "LYNX", "lnx"},
    Rule{{"Atari 7800", 128}, 1, "ATARI7800", "7800"},
    Rule{{"iNES", 16}, 0, "NES\x1a", "nes"},
};

}  // namespace

bool mayCarryCopierHeader(std::uint64_t size) {
    constexpr std::uint64_t kFdsSide = 65500;
    for (std::uint64_t bytes : {16, 64, 128, 512})
        if (size > bytes && (size - bytes) % 512 == 0) return true;
    return size > 16 && (size - 16) % kFdsSide == 0;
}

std::optional<CopierHeader> detectCopierHeader(std::string_view head, std::uint64_t size) {
    // A signature is better evidence than a size: those rules go first.
    for (const Rule& rule : kRules)
        if (!rule.signature.empty() && size > rule.header.bytes && head.size() > rule.offset &&
            head.substr(rule.offset, rule.signature.size()) == rule.signature)
            return rule.header;
    const Rule& bySize = kRules.front();
    if (size > bySize.header.bytes && size % 1024 == bySize.header.bytes) return bySize.header;
    return std::nullopt;
}

std::optional<CopierHeader> headerRuleNamed(std::string_view ruleName) {
    std::string lower(ruleName);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const Rule& rule : kRules)
        if (lower.find(rule.ruleKeyword) != std::string::npos) return rule.header;
    return std::nullopt;
}

std::uint32_t crcAfterHeader(std::uint32_t wholeCrc, std::string_view header, std::uint64_t wholeSize) {
    // CRC(H + R) = shift(CRC(H), |R|) ^ CRC(R), and crc32_combine(a, 0, n) is that shift.
    const uLong headCrc = crc32(0L, reinterpret_cast<const Bytef*>(header.data()), static_cast<uInt>(header.size()));
    const auto rest = static_cast<z_off64_t>(wholeSize - header.size());
    return static_cast<std::uint32_t>(wholeCrc ^ crc32_combine64(headCrc, 0, rest));
}

}  // namespace quorvane
