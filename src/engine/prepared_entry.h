// Loose source files read once on a loader's worker: the one read gives the
// file's listing (size, CRC and the digests asked for) and, when the job
// wants the file, its deflated copy, so a rebuild can deflate several source
// files at once and still add them to its archives one after another in
// source order.
//
// How to use (on a worker):
//   LooseSource loose;
//   if (readLooseSource(path, stamp, options, collection, status, loose)) {
//       if (wanted) prepareFrom(loose, prepared);   // deflated from the same bytes
//   } else {
//       status = loadCollection(collection, options);  // too large, or changed while read
//   }
//   ...
//   if (prepared.matches(listed)) update.addDeflated(romName, prepared.data);  // on the job's thread
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "archive/zip_update.h"
#include "core/records.h"
#include "engine/file_collection_ops.h"
#include "engine/ordered_loader.h"

namespace quorvane {

// Files above this size are streamed instead: a few of them held at once by
// the workers would take too much memory.
inline constexpr uint64_t kPrepareSizeLimit = 4 * 1024 * 1024;

struct PreparedEntry {
    bool ready = false;
    DeflatedData data;

    // Whether this is the data of `file` as the job listed it.
    bool matches(const File& file) const;
};

// The bytes of a loose file as read once.
struct LooseSource {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
    uint32_t crc32 = 0;
    time_t modified = 0;
};

// Loads the loose file `collection.path` as loadCollection does, from one
// read, keeping its bytes in `out`. `stamp` is the file's stamp taken just
// before: its size and time are the file's, checked by the read. False,
// with nothing decided, when the file is above kPrepareSizeLimit, was not
// there at the stamp or does not read as stamped; the caller then loads it
// with loadCollection.
bool readLooseSource(ContainerFiles& collection, const FileStamp& stamp, const LoadOptions& options,
                     ZipStatus& status, LooseSource& out);

// Deflates what `source` holds into `out`; false when memory runs out.
bool prepareFrom(const LooseSource& source, PreparedEntry& out);

}  // namespace quorvane
