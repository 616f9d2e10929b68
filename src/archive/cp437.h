// Code page 437, the character set zip names are read in when an entry does
// not carry the UTF-8 flag (general-purpose bit 11). Bytes below 0x80 are
// ASCII both ways; 0x80-0xFF are the accented letters, box drawing and Greek
// letters of the original IBM PC.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// `utf8` in CP437 bytes, into `out`. False (and `out` unspecified) when the
// text is not well-formed UTF-8 or holds a character CP437 lacks.
bool utf8ToCp437(std::string_view utf8, std::string& out);

// CP437 bytes as UTF-8; every byte has a character.
std::string cp437ToUtf8(std::string_view cp437);

}  // namespace quorvane
