// The whole life of a collection at growing sizes: import of its DAT, scan of
// the damaged archives, fix, rebuild of loose files into a fresh folder, and
// the listings, each step timed and its peak memory (the child's ru_maxrss)
// taken, so that a step whose time or memory grows faster than the
// collection shows in one table.
//
//   scale_bench [--sizes 1000,10000,100000] [--rows-per-game R] [--rom-size BYTES]
//               [--runs N] [--program PATH] [--anchor [LABEL=]PATH]... [--dir FOLDER] [--keep] [--json]
//
// Each game is an archive of three ROMs of BYTES (default 2048) in system
// "Bench"; a second system, "Bench Extra", has as many games again whose
// ROMs no file holds, so that the catalogue has R rows per game (default
// 20: 100,000 games make 2,000,000 rows) while the files stay few. Every
// tenth game's ROMs are also loose files, the rebuild's source. "games X"
// lists the extra system.
//
// With --anchor, another build (an older one, say) takes each step right
// after this one on the same data (A B A B ...); --anchor may come more than
// once, as LABEL=PATH to tell them apart. Each size runs N times (default 1)
// and the table shows medians. --dir puts the data elsewhere than /tmp, and
// with --keep a later run with the same --dir takes the collections made
// there (same options!) instead of making them again. --json has scan and
// fix write the program's JSON report, which lists every game and ROM of
// each system.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <sstream>

#include "bench_shell.h"

using namespace bench;

namespace {

struct Usage {
    double seconds = 0;
    double cpuSeconds = 0;  // user + system: on a shared machine, the figure least moved by the others
    double peakMB = 0;
};

// Runs `command` through the shell, which execs it, so that wait4's
// ru_maxrss is the program's own peak; stops the benchmark when it fails.
Usage measure(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(1);
    }
    if (pid == 0) {
        const std::string line = "exec " + command;
        ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) < 0) {
        std::perror("wait4");
        std::exit(1);
    }
    Usage u;
    u.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    u.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    u.peakMB = usage.ru_maxrss / 1024.0;  // KiB on Linux
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
        std::exit(1);
    }
    return u;
}

struct Program {
    std::string label, path;
    // by size, then step
    std::map<int, std::map<std::string, std::vector<Usage>>> usage;
};

const char* const kSteps[] = {"import", "scan", "fix", "rebuild", "systems", "games", "games X", "roms"};

std::vector<int> parseSizes(const std::string& list) {
    std::vector<int> sizes;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');) sizes.push_back(std::atoi(item.c_str()));
    return sizes;
}

void runSize(int games, int rowsPerGame, int romSize, int runs, bool json, const fs::path& dir, Trash& trash,
             std::vector<Program>& programs) {
    const std::string n = std::to_string(games);
    const auto started = std::chrono::steady_clock::now();
    const fs::path pristine = dir / "roms.pristine";
    if (fs::exists(pristine) && fs::exists(dir / "bench.dat")) {
        std::printf("%d games: the collection of an earlier run in %s\n", games, dir.c_str());
    } else {
        must("python3 " + quote(ENGINE_COLLECTION_GENERATOR) + " " + quote(dir.string()) + " --games " + n +
             " --extra-roms-per-game " + std::to_string(rowsPerGame - 3) + " --rom-size " + std::to_string(romSize) +
             " --source-every 10 --no-clean > /dev/null");
        std::printf("%d games: generated in %.0f s, load %s\n", games,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                    loadAverage().c_str());
        fs::rename(dir / "roms", pristine);
    }
    std::fflush(stdout);
    const fs::path log = dir / "step.log";
    const std::string dats = quote((dir / "bench.dat").string()) + " " + quote((dir / "extra.dat").string());
    for (int run = 0; run < runs; ++run) {
        for (size_t i = 0; i < programs.size(); ++i) {
            Program& p = programs[i];
            auto& steps = p.usage[games];
            const fs::path home = dir / ("home-" + std::to_string(i));
            const fs::path rebuildHome = dir / ("rebuild-home-" + std::to_string(i));
            for (const fs::path& used : {home, rebuildHome, dir / "roms", dir / "rebuilt"}) trash.put(used);
            must("cp -a " + quote(pristine.string()) + " " + quote((dir / "roms").string()));
            // The extra system's folder is there and empty: every one of its ROMs is missing.
            fs::create_directories(dir / "roms" / "Bench Extra");
            warm({dir / "roms", dir / "source"});
            must("sync");
            auto step = [&](const char* name, const fs::path& which, const std::string& args) {
                const Usage u = measure(quote(p.path) + " --home " + quote(which.string()) + " " + args + " > " +
                                        quote(log.string()) + " 2>&1");
                steps[name].push_back(u);
                std::printf("  %-10s %-8s %9.3f s (CPU %8.3f s) %8.1f MB\n", p.label.c_str(), name, u.seconds,
                            u.cpuSeconds, u.peakMB);
                std::fflush(stdout);
            };
            writeSettings(home, dir / "roms", dir / "source");
            step("import", home, "import " + dats);
            // The rebuild's home: the same fresh catalogue, a fresh folder.
            must("cp -a " + quote(home.string()) + " " + quote(rebuildHome.string()));
            writeSettings(rebuildHome, dir / "rebuilt", dir / "source");
            fs::create_directories(dir / "rebuilt" / "Bench Extra");
            const std::string report = json ? " --json" : "";
            step("scan", home, "scan --all" + report);
            step("fix", home, "fix --all" + report);
            step("rebuild", rebuildHome, "rebuild --dupes all");
            step("systems", home, "systems");
            step("games", home, "games Bench");
            step("games X", home, "games 'Bench Extra'");
            char game[32];
            std::snprintf(game, sizeof game, "Game %05d", games / 2);
            step("roms", home, "roms Bench " + quote(game));
        }
        std::printf("%d games, run %d done, load %s\n", games, run + 1, loadAverage().c_str());
        std::fflush(stdout);
    }
}

