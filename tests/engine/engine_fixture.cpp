#include "engine/engine_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "archive/file_ops.h"
#include "archive/packed_archive.h"
#include "core/file_util.h"
#include "engine/folder_listing.h"
#include "engine/scan_job.h"

namespace quorvane::testing {

namespace {
std::string hex(const std::string& s) {
    std::string out;
    char digits[3];
    for (const unsigned char c : s) out += (std::snprintf(digits, sizeof digits, "%02x", c), digits);
    return out;
}
}  // namespace

void makeZips(const std::vector<std::pair<std::string, Entries>>& zips) {
    TempDir scratch;
    std::string layout;
    for (const auto& [path, entries] : zips) {
        layout += "Z\t" + hex(path) + "\n";
        for (const auto& [name, content] : entries) layout += "E\t" + hex(name) + "\t" + hex(content) + "\n";
    }
    writeFile(scratch.file("layout.txt"), layout);
    ASSERT_EQ(runShell("python3 " QUORVANE_SOURCE_DIR "/tests/engine/zips.py make " + scratch.file("layout.txt")), 0);
}

std::string zipContents(const std::string& path) {
    std::string out;
    EXPECT_EQ(runCapture("python3 " QUORVANE_SOURCE_DIR "/tests/engine/zips.py contents '" + path + "'", out), 0);
    return out;
}

bool writeNewSynced(const std::string& path, const std::string& bytes) {
    FileOps& ops = fileOps();
    const int fd = ops.createNew(path);
    if (fd < 0) return false;
    const bool ok = writeAllAt(ops, fd, bytes.data(), bytes.size(), 0) && ops.sync(fd) == 0;
    return ops.close(fd) == 0 && ok;
}

EngineTest::EngineTest() {
    settings.basedir = dir.file("roms");
    settings.categoryDir = "$BASEDIR$";
    settings.backupDir = dir.file("Backup/");
    db = std::make_shared<Catalogue>(dir.file("db"));
}

void EngineTest::addRom(const std::string& system, const std::string& game, const std::string& rom,
                        const std::string& content, const std::string& size) {
    const std::string romSize = size.empty() ? std::to_string(content.size()) : size;
    ASSERT_TRUE(db->addRom({.system = system, .game = game, .crc = crcOf(content), .romName = rom, .size = romSize,
                            .version = "1", .author = "t"}))
        << db->lastError();
}

void EngineTest::addRoms(const std::vector<std::string>& roms) {
    for (const std::string& path : roms) {
        const size_t game = path.find('/'), rom = path.rfind('/');
        const std::string name = path.substr(rom + 1);
        addRom(path.substr(0, game), path.substr(game + 1, rom - game - 1), name,
               "content " + name.substr(0, name.rfind('.')));
    }
}

std::string EngineTest::statuses(const std::string& games) {
    std::string out, game;
    std::istringstream in(games);
    while (in >> game) {
        const size_t slash = game.find('/');
        const std::string status = slash == std::string::npos ? statusOf("Sys", game)
                                                              : statusOf(game.substr(0, slash), game.substr(slash + 1));
        out += (out.empty() ? "" : " ") + status;
    }
    return out;
}

std::vector<std::string> EngineTest::folderState(const std::string& folder) const {
    std::vector<std::string> out;
    for (const std::string& name : listPlainFiles(folder)) {
        const std::string path = folder + "/" + name;
        // An archive Python cannot read shows its bytes.
        const std::string entries = packedFormatOf(name) != PackedFormat::None ? packedContents(path)
                                    : name.ends_with(".zip")                   ? zipContents(path)
                                                                               : "BAD";
        out.push_back(name + ": " + (entries == "BAD" ? readFile(path) : entries));
    }
    return out;
}

void makePacked(const std::string& path, const Entries& entries) {
    const std::string staging = path + ".files";
    std::string names;
    for (const auto& [name, content] : entries) {
        makeFolders(dirName(staging + "/" + name));
        writeFile(staging + "/" + name, content);
        names += " '" + name + "'";
    }
    makeFolders(dirName(path));
    const std::string command = "cd '" + staging + "' && 7zz a -bso0 -bsp0 '" + path + "'" + names;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::filesystem::remove_all(staging);
}

std::string packedContents(const std::string& path) {
    const PackedListing list = listPacked(path, false, false);
    if (list.status != ZipStatus::Ok) return "BAD";
    std::string out;
    for (const PackedEntry& e : list.entries) {
        std::string content;
        readPackedEntry(path, {e.name, e.crc32, e.size}, [&](const void* data, size_t n) {
            content.append(static_cast<const char*>(data), n);
            return true;
        });
        out += (out.empty() ? "" : " ") + e.name + "=" + content;
    }
    return out;
}

std::string EngineTest::statusOf(const std::string& system, const std::string& game) {
    for (const Game& g : db->getRomset(system, 0).games)
        if (g.name == game) return g.statusString;
    return "?";
}

bool EngineTest::run(std::unique_ptr<WorkerJob> job) {
    if (!job->prepare()) return false;
    result = job->execute();
    return true;
}

std::vector<std::string> EngineTest::transcriptOf(const RecordingHost& recorded) {
    static const std::regex stamp(R"(^\d\d\d\d-\d\d-\d\d \d\d:\d\d:\d\d - )");
    std::vector<std::string> out;
    for (const std::string& e : recorded.events()) {
        if (e.rfind("message: ", 0) == 0) out.push_back(std::regex_replace(e.substr(9), stamp, "<time> - "));
        else if (e.rfind("file: ", 0) == 0) out.push_back("[" + e.substr(6) + "]");
        else if (e.rfind("finding: ", 0) == 0) out.push_back("  " + e.substr(9));
    }
    return out;
}

bool EngineTest::hasLine(const std::string& line) const {
    const std::vector<std::string> lines = transcript();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> EngineTest::scanAgain(std::string& counts, AnalysisOptions options) {
    RecordingHost fresh;
    ScanJob job(db, fresh, settings, "Sys", options);
    EXPECT_TRUE(job.prepare());
    job.execute();
    const StatusCounts& c = fresh.report()->systems.back().status;
    counts = std::to_string(c.gamesComplete) + '/' + std::to_string(c.gamesIncomplete) + '/' +
             std::to_string(c.gamesMissing) + ' ' + std::to_string(c.romsHave) + '/' + std::to_string(c.romsElsewhere) +
             '/' + std::to_string(c.romsMissing);
    return transcriptOf(fresh);
}

void EngineTest::forgeScanRecord(const std::string& name, const std::string& stamp,
                                 const std::function<void(const ScanCache&, ScanCache::Record&)>& change) {
    ScanCache cache = ScanCache::read(scanCachePath(), f(), {}, stamp);
    const ScanCache::Record* found = cache.find(name);
    ASSERT_NE(found, nullptr) << name;
    ScanCache::Record record = *found;
    change(cache, record);
    if (::testing::Test::HasFatalFailure()) return;
    cache.put(name, record);
    ASSERT_TRUE(cache.write(scanCachePath(), f(), {}, stamp));
}

std::vector<std::string> EngineTest::backupContents() const {
    std::vector<std::string> files, out;
    const std::string top = dir.file("Backup/");
    collectFilesRecursive(top, files);
    for (const std::string& f : files) {
        // Below the run folder ("<date - time>/"), whose name varies.
        const size_t run = f.find('/', top.size());
        out.push_back(f.substr(run == std::string::npos ? top.size() : run + 1) + "=" + readFile(f));
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace quorvane::testing
