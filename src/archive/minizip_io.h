// Opens minizip handles whose file access runs through a FileOps, with one
// large buffer per open archive: minizip reads headers a few bytes at a
// time, and a 64 KiB read usually holds a small archive whole.
#pragma once

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <cstdint>
#include <string>

#include "archive/file_ops.h"

namespace quorvane {

// A read handle on an existing archive, or null. With `descriptor`, the
// archive's open descriptor too, for reads beside minizip's (valid until
// the handle is closed).
unzFile openUnzip(const std::string& path, FileOps& ops, int* descriptor = nullptr);
// A read handle on an archive's bytes already in memory, or null. The
// bytes must outlive the handle. minizip sees exactly what it would read
// from the file, so every status matches the file-backed handle's.
unzFile openUnzipInMemory(const unsigned char* data, uint64_t size);

enum class ZipOpenMode {
    Append,     // add to an existing archive; never creates or truncates one
    CreateNew,  // make a new archive; fails if the path exists
};
// A write handle, or null. With `syncOnClose`, zipClose also flushes the
// file to the disk and reports a failed sync as a failed close.
zipFile openZip(const std::string& path, ZipOpenMode mode, FileOps& ops, bool syncOnClose);

}  // namespace quorvane
