#include "import/dat_values.h"

#include <cstdint>

#include "core/records.h"
#include "core/text.h"

namespace quorvane {

namespace {

constexpr size_t kCrcDigits = 8;

std::string_view withoutHexPrefix(std::string_view text) {
    if (text.size() >= 2 && text[0] == '0' && text[1] == 'x') text.remove_prefix(2);
    return text;
}

bool allHex(std::string_view text) {
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// A short CRC lost its leading zeros when written; restoring them lets it
// match the eight digits of an archive listing.
std::string padShortCrc(std::string crc) {
    if (!crc.empty() && crc.size() < kCrcDigits && allHex(crc)) crc.insert(0, kCrcDigits - crc.size(), '0');
    return crc;
}

}  // namespace

std::string parenthesisedCrcText(std::string_view crc) {
    const std::string lower = toLowerAscii(crc);
    std::string_view digits = withoutHexPrefix(lower);
    if (digits.size() > kCrcDigits) digits = digits.substr(digits.size() - kCrcDigits);
    return padShortCrc(std::string(digits));
}

std::string sectionedCrcText(std::string_view crc) { return padShortCrc(toLowerAscii(crc)); }

std::string decimalSizeText(std::string_view size) {
    if (size.size() < 3 || size.size() > 18 || size[0] != '0' || (size[1] != 'x' && size[1] != 'X'))
        return std::string(size);
    std::uint64_t value = 0;
    for (char c : size.substr(2)) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) return std::string(size);
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return std::to_string(value);
}

std::string digestText(std::string_view digest) {
    const std::string lower = toLowerAscii(digest);
    return std::string(withoutHexPrefix(lower));
}

std::string diskFileName(std::string_view name) {
    std::string file(name);
    // A nameless disk stays nameless, to be reported as such.
    if (!file.empty() && !file.ends_with(kDiskSuffix)) file += kDiskSuffix;
    return file;
}

}  // namespace quorvane
