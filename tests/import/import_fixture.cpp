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

V ImportFixture::facts(const std::string& system) {
    V out;
    for (const GameFacts& g : db->gameFacts(system)) {
        std::string line = g.game + " " + std::to_string(int(g.kind)) + " " + g.cloneOf + " " + g.romOf;
        out.push_back(line.erase(line.find_last_not_of(' ') + 1));
    }
    return out;
}

V digest(const std::vector<RomRow>& rows) {
    V out;
    std::string header;
    for (const RomRow& r : rows) {
        const std::string h = "[" + r.system + "|" + r.version + "|" + r.author + "]";
        if (h != header) out.push_back(header = h);
        std::string row = r.game + "/" + r.romName;
        for (const std::string* field : {&r.size, &r.crc, &r.md5, &r.sha1, &r.cloneOf, &r.romOf}) row += ":" + *field;
        out.push_back(row.erase(row.find_last_not_of(':') + 1));
        if (r.status != RomStatus::Missing) out.back() += std::string(" status ") + romStatusLetter(r.status);
    }
    return out;
}

V ImportFixture::said() const {
    V out;
    for (std::string e : host.events()) {
        if (e.rfind("message: ", 0) == 0) e.erase(0, 9);
        else if (e.rfind("askYesIgnore: ", 0) != 0 && e.rfind("info: ", 0) != 0) continue;
        for (size_t at; (at = e.find(dir.path())) != std::string::npos;) e.replace(at, dir.path().size(), "@");
        out.push_back(e);
    }
    if (host.failedSteps()) out.push_back("failedSteps: " + std::to_string(host.failedSteps()));
    return out;
}

bool ImportFixture::leftovers() const {
    for (const auto& entry : std::filesystem::directory_iterator(settings.databasesDir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kScratchDatabaseName, 0) == 0 || name == "DatUnpack") return true;
    }
    return false;
}

void runCase(const ImportCase& c) {
    SCOPED_TRACE(c.name);
    ImportFixture f;
    f.host.answers = c.answers;
    std::vector<std::string> batch;
    for (const auto& [name, content] : c.files) {
        if (name.empty()) {
            f.import(batch);
            batch.clear();
            continue;
        }
        const std::string path = f.dir.file(name.substr(name[0] == '~'));
        if (content != kAbsent) writeFile(path, content);
        if (name[0] != '~') batch.push_back(path);
    }
    if (!batch.empty()) f.import(batch);
    EXPECT_EQ(digest(f.rows()), c.rows);
    V said = f.said();
    for (size_t i = 0; i < std::min(said.size(), c.said.size()); ++i)
        if (c.said[i].back() == '*') said[i] = said[i].substr(0, c.said[i].size() - 1) + "*";
    EXPECT_EQ(said, c.said);
    // The files read are the user's: never changed, and nothing left beside the database.
    for (const auto& [name, content] : c.files)
        EXPECT_TRUE(name.empty() || content == kAbsent || readFile(f.dir.file(name.substr(name[0] == '~'))) == content)
            << name;
    EXPECT_FALSE(f.leftovers());
}

std::string realDatPath(const std::string& relative) {
    const std::string path = std::string(QUORVANE_SOURCE_DIR) + "/../shared/dats/" + relative;
    return std::filesystem::exists(path) ? path : std::string();
}

}  // namespace quorvane::testing
