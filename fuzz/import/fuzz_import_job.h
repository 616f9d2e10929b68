// What the DAT reader fuzz targets share: a host that shows nothing and
// answers Yes, and one import job run on a file of fuzzed bytes in a folder
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

#include "core/job_host.h"
#include "core/settings.h"
#include "db/roms_db_impl.h"
#include "import/import_romset_thread.h"

namespace quorvane::fuzz {

class QuietHost : public JobHost {
public:
    void addMessage(const std::string&) override {}
    void addFileNode(const std::string&) override {}
    void addFileFinding(const std::string&) override {}
    void clearFileTree() override {}
    void showInformation(const std::string&) override {}
    bool askYesIgnore(const std::string&) override { return true; }
    bool askYesAbort(const std::string&) override { return true; }
    DupesAnswer askDuplicates(const std::string&, const std::string&, const std::vector<GenericRom>&) override {
        return {};
    }
    void refreshSystems() override {}
    void clearGamesList() override {}
    void showSystemGames(const std::string&) override {}

protected:
    void onStartProgress(const std::string&, int) override {}
    void onUpdateProgress(const std::string&, int) override {}
    void onSetProgressMax(int) override {}
    void onCloseProgress() override {}
};

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
    auto db = std::make_shared<RomsDBImpl>(settings.currentDatabasePath());
    QuietHost host;
    ImportRomsetThread job(host, db, settings, {path});
    if (job.prepare()) job.execute();
    db->deleteDB();
}

}  // namespace quorvane::fuzz
