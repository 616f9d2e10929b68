#include "import/dat_values.h"

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

std::string digestText(std::string_view digest) {
    const std::string lower = toLowerAscii(digest);
    return std::string(withoutHexPrefix(lower));
}

}  // namespace quorvane
