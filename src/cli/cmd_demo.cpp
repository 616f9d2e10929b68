// quorvane demo: builds a small collection with one example of every kind of
// finding in a fresh program folder, then imports, scans, fixes, scans again
// and rebuilds it, showing what each step found and did.
#include <CLI/CLI.hpp>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/zip_listing.h"
#include "archive/zip_writer.h"
#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "cli/report_output.h"
#include "core/file_util.h"
#include "core/program_folders.h"
#include "engine/folder_listing.h"
#include "jobs/catalogue_jobs.h"

namespace quorvane {

namespace {

constexpr const char* kSystem = "Demo Console";

struct DemoRom {
    const char* game;
    const char* name;
    std::string data;
};

// Deterministic contents that look a little like ROM images.
std::string romData(const std::string& seed, size_t size) {
    std::string out;
    uint32_t x = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(seed.data()), static_cast<uInt>(seed.size())));
    while (out.size() < size) {
        x = x * 1103515245u + 12345u;
        out += static_cast<char>((x >> 16) & 0x3F);
    }
    return out;
}

std::string crcText(const std::string& data) {
    char text[9];
    std::snprintf(text, sizeof text, "%08lx",
                  crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    return text;
}

bool writeBytes(const std::string& path, const std::string& data) {
    makeFolders(dirName(path));
    return writeFileAtomically(path, data);
}

// Builds `archive` from (entry name, data) pairs through a scratch folder.
bool makeArchive(const std::string& scratch, const std::string& archive,
                 const std::vector<std::pair<std::string, std::string>>& entries) {
    makeFolders(dirName(archive));
    for (const auto& [name, data] : entries) {
        const std::string loose = joinPath(scratch, "entry.bin");
        if (!writeBytes(loose, data)) return false;
        ZipWriter zip(archive);
        if (zip.open() != ZipStatus::Ok || zip.addFile(loose, name) != ZipStatus::Ok || zip.close() != ZipStatus::Ok)
            return false;
        std::remove(loose.c_str());
    }
    return true;
}

void heading(const std::string& text) { std::printf("\n=== %s ===\n\n", text.c_str()); }

void showFolder(const std::string& folder, const char* title) {
    std::printf("%s (%s):\n", title, folder.c_str());
    std::vector<std::string> files;
    collectFilesRecursive(folder, files);
    if (files.empty()) std::printf("    (empty)\n");
    for (const std::string& path : files) {
        std::string line = "    " + path.substr(folder.size() + 1);
        ZipListing info(path);
        if (info.count() > 0) {
            line += ":";
            for (const ZipEntry& e : info.entries()) line += " " + e.name;
        }
        std::printf("%s\n", line.c_str());
    }
}

void showGames(CatalogueJobs& db) {
    std::printf("Games of %s in the catalogue:\n", kSystem);
    for (const Game& g : db.catalogue().getRomset(kSystem, 0).games) {
        const char* state = g.state() == GameState::Complete  ? "complete"
                            : g.state() == GameState::Missing ? "missing"
                                                              : "incomplete";
        std::printf("    %-8s %-10s (ROM statuses %s)\n", g.name.c_str(), state, g.statusString.c_str());
    }
}

int runDemo(const CliContext& ctx) {
    std::string home = ctx.home;
    if (home.empty()) {
        char pattern[] = "/tmp/quorvane-demo-XXXXXX";
        if (!::mkdtemp(pattern)) {
            std::perror("Cannot make a folder for the demo");
            return kExitFailed;
        }
        home = pattern;
    }
    const std::string roms = joinPath(home, "roms");
    const std::string source = joinPath(home, "source");
    const std::string scratch = joinPath(home, "scratch");
    const std::string systemFolder = joinPath(roms, kSystem);
    makeFolders(systemFolder);
    makeFolders(scratch);

    Settings settings = loadSettings(programFoldersIn(home));
    settings.basedir = roms;
    settings.sourcedir = source;
    for (const Category& c : kCategories) settings.folderOf(c) = "$BASEDIR$";
    settings.categoryDir = chooseCategoryDir(settings);
    if (!ensureDatabasesFolder(settings) || !saveGlobalSettings(settings)) {
        std::fprintf(stderr, "Cannot write the demo's settings in %s\n", home.c_str());
        return kExitFailed;
    }

    const std::vector<DemoRom> dat{
        {"Alpha", "alpha.bin", romData("alpha", 3000)},     {"Alpha", "alpha-gfx.bin", romData("alpha-gfx", 2000)},
        {"Bravo", "bravo.bin", romData("bravo", 2500)},     {"Charlie", "charlie.bin", romData("charlie", 1800)},
        {"Delta", "delta.bin", romData("delta", 2200)},     {"Echo", "echo.bin", romData("echo", 1500)},
        {"Foxtrot", "foxtrot.bin", romData("foxtrot", 1700)},
    };
    std::string text = "clrmamepro (\n\tname \"" + std::string(kSystem) + "\"\n\tversion \"1\"\n\tauthor \"Quorvane demo\"\n)\n";
    for (size_t i = 0; i < dat.size(); ++i) {
        if (i == 0 || std::string(dat[i].game) != dat[i - 1].game) text += std::string(i ? ")\n" : "") + "\ngame (\n\tname " + dat[i].game + "\n";
        text += "\trom ( name " + std::string(dat[i].name) + " size " + std::to_string(dat[i].data.size()) + " crc " +
                crcText(dat[i].data) + " )\n";
    }
    text += ")\n";
    const std::string datPath = joinPath(home, "demo.dat");
    auto rom = [&](const char* name) { for (const DemoRom& r : dat) if (std::string(r.name) == name) return r.data; return std::string(); };
    const bool made =
        writeBytes(datPath, text) &&
        // Right archive, right names: nothing to report.
        makeArchive(scratch, systemFolder + "/Alpha.zip", {{"alpha.bin", rom("alpha.bin")}, {"alpha-gfx.bin", rom("alpha-gfx.bin")}}) &&
        // Archive name wrong only in letter case.
        makeArchive(scratch, systemFolder + "/bravo.zip", {{"bravo.bin", rom("bravo.bin")}}) &&
        // A wrongly named entry, and Charlie's ROM in Delta's archive.
        makeArchive(scratch, systemFolder + "/Delta.zip", {{"delta (old dump).bin", rom("delta.bin")}, {"charlie.bin", rom("charlie.bin")}}) &&
        writeBytes(systemFolder + "/readme.txt", "Notes that do not belong in a ROM folder.\n") &&
        writeBytes(systemFolder + "/Golf.zip", std::string("PK\x03\x04", 4) + "this archive was cut short") &&
        // Sources for the rebuild: a loose file and an archive in a sub-folder.
        writeBytes(source + "/echo (dump).bin", rom("echo.bin")) &&
        makeArchive(scratch, source + "/more/foxtrot-pack.zip", {{"foxtrot.bin", rom("foxtrot.bin")}, {"unrelated.txt", "x"}});
    if (!made) {
        std::fprintf(stderr, "Cannot write the demo collection in %s\n", home.c_str());
        return kExitFailed;
    }

    std::printf("Quorvane demo: a small collection in %s\n", home.c_str());
    std::printf("One system, \"%s\", with seven games. Its folder holds one example of each kind of finding:\n"
                "a correct archive (Alpha), an archive named in the wrong letter case (bravo.zip), a wrongly\n"
                "named entry and another game's ROM (Delta.zip), a file that is no ROM (readme.txt) and a\n"
                "damaged archive (Golf.zip). Echo and Foxtrot are only in the source folder.\n\n",
                kSystem);
    showFolder(systemFolder, "System folder");
    showFolder(source, "Source folder");

    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    ConsoleHost host;
    host.setQuestionPolicy(QuestionPolicy::Yes);
    host.setDupesPolicy(DupesPolicy::All);
    std::shared_ptr<const JobReport> summarised;
    auto step = [&](bool started) {
        if (!started) return false;
        db->wait();
        // Scan, fix and rebuild end with their summary, as on their own.
        if (host.report() != summarised) {
            summarised = host.report();
            printSummary(summarised.get());
        }
        return true;
    };

    heading("1. Import the DAT file");
    if (!step(db->startImport(host, settings, {datPath}))) return kExitFailed;
    showGames(*db);

    heading("2. Scan: report, change nothing");
    if (!step(db->startScan(host, settings, kSystem))) return kExitFailed;
    std::printf("\n");
    showGames(*db);

    heading("3. Fix: repair the folder; unwanted files go to the backup folder");
    if (!step(db->startFix(host, settings, kSystem))) return kExitFailed;
    std::printf("\n");
    showFolder(systemFolder, "System folder");
    showFolder(settings.backupDir.substr(0, settings.backupDir.size() - 1), "Backup folder");

    heading("4. Scan again: only what is still missing remains");
    if (!step(db->startScan(host, settings, kSystem))) return kExitFailed;
    std::printf("\n");
    showGames(*db);

    heading("5. Rebuild from the source folder");
    if (!step(db->startRebuild(host, settings, source))) return kExitFailed;
    std::printf("\n");
    showFolder(systemFolder, "System folder");
    showFolder(source, "Source folder (unchanged)");
    std::printf("\n");
    showGames(*db);

    std::printf("\nThe demo's files stay in %s. Try, for instance:\n    quorvane --home %s scan --all\n", home.c_str(),
                home.c_str());
    return kExitOk;
}

}  // namespace

void addDemoCommand(CLI::App& app, CliContext& ctx) {
    CLI::App* cmd = app.add_subcommand("demo", "Build a small demo collection and import, scan, fix and rebuild it");
    cmd->callback([&ctx] { ctx.action = [&ctx] { return runDemo(ctx); }; });
}

}  // namespace quorvane
