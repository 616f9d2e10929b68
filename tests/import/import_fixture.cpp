#include "import_fixture.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "import/import_job.h"

namespace quorvane::testing {

ImportFixture::ImportFixture() {
    settings.databasesDir = dir.path() + "/databases/";
    EXPECT_TRUE(ensureDatabasesFolder(settings));
    db = std::make_shared<Catalogue>(settings.currentDatabasePath());
}

std::string ImportFixture::dat(const std::string& name, const std::string& content) {
    const std::string path = dir.file(name);
    writeFile(path, content);
    return path;
}

JobResult ImportFixture::import(const std::vector<std::string>& files) {
    ImportJob job(host, db, settings, files);
    EXPECT_TRUE(job.prepare());
    return job.execute();
}

std::vector<RomRow> ImportFixture::rows() {
    std::vector<RomRow> out;
    db->forEachRow([&](const RomRow& r) { out.push_back(r); });
    return out;
}

std::vector<RomRow> ImportFixture::rowsOf(const std::string& game) {
    std::vector<RomRow> out;
    for (RomRow& r : rows())
        if (r.game == game) out.push_back(std::move(r));
    return out;
}

bool ImportFixture::scratchFilesLeft() const {
    for (const auto& entry : std::filesystem::directory_iterator(settings.databasesDir))
        if (entry.path().filename().string().rfind(kScratchDatabaseName, 0) == 0) return true;
    return false;
}

std::string realDatPath(const std::string& relative) {
    const std::string path = std::string(QUORVANE_SOURCE_DIR) + "/../shared/dats/" + relative;
    return std::filesystem::exists(path) ? path : std::string();
}

}  // namespace quorvane::testing
