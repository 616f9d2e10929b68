// Copying entries between archives without inflating or deflating them.
#pragma once

#include <functional>

#include "archive/zip_entry_io.h"
#include "archive/zip_file_writer.h"
#include "archive/zip_status.h"

namespace quorvane {

// Writes the stored bytes of `source`'s current entry `entry` into `target`
// as the entry `record` describes (its CRC and sizes `entry`'s). Ok; the
// read's status when reading failed (`readFailed` is then set); Error when
// writing did, NewEntryRefused when `target` refused the entry.
ZipStatus copyStoredBytes(const ZipSource& source, const ZipEntry& entry, const ZipRecord& record,
                          ZipFileWriter& target, bool& readFailed);

// Whether an entry is left out of a copy; asked once per entry, in order.
using EntrySkip = std::function<bool(const ZipEntry& entry)>;

// Copies every entry of `source` that `skip` does not leave out into
// `target`, keeping each entry's compressed bytes, method, CRC, sizes, DOS
// date, attributes and name-encoding flag. `kept` receives the number of
// entries copied. Ok, or the first failing status (NewEntryRefused when
// `target` refuses an entry).
ZipStatus copyEntriesRaw(const ZipSource& source, ZipFileWriter& target, const EntrySkip& skip, int& kept);

}  // namespace quorvane
