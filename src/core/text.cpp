#include "core/text.h"

#include <cstdint>
#include <limits>

namespace quorvane {

namespace {
char lowerByte(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char upperByte(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
bool isControlOrSpace(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 32;
}
}  // namespace

std::string toLowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lowerByte(c);
    return out;
}

std::string toUpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = upperByte(c);
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerByte(a[i]) != lowerByte(b[i])) return false;
    return true;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string_view trimControl(std::string_view text) {
    while (!text.empty() && isControlOrSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isControlOrSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::string replaceAllIgnoreCase(std::string_view text, std::string_view needle, std::string_view replacement) {
    if (needle.empty()) return std::string(text);
    const std::string lowerText = toLowerAscii(text);
    const std::string lowerNeedle = toLowerAscii(needle);
    std::string out;
    size_t pos = 0;
    for (;;) {
        const size_t hit = lowerText.find(lowerNeedle, pos);
        if (hit == std::string::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(replacement);
        pos = hit + needle.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::optional<long long> parseProfileInteger(std::string_view text) {
    text = trimControl(text);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        unsigned long long value = 0;
        for (char c : text.substr(2)) {
            int digit;
            if (c >= '0' && c <= '9') digit = c - '0';
            else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
            else return std::nullopt;
            if (value > (std::numeric_limits<unsigned long long>::max() >> 4)) return std::nullopt;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        return static_cast<long long>(value);
    }
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        if (value > (std::numeric_limits<long long>::max() - 9) / 10) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

}  // namespace quorvane
