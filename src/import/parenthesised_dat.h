// The parenthesised DAT syntax ("clrmamepro" style):
//
//   clrmamepro (
//   	name "System"
//   	version 20050731
//   	author "Someone"
//   )
//   game (
//   	name set
//   	cloneof parent
//   	romof bios
//   	rom ( name a.bin size 1024 crc 0123abcd md5 ... sha1 ... )
//   	disk ( name d sha1 ... )
//   )
//
// The reader is line-oriented. The header ends once name, version and
// author are known or at the first line that opens a block ("game (" or
// "resource (" as its first two tokens). Inside a block a line counts by its
// first token (name, cloneof, romof, rom, disk); a line that is ")" alone
// closes the block; everything else is ignored. A "resource" block is a
// BIOS set. A disk is the file "<name>.chd", known by its SHA-1, without CRC
// or size; a ROM or disk flagged "nodump" is left out. ROMs and each block's
// facts go through a ScratchRomset, which keeps a parent only where the
// parent holds the ROM.
#pragma once

#include "import/import_context.h"

namespace quorvane {

// False when the file shows neither a header value nor a block, so it is
// not in this syntax at all; true when it was dealt with (imported, refused
// with a message, or left alone after the replace question).
bool importParenthesisedDat(ImportContext& context);

}  // namespace quorvane
