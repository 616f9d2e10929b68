#include "import/split_tokens.h"

namespace quorvane {

namespace {

// Unsigned compare: UTF-8 bytes of names (0xC2 0xA0 ...) must never count as blanks.
bool isBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

void splitTokens(std::string_view line, std::vector<std::string>& tokens) {
    tokens.clear();
    const size_t n = line.size();
    size_t p = 0;
    while (p < n && isBlank(line[p])) ++p;
    while (p < n) {
        std::string& token = tokens.emplace_back();
        if (line[p] == '"') {
            ++p;
            while (p < n) {
                if (line[p] == '"') {
                    if (p + 1 < n && line[p + 1] == '"') {
                        token += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                const size_t quote = line.find('"', p);
                const size_t end = quote == std::string_view::npos ? n : quote;
                token.append(line.substr(p, end - p));
                p = end;
            }
        } else {
            const size_t start = p;
            while (p < n && !isBlank(line[p]) && line[p] != ',') ++p;
            token.assign(line.substr(start, p - start));
        }
        while (p < n && isBlank(line[p])) ++p;
        if (p < n && line[p] == ',') {
            if (p + 1 == n) tokens.emplace_back();
            ++p;
            while (p < n && isBlank(line[p])) ++p;
        }
    }
}

}  // namespace quorvane
