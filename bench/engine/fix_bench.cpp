// The fix of a damaged collection against the scan of the same collection,
// on a plain disk and with every sync slowed to a USB stick's pace (the
// preloaded slow_sync library), all in one run:
//   fix_bench [--games N] [--runs R] [--program PATH] [--anchor PATH]
// N defaults to 10000 and R to 5. Each round scans, fixes, scans slowed and
// fixes slowed; the collection is put back before every scan and left to
// settle, as a person's is before they scan it (files changed a moment
// before a scan are not kept as tested, so the fix would test them again),
// and what it replaces is kept until the end (see Trash). With --anchor
// (which may be given more than once), an older build takes each round's
// same steps beside it, so its figures and the program's come from one
// run, interleaved; the builds take turns at going first.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "bench_shell.h"

using namespace bench;

namespace {

struct Program {
    std::string label, path;
    std::string home;                                   // its own settings and catalogue
    std::map<std::string, std::vector<double>> times;  // by step
};

const char* const kSteps[] = {"scan", "fix", "scan slowed", "fix slowed"};

}  // namespace

int main(int argc, char** argv) {
    int games = 10000, runs = 5;
    std::vector<Program> programs{{"this build", QUORVANE_PROGRAM, {}, {}}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--games" && i + 1 < argc) games = std::atoi(argv[++i]);
        else if (arg == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
        else if (arg == "--program" && i + 1 < argc) programs[0].path = argv[++i];
        else if (arg == "--anchor" && i + 1 < argc) {
            const std::string path = argv[++i];
            programs.push_back({fs::path(path).filename().string(), path, {}, {}});
        }
        else {
            std::fprintf(stderr, "usage: fix_bench [--games N] [--runs R] [--program PATH] [--anchor PATH]\n");
            return 2;
        }
    }
    const fs::path dir = makeTempFolder("fix-bench");
    std::printf("fix_bench: %d games in %s, %d rounds, load %s\n", games, dir.c_str(), runs, loadAverage().c_str());
    std::fflush(stdout);
    must("python3 " + quote(ENGINE_COLLECTION_GENERATOR) + " " + quote(dir.string()) + " --games " +
         std::to_string(games) + " > /dev/null");
    const fs::path pristine = dir / "roms.pristine";
    fs::rename(dir / "roms", pristine);
    const std::string slowed = "env LD_PRELOAD=" + quote(SLOW_SYNC_LIBRARY) + " ";
    Trash trash(dir / "trash");
    auto reset = [&] {
        trash.put(dir / "roms");
        for (const Program& p : programs) trash.put(fs::path(p.home) / "Backup");
        must("cp -a " + quote(pristine.string()) + " " + quote((dir / "roms").string()));
        warm({dir / "roms"});
        must("sync");
        std::this_thread::sleep_for(std::chrono::seconds(3));  // past the scan's settle time
    };
    auto run = [&](const Program& p, const std::string& prefix, const char* args) {
        return seconds(prefix + quote(p.path) + " --home " + quote(p.home) + " " + args + " > /dev/null 2>&1");
    };
    for (size_t i = 0; i < programs.size(); ++i) {
        Program& p = programs[i];
        p.home = (dir / ("home-" + std::to_string(i))).string();
        writeSettings(p.home, dir / "roms", dir / "source");
        must(quote(p.path) + " --home " + quote(p.home) + " import " + quote((dir / "bench.dat").string()) +
             " > /dev/null 2>&1");
    }
    for (int round = 0; round < runs; ++round) {
        // The file system is slower for a while after what the last build
        // replaced is put away: no build always comes first.
        std::vector<Program*> order;
        for (Program& p : programs) order.push_back(&p);
        std::rotate(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(size_t(round) % order.size()),
                    order.end());
        for (Program* next : order) {
            Program& p = *next;
            reset();
            p.times["scan"].push_back(run(p, "", "scan --all"));
            p.times["fix"].push_back(run(p, "", "fix --all"));
            reset();
            p.times["scan slowed"].push_back(run(p, slowed, "scan --all"));
            p.times["fix slowed"].push_back(run(p, slowed, "fix --all"));
        }
        std::printf("round %d done, load %s\n", round + 1, loadAverage().c_str());
        std::fflush(stdout);
    }
    std::printf("\nmedians of %d (s)        ", runs);
    for (const char* step : kSteps) std::printf("%12s", step);
    std::printf("  fix/scan  slowed fix/scan\n");
    for (Program& p : programs) {
        std::printf("%-24s ", p.label.c_str());
        for (const char* step : kSteps) std::printf("%12.3f", median(p.times[step]));
        std::printf("  %8.2f  %15.2f\n", median(p.times["fix"]) / median(p.times["scan"]),
                    median(p.times["fix slowed"]) / median(p.times["scan slowed"]));
    }
    std::printf("load at the end %s\n", loadAverage().c_str());
    fs::remove_all(dir);
    return 0;
}
