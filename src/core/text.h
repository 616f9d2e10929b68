// Small text helpers shared by every layer. Bytes of 0x80 and above are
// never treated as white space or letters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// Local time as every output shows it: "2026-12-06 15:07:09".
std::string localTimeText(std::time_t when);

std::string toLowerAscii(std::string_view text);
std::string toUpperAscii(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
bool endsWithIgnoreCase(std::string_view text, std::string_view suffix);
bool startsWith(std::string_view text, std::string_view prefix);

// Orders text as equalsIgnoreCase compares it (a map key type for names the
// settings file matches without regard to case).
struct LessIgnoreCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// Trims bytes 1..32 (and NUL) from both ends, as the INI and DAT readers do.
std::string_view trimControl(std::string_view text);

// Replaces every occurrence of `needle`, matched without regard to ASCII case.
std::string replaceAllIgnoreCase(std::string_view text, std::string_view needle, std::string_view replacement);

// Text made safe to print on a terminal: control characters (C0, DEL and
// the C1 range) and bytes that are not part of valid UTF-8 become "\xNN", so
// a name cannot move the cursor, clear the screen or fake a line of output.
// Valid UTF-8 passes unchanged.
std::string terminalText(std::string_view text);

// The length (2 to 4) of the well-formed UTF-8 sequence of a character from
// U+0080 up that starts at `at`, with its code point in `code`; 0 when the
// bytes there are not one (overlong, surrogate, cut short, ...).
size_t utf8SequenceAt(std::string_view text, size_t at, uint32_t& code);

// The longest start of `text` of at most `maxBytes` bytes that ends at a
// UTF-8 character boundary. Bytes that are not UTF-8 are cut anywhere.
std::string_view utf8Prefix(std::string_view text, size_t maxBytes);

// Integer as the settings file writes it: decimal with an optional sign, or
// "0x" followed by hexadecimal digits. Anything else is nullopt.
std::optional<long long> parseProfileInteger(std::string_view text);

}  // namespace quorvane
