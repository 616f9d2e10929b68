// Copying entries between archives without inflating or deflating them.
#pragma once

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <functional>

#include "archive/zip_entry_io.h"
#include "archive/zip_status.h"

namespace quorvane {

// Whether an entry is left out of a copy; asked once per entry, in order.
using EntrySkip = std::function<bool(const ZipEntry& entry)>;

// Copies every entry of `source` that `skip` does not leave out into
// `target`, keeping each entry's compressed bytes, method, CRC, sizes, DOS
// date, attributes and name-encoding flag. `kept` receives the number of
// entries copied. Ok, or the first failing status (NewEntryRefused when
// `target` refuses an entry).
ZipStatus copyEntriesRaw(const ZipSource& source, zipFile target, const EntrySkip& skip, int& kept);

}  // namespace quorvane
