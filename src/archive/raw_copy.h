// Copying entries between archives without inflating or deflating them.
#pragma once

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <string_view>

#include "archive/zip_entry_io.h"

namespace quorvane {

// Copies every entry of `source` except those named exactly `skipName` into
// `target`, keeping each entry's compressed bytes, method, CRC, sizes, DOS
// date, attributes and name-encoding flag. `kept` receives the number of
// entries copied. 0, or the first failing status (kZipNewEntryRefused when
// `target` refuses an entry).
int copyEntriesRaw(const ZipSource& source, zipFile target, std::string_view skipName, int& kept);

}  // namespace quorvane
