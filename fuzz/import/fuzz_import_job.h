// What the DAT reader fuzz targets share: one import job, with a host that
// shows nothing and answers Yes, run on a file of fuzzed bytes in a folder
// of the process's own.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/settings.h"
#include "core/silent_host.h"
#include "import/import_job.h"

namespace quorvane::fuzz {

inline const std::string& workDir() {
    static const std::string dir = [] {
        const std::string d = "/tmp/quorvane-dat-fuzz-" + std::to_string(::getpid());
        std::filesystem::create_directories(d + "/databases");
        return d;
    }();
    return dir;
}

// Writes `prefix` and `bytes` to a file and imports it into an empty database.
inline void importBytes(std::string_view prefix, std::string_view bytes) {
    const std::string path = workDir() + "/input.dat";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(prefix.data(), 1, prefix.size(), f);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    Settings settings;
    settings.databasesDir = workDir() + "/databases/";
    auto db = std::make_shared<Catalogue>(settings.currentDatabasePath());
    SilentHost host;
    ImportJob job(host, db, settings, {path});
    if (job.prepare()) job.execute();
    db->deleteDB();
}

}  // namespace quorvane::fuzz
