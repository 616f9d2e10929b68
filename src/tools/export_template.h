// The template language of custom export files.
//
// A template is a list of lines. Written out it becomes each line followed
// by CR LF. "$SYSTEM$", "$GAMENAME$" and "$ROMNAME$" are replaced wherever
// they occur, ignoring letter case, in that order, each over the result of
// the one before (so a system name holding "$GAMENAME$" is replaced again).
//
// Delimited form, how a template is kept in the settings file:
//   lines joined by ","; a line holding a byte of code 32 or below, "," or
//   "*" is enclosed in "*" with every inner "*" doubled; a template of one
//   empty line is "**"; no lines is the empty text.
//   Example: {"Game $GAMENAME$", "", "x*y"} <-> "*Game $GAMENAME$*,,*x**y*"
// Parsing skips bytes 1..32 around items; an unquoted item ends at "," or at
// a byte of code 32 or below (so a hand-written "a b" is two lines), and a
// "," at the very end adds an empty last line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

using TemplateLines = std::vector<std::string>;

inline constexpr const char* kSystemPlaceholder = "$SYSTEM$";
inline constexpr const char* kGamePlaceholder = "$GAMENAME$";
inline constexpr const char* kRomPlaceholder = "$ROMNAME$";

// Each line followed by CR LF; no lines gives the empty text.
std::string templateText(const TemplateLines& lines);

// Every occurrence of `placeholder` (ignoring ASCII case) replaced by
// `value`; the inserted text is not searched again.
std::string replaceIgnoringCase(std::string_view text, std::string_view placeholder, std::string_view value);

// The three levels' replacement, in the fixed order.
std::string fillSystem(const std::string& text, const std::string& system);
std::string fillGame(const std::string& text, const std::string& system, const std::string& game);
std::string fillRom(const std::string& text, const std::string& system, const std::string& game,
                    const std::string& rom);

std::string toDelimited(const TemplateLines& lines);
TemplateLines fromDelimited(std::string_view text);

}  // namespace quorvane
