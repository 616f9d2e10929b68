// The text forms in which DAT values are stored, so that they compare equal
// to what the archive layer computes (lower-case hexadecimal, CRCs of eight
// digits).
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// Parenthesised DATs: lower-cased, a "0x" prefix dropped, cut to the last
// eight characters, and one to seven hexadecimal digits padded with leading
// zeros to eight.
std::string parenthesisedCrcText(std::string_view crc);

// Sectioned DATs: lower-cased and padded like above, never cut.
std::string sectionedCrcText(std::string_view crc);

// Sizes: "0x" followed by hexadecimal digits becomes decimal; anything else
// is kept as written.
std::string decimalSizeText(std::string_view size);

// MD5 and SHA-1: lower-cased, a "0x" prefix dropped.
std::string digestText(std::string_view digest);

// A disk's file name: the DAT names a disk image without its ".chd".
std::string diskFileName(std::string_view name);

}  // namespace quorvane
