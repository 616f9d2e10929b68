// Loose files deflated away from the job's own thread, so a rebuild can
// deflate several source files at once and still add them to its archives
// one after another in source order.
//
// How to use:
//   PreparedEntry p;                        // on a worker
//   if (prepareLooseFile(path, p)) ...      // read and deflated once
//   if (p.matches(listed)) update.addDeflated(romName, p.data);  // later, on the job's thread
#pragma once

#include <cstdint>
#include <string>

#include "archive/zip_update.h"
#include "core/records.h"

namespace quorvane {

// Files above this size are left to the job's thread: a few of them read
// ahead at once would hold too much memory.
inline constexpr uint64_t kPrepareSizeLimit = 4 * 1024 * 1024;

struct PreparedEntry {
    bool ready = false;
    DeflatedData data;

    // Whether this is the data of `file` as the job listed it.
    bool matches(const File& file) const;
};

// Reads the loose file at `path` and deflates it into `out`. False (and
// `out` not ready) when it cannot be read or is above kPrepareSizeLimit.
bool prepareLooseFile(const std::string& path, PreparedEntry& out);

}  // namespace quorvane
