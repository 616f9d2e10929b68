#include "tools/export_template.h"

namespace quorvane {

namespace {

constexpr char kQuote = '*';
constexpr char kDelimiter = ',';

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

bool matchesAt(std::string_view text, size_t at, std::string_view word) {
    if (text.size() - at < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (lower(text[at + i]) != lower(word[i])) return false;
    return true;
}

bool needsQuotes(const std::string& line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) <= 32 || c == kDelimiter || c == kQuote) return true;
    return false;
}

}  // namespace

std::string templateText(const TemplateLines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string replaceIgnoringCase(std::string_view text, std::string_view placeholder, std::string_view value) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (!placeholder.empty() && matchesAt(text, i, placeholder)) {
            out += value;
            i += placeholder.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string fillSystem(const std::string& text, const std::string& system) {
    return replaceIgnoringCase(text, kSystemPlaceholder, system);
}

std::string fillGame(const std::string& text, const std::string& system, const std::string& game) {
    return replaceIgnoringCase(fillSystem(text, system), kGamePlaceholder, game);
}

std::string fillRom(const std::string& text, const std::string& system, const std::string& game,
                    const std::string& rom) {
    return replaceIgnoringCase(fillGame(text, system, game), kRomPlaceholder, rom);
}

std::string toDelimited(const TemplateLines& lines) {
    if (lines.size() == 1 && lines[0].empty()) return std::string(2, kQuote);
    std::string out;
    for (size_t n = 0; n < lines.size(); ++n) {
        if (n) out += kDelimiter;
        const std::string& line = lines[n];
        if (!needsQuotes(line)) {
            out += line;
            continue;
        }
        out += kQuote;
        for (char c : line) {
            if (c == kQuote) out += kQuote;
            out += c;
        }
        out += kQuote;
    }
    return out;
}

TemplateLines fromDelimited(std::string_view text) {
    // A NUL ends the text, as it would in the settings file reader.
    if (const size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    TemplateLines lines;
    size_t p = 0;
    auto skipBlanks = [&] {
        while (p < text.size() && isBlank(text[p])) ++p;
    };
    skipBlanks();
    while (p < text.size()) {
        std::string item;
        if (text[p] == kQuote) {
            ++p;
            while (p < text.size()) {
                if (text[p] == kQuote) {
                    if (p + 1 < text.size() && text[p + 1] == kQuote) {
                        item += kQuote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            while (p < text.size() && static_cast<unsigned char>(text[p]) > 32 && text[p] != kDelimiter)
                item += text[p++];
        }
        lines.push_back(std::move(item));
        skipBlanks();
        if (p < text.size() && text[p] == kDelimiter) {
            if (p + 1 == text.size()) lines.emplace_back();
            ++p;
            skipBlanks();
        }
    }
    return lines;
}

}  // namespace quorvane
