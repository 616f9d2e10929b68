// Copier and emulator headers: bytes some dumps carry in front of the
// cartridge data that DATs list without them. A header is recognised by its
// signature at a fixed offset (the SNES copier header has none: a file whose
// size is 512 more than a multiple of 1024 carries one).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvane {

struct CopierHeader {
    std::string_view name;  // "iNES", "FDS", "Lynx", "Atari 7800", "SNES copier"
    std::uint64_t bytes;    // how many bytes the header takes
};

// Bytes of a file's start that detection looks at.
inline constexpr std::size_t kHeaderProbeBytes = 512;

// Whether a file of `size` bytes could carry a header: what a header leaves
// is a whole number of half-KiB blocks (or FDS disk sides). Only such files
// are worth reading to look.
bool mayCarryCopierHeader(std::uint64_t size);

// The header a file of `size` bytes starting with `head` carries; nullopt
// when none (or when nothing would be left after it).
std::optional<CopierHeader> detectCopierHeader(std::string_view head, std::uint64_t size);

// The header a DAT's header rule file names ("No-Intro_NES.xml"); nullopt
// for a rule this program does not know.
std::optional<CopierHeader> headerRuleNamed(std::string_view ruleName);

// The CRC-32 of what follows the header, from the whole content's CRC, the
// header's bytes and the whole content's size: no second read of the data.
std::uint32_t crcAfterHeader(std::uint32_t wholeCrc, std::string_view header, std::uint64_t wholeSize);

}  // namespace quorvane