Usage medianOf(const std::vector<Usage>& runs) {
    std::vector<double> seconds, cpu, peaks;
    for (const Usage& u : runs) {
        seconds.push_back(u.seconds);
        cpu.push_back(u.cpuSeconds);
        peaks.push_back(u.peakMB);
    }
    return {median(seconds), median(cpu), median(peaks)};
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes{1000, 10000, 100000};
    int rowsPerGame = 20, romSize = 2048, runs = 1;
    bool keep = false, json = false;
    fs::path base;
    std::vector<Program> programs{{"this", QUORVANE_PROGRAM, {}}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--sizes" && i + 1 < argc) sizes = parseSizes(argv[++i]);
        else if (arg == "--rows-per-game" && i + 1 < argc) rowsPerGame = std::max(4, std::atoi(argv[++i]));
        else if (arg == "--rom-size" && i + 1 < argc) romSize = std::atoi(argv[++i]);
        else if (arg == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
        else if (arg == "--program" && i + 1 < argc) programs[0].path = argv[++i];
        else if (arg == "--anchor" && i + 1 < argc) {
            const std::string path = argv[++i];
            const size_t eq = path.find('=');  // LABEL=PATH names it
            if (eq != std::string::npos) programs.push_back({path.substr(0, eq), path.substr(eq + 1), {}});
            else programs.push_back({"anchor", path, {}});
        } else if (arg == "--dir" && i + 1 < argc) base = argv[++i];
        else if (arg == "--keep") keep = true;
        else if (arg == "--json") json = true;
        else {
            std::fprintf(
                stderr,
                "usage: scale_bench [--sizes N,N,...] [--rows-per-game R] [--rom-size BYTES] [--runs N]\n"
                "                   [--program PATH] [--anchor [LABEL=]PATH]... [--dir FOLDER] [--keep] [--json]\n");
            return 2;
        }
    }
    std::printf("scale_bench: %d catalogue rows and 3 ROMs of %d bytes per game, %d run(s)%s, load %s\n", rowsPerGame,
                romSize, runs, json ? ", JSON reports" : "", loadAverage().c_str());
    for (const Program& p : programs) std::printf("  %-6s %s\n", p.label.c_str(), p.path.c_str());
    std::fflush(stdout);
    const fs::path trashFolder = base.empty() ? makeTempFolder("scale-trash") : base / "trash";
    Trash trash(trashFolder);
    for (int games : sizes) {
        fs::path dir;
        if (base.empty()) {
            dir = makeTempFolder("scale-" + std::to_string(games));
        } else {
            dir = base / ("scale-" + std::to_string(games));  // a collection left there by --keep is used again
            fs::create_directories(dir);
        }
        runSize(games, rowsPerGame, romSize, runs, json, dir, trash, programs);
        if (!keep) trash.put(dir);
    }
    fs::remove_all(trashFolder);

    // Seconds per 1k games, against the smallest size: 1.0 is linear.
    std::printf("\n%-7s %7s %-8s %9s %9s %9s %9s %7s %7s %8s\n", "program", "games", "step", "seconds", "s/1k", "CPU s",
                "CPU s/1k", "growth", "CPU gr.", "peak MB");
    for (Program& p : programs) {
        for (const char* step : kSteps) {
            double firstPerGame = 0, firstCpuPerGame = 0;
            for (int games : sizes) {
                const Usage u = medianOf(p.usage[games][step]);
                const double perThousand = u.seconds / games * 1000, cpuPerThousand = u.cpuSeconds / games * 1000;
                if (firstPerGame == 0) firstPerGame = perThousand;
                if (firstCpuPerGame == 0) firstCpuPerGame = cpuPerThousand;
                std::printf("%-7s %7d %-8s %9.3f %9.4f %9.3f %9.4f %7.2f %7.2f %8.1f%s\n", p.label.c_str(), games, step,
                            u.seconds, perThousand, u.cpuSeconds, cpuPerThousand, perThousand / firstPerGame,
                            firstCpuPerGame > 0 ? cpuPerThousand / firstCpuPerGame : 0.0, u.peakMB,
                            u.peakMB >= 200 ? "  over 200 MB" : "");
            }
        }
    }
    std::printf("catalogue rows per game %d: the largest size has %lld rows\n", rowsPerGame,
                static_cast<long long>(sizes.empty() ? 0 : sizes.back()) * rowsPerGame);
    std::printf("load at the end %s\n", loadAverage().c_str());
    return 0;
}
