#include "core/json.h"

#include <cstdio>

#include "core/text.h"

namespace quorvane {

std::string jsonString(std::string_view text) {
    const auto escaped = [](unsigned code) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04x", code);
        return std::string(buffer);
    };
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            // JSON is UTF-8: a byte that is not part of a UTF-8 character is
            // read as Latin-1, as most old DAT files are written.
            uint32_t code = 0;
            const size_t n = utf8SequenceAt(text, i, code);
            if (n == 0) {
                out += escaped(byte);
                ++i;
            } else {
                if (code <= 0x9F) out += escaped(code);  // C1 controls
                else out.append(text.substr(i, n));
                i += n;
            }
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: out += byte < 0x20 || byte == 0x7F ? escaped(byte) : std::string(1, c);
        }
        ++i;
    }
    return out + "\"";
}

}  // namespace quorvane
