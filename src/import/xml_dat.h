// The XML DAT syntax (Logiqx "datafile"; MAME's <machine> sets read alike):
//
//   <?xml version="1.0"?>
//   <datafile>
//   	<header>
//   		<name>System</name>
//   		<version>20050731</version>
//   		<author>Someone</author>
//   	</header>
//   	<game name="set" cloneof="parent" romof="bios">
//   		<description>ignored, as every element without a catalogue field</description>
//   		<rom name="a.bin" size="1024" crc="0123abcd" md5="..." sha1="..." status="nodump"/>
//   		<disk name="d" sha1="..."/>
//   	</game>
//   </datafile>
//
// The file is streamed through expat in blocks, never held whole. The header
// ends at </header>; the replace question comes then, before any row. ROMs go
// through a ScratchRomset exactly as the parenthesised reader's do, and reach
// the category database only when the whole file proved well-formed, so a
// broken file stores nothing and leaves an old system in place.
//
// External entities and external DTDs are never loaded.
#pragma once

#include "import/import_context.h"

namespace quorvane {

// False when the file does not start (after an optional UTF-8 byte-order
// mark and white space) with "<?xml" or "<datafile": it is not in this syntax;
// true when it was dealt with (imported, refused with a message, or left
// alone after the replace question).
bool importXmlDat(ImportContext& context);

}  // namespace quorvane
