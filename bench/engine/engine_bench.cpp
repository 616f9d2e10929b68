// Scan, fix and rebuild of a generated collection, timed against the tools a
// person would otherwise use, all in one run so that the ratios compare like
// with like on a shared machine:
//   scan    quorvane scan --all   vs  unzip -tqq over the same archives, one process
//   rebuild quorvane rebuild      vs  zip -6 making the same archives, two processes at once
//           (rebuild_bench times this one alone, interleaved, median of five)
//   fix     quorvane fix --all on the damaged collection  vs  its scan
// Every input is read once before each timing, so all run from the page cache.
//
//   engine_bench [--games N] [--keep] [--program PATH]
// N defaults to 10000. --keep leaves the temporary folder for a look.
// --program times another build of quorvane (an older one, say).
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_shell.h"

using namespace bench;

namespace {

// Runs `command` and stops the benchmark when it fails: a ratio of a run
// that did not do its work would mean nothing.
double timed(const std::string& label, const std::string& command, bool mayFail = false) {
    const auto start = std::chrono::steady_clock::now();
    const int status = shell(command);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-44s %8.2f s\n", label.c_str(), seconds);
    std::fflush(stdout);
    if (status != 0 && !mayFail) {
        std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
        std::exit(1);
    }
    return seconds;
}

size_t countLines(const fs::path& file, const std::string& prefix) {
    std::ifstream in(file);
    size_t n = 0;
    for (std::string line; std::getline(in, line);) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

size_t countFiles(const fs::path& folder) {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder)) n += e.is_regular_file() ? 1 : 0;
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    int games = 10000;
    bool keep = false;
    std::string program = QUORVANE_PROGRAM;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--games" && i + 1 < argc) games = std::atoi(argv[++i]);
        else if (arg == "--keep") keep = true;
        else if (arg == "--program" && i + 1 < argc) program = argv[++i];
        else {
            std::fprintf(stderr, "usage: engine_bench [--games N] [--keep] [--program PATH]\n");
            return 2;
        }
    }
    const fs::path dir = makeTempFolder("engine-bench");
    const std::string qv = quote(program);
    std::printf("engine_bench: %d games in %s, program %s\n", games, dir.c_str(), program.c_str());
    std::fflush(stdout);

    must("python3 " + quote(ENGINE_COLLECTION_GENERATOR) + " " + quote(dir.string()) + " --games " +
         std::to_string(games));
    // The undamaged copy, seen by its own settings as the system folder, so
    // that the scan reads exactly the archives unzip reads.
    fs::create_directories(dir / "clean-base");
    fs::create_directory_symlink(dir / "clean", dir / "clean-base" / "Bench");
    writeSettings(dir / "home-clean", dir / "clean-base", dir / "source");
    writeSettings(dir / "home-rebuild", dir / "rebuilt", dir / "source");
    fs::create_directories(dir / "rebuilt");
    fs::create_directories(dir / "zipped");
    const std::string dat = quote((dir / "bench.dat").string());
    for (const char* home : {"home", "home-clean", "home-rebuild"})
        must(qv + " --home " + quote((dir / home).string()) + " import " + dat + " > /dev/null 2>&1");
    auto job = [&](const char* home, const std::string& args, const char* log) {
        return qv + " --home " + quote((dir / home).string()) + " " + args + " > " + quote((dir / log).string()) +
               " 2>&1";
    };

    // zip's work list: archive and its three files, NUL-separated, four per call.
    {
        std::ofstream list(dir / "zip-list", std::ios::binary);
        for (int i = 0; i < games; ++i) {
            char game[32], stem[16];
            std::snprintf(game, sizeof game, "Game %05d.zip", i);
            std::snprintf(stem, sizeof stem, "%05d", i);
            list << (dir / "zipped" / game).string() << '\0';
            for (int j = 0; j < 3; ++j) list << (dir / "source" / (std::string(stem) + "-rom" + std::to_string(j) + ".bin")).string() << '\0';
        }
    }

    std::printf("\n");
    warm({dir / "clean"});
    const double unzipTest = timed("unzip -tqq, one process", "unzip -tqq " + quote((dir / "clean" / "*.zip").string()));
    warm({dir / "clean"});
    const double scanClean = timed("quorvane scan --all (same archives)", job("home-clean", "scan --all", "scan-clean.log"));
    warm({dir / "roms"});
    const double scanDamaged = timed("quorvane scan --all (damaged collection)", job("home", "scan --all", "scan.log"));
    warm({dir / "roms"});
    const double fix = timed("quorvane fix --all (damaged collection)", job("home", "fix --all", "fix.log"));
    warm({dir / "source"});
    const double zip = timed("zip -6, two processes at once",
                             "xargs -0 -P 2 -n 4 zip -q -6 -j < " + quote((dir / "zip-list").string()));
    warm({dir / "source"});
    const double rebuild =
        timed("quorvane rebuild (source folder)", job("home-rebuild", "rebuild --dupes all", "rebuild.log"));

    // What the jobs did, so that a fast run that skipped its work shows.
    std::printf("\nscan of the clean copy: %zu zip errors; damaged scan: %zu zip errors; fix: %zu zip errors\n",
                countLines(dir / "scan-clean.log", "Error in zip"), countLines(dir / "scan.log", "Error in zip"),
                countLines(dir / "fix.log", "Error in zip"));
    const size_t rebuilt = countFiles(dir / "rebuilt" / "Bench"), zipped = countFiles(dir / "zipped");
    std::printf("archives made: rebuild %zu, zip %zu (of %d)\n", rebuilt, zipped, games);
    if (rebuilt != static_cast<size_t>(games) || zipped != static_cast<size_t>(games)) {
        std::fprintf(stderr, "a job did not make every archive (logs in %s)\n", dir.c_str());
        return 1;
    }

    std::printf("\nscan / unzip -tqq          %.3f  (target at most 0.35)\n", scanClean / unzipTest);
    std::printf("rebuild / zip -6 (2 procs) %.3f  (target at most 0.2)\n", rebuild / zip);
    std::printf("fix / scan (damaged)       %.3f\n", fix / scanDamaged);
    std::printf("damaged scan / unzip -tqq  %.3f\n", scanDamaged / unzipTest);
    if (keep) std::printf("kept %s\n", dir.c_str());
    else fs::remove_all(dir);
    return 0;
}
