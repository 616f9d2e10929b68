// Rebuild of loose ROMs into new zip sets, timed against Info-ZIP `zip -6`
// making the same archives from the same files on two processes at once,
// runs interleaved (zip, rebuild[, other build's rebuild], zip, ...) so that
// every ratio compares runs made under the same load on a shared machine.
// Every run writes into folders of its own and nothing is deleted until the
// end: a file system without a journal passes over inodes freed in the last
// minutes when it makes a file, so a run made just after the last one's
// archives were deleted pays for thousands of such inodes per file it makes,
// whichever program it times. The two builds also swap places from one run
// to the next.
// Prints each run, the medians, their ratios and the load average.
//
//   rebuild_bench [--games N] [--runs R] [--program PATH] [--before PATH] [--keep]
// N defaults to 3000 (three ROMs each), R to 5. --before times a second
// build of quorvane (an older one, say) in the same run. --keep leaves the
// temporary folder for a look.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_shell.h"

using namespace bench;

namespace {

// A ratio of a run that did not do its work would mean nothing, so a failed
// command stops the benchmark.
double timed(const std::string& label, const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const int status = shell(command);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("  %-36s %8.3f s\n", label.c_str(), seconds);
    std::fflush(stdout);
    if (status != 0) {
        std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
        std::exit(1);
    }
    return seconds;
}

struct FolderSize {
    size_t files = 0;
    uintmax_t bytes = 0;
};

FolderSize sizeOf(const fs::path& folder) {
    FolderSize s;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        ++s.files;
        s.bytes += e.file_size();
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    int games = 3000, runs = 5;
    bool keep = false;
    std::string program = QUORVANE_PROGRAM, before;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--games" && i + 1 < argc) games = std::atoi(argv[++i]);
        else if (arg == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
        else if (arg == "--program" && i + 1 < argc) program = argv[++i];
        else if (arg == "--before" && i + 1 < argc) before = argv[++i];
        else if (arg == "--keep") keep = true;
        else {
            std::fprintf(stderr, "usage: rebuild_bench [--games N] [--runs R] [--program PATH] [--before PATH] [--keep]\n");
            return 2;
        }
    }
    const fs::path dir = makeTempFolder("rebuild-bench");
    std::printf("rebuild_bench: %d games (%d loose ROMs) in %s, %d runs\n  program %s\n", games, games * 3,
                dir.c_str(), runs, program.c_str());
    if (!before.empty()) std::printf("  before  %s\n", before.c_str());
    std::fflush(stdout);

    must("python3 " + quote(ENGINE_COLLECTION_GENERATOR) + " " + quote(dir.string()) + " --games " +
         std::to_string(games) + " > /dev/null");
    // A home whose catalogue has every ROM missing, copied afresh before each
    // rebuild: a rebuild marks what it adds.
    const fs::path pristine = dir / "home-pristine";
    fs::create_directories(pristine);
    const auto writeSettings = [&](const fs::path& home, const fs::path& rebuilt) {
        std::ofstream ini(home / "quorvane.INI", std::ios::trunc);
        ini << "[Quorvane]\nbasedir=" << rebuilt.string() << "\nsourcedir=" << (dir / "source").string() << "\n";
        for (const char* key : {"tosecdir", "gooddir", "arcadedir", "arcadeunemudir", "miscdir", "customdir"})
            ini << key << "=$BASEDIR$\n";
    };
    writeSettings(pristine, dir / "rebuilt");
    must(quote(program) + " --home " + quote(pristine.string()) + " import " + quote((dir / "bench.dat").string()) +
         " > /dev/null 2>&1");

    // zip's work list for the folder `zipped`: archive and its three files,
    // NUL-separated, four per call.
    const auto writeZipList = [&](const fs::path& listPath, const fs::path& zipped) {
        std::ofstream list(listPath, std::ios::binary);
        for (int i = 0; i < games; ++i) {
            char game[32], stem[16];
            std::snprintf(game, sizeof game, "Game %05d.zip", i);
            std::snprintf(stem, sizeof stem, "%05d", i);
            list << (zipped / game).string() << '\0';
            for (int j = 0; j < 3; ++j)
                list << (dir / "source" / (std::string(stem) + "-rom" + std::to_string(j) + ".bin")).string() << '\0';
        }
    };
    const std::string warm = "cat " + quote((dir / "source").string()) + "/* > /dev/null";
    fs::path lastZipped, lastRebuilt;
    int made = 0;  // folders of output so far, for fresh names
    const auto zipRun = [&] {
        const std::string tag = std::to_string(++made);
        lastZipped = dir / ("zipped-" + tag);
        fs::create_directories(lastZipped);
        const fs::path list = dir / ("zip-list-" + tag);
        writeZipList(list, lastZipped);
        must(warm);
        return timed("zip -6, two processes at once", "xargs -0 -P 2 -n 4 zip -q -6 -j < " + quote(list.string()));
    };
    const auto rebuildRun = [&](const std::string& which, const std::string& label) {
        const std::string tag = std::to_string(++made);
        const fs::path home = dir / ("home-" + tag);
        lastRebuilt = dir / ("rebuilt-" + tag);
        must("cp -a " + quote(pristine.string()) + " " + quote(home.string()));
        writeSettings(home, lastRebuilt);
        fs::create_directories(lastRebuilt);
        must(warm);
        const double seconds = timed(label, quote(which) + " --home " + quote(home.string()) +
                                                " rebuild --dupes all > " + quote((dir / "rebuild.log").string()) +
                                                " 2>&1");
        const FolderSize archives = sizeOf(lastRebuilt / "Bench");
        if (archives.files != static_cast<size_t>(games)) {
            std::fprintf(stderr, "%s made %zu archives of %d (log in %s)\n", label.c_str(), archives.files, games,
                         dir.c_str());
            std::exit(1);
        }
        return seconds;
    };

    std::vector<double> zipTimes, rebuildTimes, beforeTimes;
    std::printf("\nload average at start: %s\n", loadAverage().c_str());
    for (int r = 0; r < runs; ++r) {
        std::printf("run %d\n", r + 1);
        zipTimes.push_back(zipRun());
        const bool beforeFirst = !before.empty() && r % 2 == 1;
        if (beforeFirst) beforeTimes.push_back(rebuildRun(before, "quorvane rebuild (before)"));
        rebuildTimes.push_back(rebuildRun(program, "quorvane rebuild"));
        if (!before.empty() && !beforeFirst) beforeTimes.push_back(rebuildRun(before, "quorvane rebuild (before)"));
    }
    const std::string loadAtEnd = loadAverage();

    // The archives of the last run: sound, and packed about as tightly as zip's.
    must("cd " + quote((lastRebuilt / "Bench").string()) + " && unzip -tqq '*.zip' > /dev/null");
    const FolderSize rebuilt = sizeOf(lastRebuilt / "Bench"), zipped = sizeOf(lastZipped);
    std::printf("\narchives: rebuild %zu (%.1f MB), zip -6 %zu (%.1f MB); every rebuilt archive passes unzip -t\n",
                rebuilt.files, rebuilt.bytes / 1e6, zipped.files, zipped.bytes / 1e6);

    const double zipMedian = median(zipTimes), rebuildMedian = median(rebuildTimes);
    std::printf("medians of %d: zip -6 %.3f s, rebuild %.3f s", runs, zipMedian, rebuildMedian);
    if (!before.empty()) std::printf(", rebuild (before) %.3f s", median(beforeTimes));
    std::printf("\nrebuild / zip -6 (2 procs)           %.3f  (target at most 0.2)\n", rebuildMedian / zipMedian);
    if (!before.empty())
        std::printf("rebuild (before) / zip -6 (2 procs)  %.3f\n", median(beforeTimes) / zipMedian);
    std::printf("load average at end: %s\n", loadAtEnd.c_str());
    if (keep) std::printf("kept %s\n", dir.c_str());
    else fs::remove_all(dir);
    return 0;
}
