// The XML DAT syntaxes: Logiqx "datafile" (MAME's <machine> sets read alike),
// MAME's own list output and MAME software lists.
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
//   <mame build="0.262 (mame0262)">             one system "MAME", version = build
//   	<machine name="set" cloneof="p" romof="bios" isbios="no">
//   		<rom name="a.bin" size="1024" crc="..." merge="a.bin" bios="b1"/>
//   		<disk name="hd" sha1="..." merge="hd" status="good"/>
//   		<device_ref name="dev"/>
//   	</machine>
//   	<machine name="dev" isdevice="yes">...</machine>
//   </mame>
//
//   <softwarelist name="nes" description="...">  one system named by the list
//   	<software name="smb" cloneof="...">        one game
//   		<part name="cart"><dataarea name="prg" size="0x8000">
//   			<rom name="prg.bin" size="0x8000" crc="..." sha1="..." offset="0"/>
//   			<rom size="0x4000" offset="0x4000" loadflag="continue"/>   (no file: skipped)
//   		</dataarea><diskarea><disk name="d" sha1="..."/></diskarea></part>
//   	</software>
//   </softwarelist>
//
// isbios="yes" makes a BIOS set, isdevice="yes" a device set; a set's kind,
// cloneof and romof are stored as its facts, and a <device_ref> brings the
// named machine's ROMs into the set (scratch_romset.h). A <disk> is the file
// "<name>.chd", known by its SHA-1 (and MD5), without CRC or size; a disk or
// ROM whose status is "nodump" is left out. Every other attribute (merge,
// bios) and element (biosset, sample) is ignored.
//
// A <softwarelists> root holds several lists; each is a system of its own and
// is stored when its list has ended. Sizes may be written in hexadecimal
// ("0x1000"). A file may start with a UTF-8 or UTF-16 byte-order mark, white
// space, a declaration, a DOCTYPE or a comment.
//
// The file is streamed through expat in blocks, never held whole. The header
// ends at </header> (a list or MAME file has none: the question comes with
// the first set); the replace question comes then, before any row. ROMs go
// through a ScratchRomset exactly as the parenthesised reader's do, and reach
// the category database only when the whole file proved well-formed (in a
// <softwarelists> file: the whole list), so a broken file stores nothing and
// leaves an old system in place.
//
// External entities and external DTDs are never loaded.
#pragma once

#include "import/import_context.h"

namespace quorvane {

// False when the file does not start (after an optional byte-order mark and
// white space) with "<?xml", "<!" or one of the root elements above: it is
// not in this syntax;
// true when it was dealt with (imported, refused with a message, or left
// alone after the replace question).
bool importXmlDat(ImportContext& context);

}  // namespace quorvane
