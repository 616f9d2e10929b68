// Opens minizip read handles whose file access runs through a FileOps, with one
// large buffer per open archive: minizip reads headers a few bytes at a
// time, and a 64 KiB read usually holds a small archive whole.
#pragma once

#include <minizip/unzip.h>

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

}  // namespace quorvane
