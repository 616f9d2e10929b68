#include "core/text.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace quorvane {

std::string localTimeText(std::time_t when) {
    std::tm parts{};
    localtime_r(&when, &parts);
    char buffer[32];
    return std::string(buffer, std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &parts));
}

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

bool endsWithIgnoreCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && equalsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

bool LessIgnoreCase::operator()(std::string_view a, std::string_view b) const {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(lowerByte(a[i]));
        const auto y = static_cast<unsigned char>(lowerByte(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
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

size_t utf8SequenceAt(std::string_view text, size_t at, uint32_t& code) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(at);
    size_t length;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (overlong || surrogate || code > 0x10FFFF) return 0;
    return length;
}

namespace {

// C1 controls (CSI and friends) act on some terminals like ESC sequences.
bool isC1Control(uint32_t code) { return code >= 0x80 && code <= 0x9F; }

}  // namespace

std::string_view utf8Prefix(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    const auto continuation = [&](size_t at) { return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80; };
    size_t cut = maxBytes;
    // A character takes at most four bytes: three continuation bytes back.
    for (int i = 0; i < 3 && cut > 0 && continuation(cut); ++i) --cut;
    return text.substr(0, continuation(cut) ? maxBytes : cut);
}

std::string terminalText(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += text[i++];
            continue;
        }
        uint32_t code = 0;
        if (const size_t n = c >= 0x80 ? utf8SequenceAt(text, i, code) : 0; n > 0 && !isC1Control(code)) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 0x0F];
        ++i;
    }
    return out;
}

}  // namespace quorvane
