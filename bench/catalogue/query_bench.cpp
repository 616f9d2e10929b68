// The catalogue's queries at a collector's scale: a 1,000,000-row catalogue
// (one 150,000-ROM arcade system of 20,000 games with their facts rows,
// seventeen 50,000-ROM systems) and what a person asks of it.
//
//   query_bench make DIR
//       builds DIR/home (settings folder and databases of `quorvane --home
//       DIR/home`) and DIR/probe.gz, a file that is one ROM of the arcade
//       system. Slow (the import of a million rows): build once, reuse.
//   query_bench run DIR BEFORE AFTER
//       runs each command with the program BEFORE and the program AFTER,
//       interleaved (B A B A ...), 5 times each, and prints the medians of
//       wall time and peak resident size, the ratio, and the load average;
//       then times the engine calls of this build in the same way against
//       the path they replace.
//   query_bench import DIR BEFORE AFTER DAT [ROWS]
//       times `quorvane import DAT` into an empty database with each
//       program, interleaved, with their peaks; given the DAT's ROM count,
//       also the rows stored per second. (make_dat writes such a DAT and
//       says how many ROMs it holds.)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "tools/rom_identifier.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;
constexpr const char* kArcade = "Arcade - Large Set";
constexpr size_t kArcadeGames = 20000;
constexpr size_t kArcadeRows = 150000;
constexpr size_t kOtherSystems = 17;
constexpr size_t kOtherRows = 50000;
constexpr const char* kAskedGame = "game10007";

std::uint64_t mix(std::uint64_t x) {  // splitmix64
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

std::string hex(std::uint64_t seed, size_t digits) {
    static const char* d = "0123456789abcdef";
    std::string s;
    while (s.size() < digits) {
        std::uint64_t v = mix(seed++);
        for (int i = 0; i < 16 && s.size() < digits; ++i, v >>= 4) s.push_back(d[v & 15]);
    }
    return s;
}

std::string loadAverage() {
    std::string text;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        char line[128] = {};
        if (std::fgets(line, sizeof line, f)) text = line;
        std::fclose(f);
    }
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

bool addRows(quorvane::Catalogue& db, const std::string& system, size_t games, size_t rows, std::uint64_t salt,
             bool facts) {
    char name[64];
    for (size_t g = 0; g < games; ++g) {
        std::snprintf(name, sizeof name, "game%05zu", g);
        const std::string game = name;
        const bool clone = g % 3 == 2;
        std::snprintf(name, sizeof name, "game%05zu", g - (clone ? 1 : 0));
        const std::string parent = clone ? name : "";
        if (facts && !db.addGameFacts(system, "1", "bench", {.game = game, .cloneOf = parent, .romOf = ""}))
            return false;
        // Rows spread evenly over the games: the first (rows % games) get one more.
        const size_t count = rows / games + (g < rows % games ? 1 : 0);
        for (size_t r = 0; r < count; ++r) {
            const std::uint64_t seed = mix(salt ^ (std::uint64_t{g} << 16) ^ r);
            std::snprintf(name, sizeof name, "%s.%zu", game.c_str(), r + 1);
            if (!db.addRom({.system = system,
                            .game = game,
                            .crc = hex(seed, 8),
                            .sha1 = hex(seed + 3, 40),
                            .md5 = hex(seed + 2, 32),
                            .romName = name,
                            .size = std::to_string(1024u << (mix(seed + 1) % 12)),
                            .cloneOf = parent,
                            .version = "1",
                            .author = "bench"}))
                return false;
        }
    }
    return true;
}

int make(const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir / "home" / "databases");
    // The probe file: its content is a ROM of the arcade system.
    std::string content(65536, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(mix(i) & 0xff);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
    char crcText[16];
    std::snprintf(crcText, sizeof crcText, "%08lx", crc);
    gzFile gz = gzopen((dir / "probe.gz").c_str(), "wb");
    if (!gz || gzwrite(gz, content.data(), static_cast<unsigned>(content.size())) != static_cast<int>(content.size()) ||
        gzclose(gz) != Z_OK) {
        std::fprintf(stderr, "cannot write %s\n", (dir / "probe.gz").c_str());
        return 1;
    }
    quorvane::Catalogue db((dir / "home" / "databases" / "roms").string());
    if (db.openDB() != quorvane::StoreStatus::Ok) {
        std::fprintf(stderr, "openDB: %s\n", db.lastError().c_str());
        return 1;
    }
    const auto start = Clock::now();
    bool ok = addRows(db, kArcade, kArcadeGames, kArcadeRows - 1, 1, true) &&
              db.addRom({.system = kArcade, .game = "probe", .crc = crcText, .romName = "probe.bin",
                         .size = std::to_string(content.size()), .version = "1", .author = "bench"});
    for (size_t s = 0; ok && s < kOtherSystems; ++s) {
        char system[64];
        std::snprintf(system, sizeof system, "Console %02zu", s + 1);
        ok = addRows(db, system, kOtherRows, kOtherRows, std::uint64_t{s + 2} << 40, false);
    }
    if (!ok) {
        std::fprintf(stderr, "addRom: %s\n", db.lastError().c_str());
        return 1;
    }
    if (db.closeDB() != quorvane::StoreStatus::Ok) {
        std::fprintf(stderr, "closeDB: %s\n", db.lastError().c_str());
        return 1;
    }
    std::printf("made %s: %zu ROM rows in %.1f s\n", dir.c_str(), kArcadeRows + kOtherSystems * kOtherRows,
                std::chrono::duration<double>(Clock::now() - start).count());
    return 0;
}

struct Sample {
    double seconds = 0;
    long peakKiB = 0;
};

Sample runProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    Sample s{std::chrono::duration<double>(Clock::now() - start).count(), ru.ru_maxrss};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "%s %s exited with %d\n", args[0].c_str(), args[3].c_str(), status);
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The median peak resident sizes (KiB) and times of a comparison. The peaks
// of a command that does next to nothing are what a per-ROM figure can
// leave out.
struct Floor {
    double before = 0, after = 0;
    double beforeSeconds = 0, afterSeconds = 0;
};

// Runs `anchor` and `measured` interleaved, kRuns times each; returns the
// medians.
Floor compare(const char* what, const std::function<Sample()>& anchor, const std::function<Sample()>& measured,
              size_t rows = 0, Floor floor = {}) {
    std::vector<double> at, mt, am, mm;
    for (int i = 0; i < kRuns; ++i) {
        const Sample a = anchor();
        const Sample m = measured();
        at.push_back(a.seconds), am.push_back(static_cast<double>(a.peakKiB));
        mt.push_back(m.seconds), mm.push_back(static_cast<double>(m.peakKiB));
    }
    const double a = median(at), m = median(mt);
    std::printf("%-34s before %9.2f ms  after %9.2f ms  after/before %.3f", what, a * 1e3, m * 1e3, m / a);
    if (median(am) > 0) std::printf("  peak %7.0f -> %7.0f KiB", median(am), median(mm));
    if (rows && median(mm) > 0) {
        const double n = static_cast<double>(rows);
        std::printf("\n%-34s KiB per ROM: before %.3f, after %.3f; above the floor: before %.3f, after %.3f", "",
                    median(am) / n, median(mm) / n, (median(am) - floor.before) / n, (median(mm) - floor.after) / n);
    }
    std::printf("\n");
    std::fflush(stdout);
    return {median(am), median(mm), a, m};
}

template <typename F>
Sample timed(F&& f) {
    const auto start = Clock::now();
    f();
    return {std::chrono::duration<double>(Clock::now() - start).count(), 0};
}

int run(const fs::path& dir, const std::string& before, const std::string& after) {
    const std::string home = (dir / "home").string();
    const std::string probe = (dir / "probe.gz").string();
    std::printf("load average before: %s\n", loadAverage().c_str());
    std::printf("median of %d, interleaved; %zu ROM rows, %s has %zu\n", kRuns,
                kArcadeRows + kOtherSystems * kOtherRows, kArcade, kArcadeRows);
    const auto command = [&](const std::string& program, std::vector<std::string> args) {
        args.insert(args.begin(), {program, "--home", home});
        return [args] { return runProgram(args); };
    };
    // Each program once first: the first open of a database made before the
    // game index builds it, which is no query's cost.
    runProgram({after, "--home", home, "systems"});
    const Floor floor =
        compare("quorvane systems (the floor)", command(before, {"systems"}), command(after, {"systems"}));
    compare("quorvane roms SYSTEM GAME", command(before, {"roms", kArcade, kAskedGame}),
            command(after, {"roms", kArcade, kAskedGame}));
    compare("quorvane games SYSTEM", command(before, {"games", kArcade}), command(after, {"games", kArcade}),
            kArcadeRows, floor);
    compare("quorvane identify FILE", command(before, {"identify", probe}), command(after, {"identify", probe}));

    // The engine calls, against the path each replaces in this same build.
    quorvane::Catalogue db(home + "/databases/roms");
    size_t roms = 0;
    compare("engine: game's ROMs (getRomset+find / getGame)",
            [&] {
                return timed([&] {
                    const quorvane::Romset set = db.getRomset(kArcade, 0);
                    for (const quorvane::Game& g : set.games)
                        if (g.name == kAskedGame) roms = g.roms.size();
                });
            },
            [&] {
                return timed([&] {
                    quorvane::Game game;
                    db.getGame(kArcade, kAskedGame, game);
                    roms = game.roms.size();
                });
            });
    compare("engine: games listing (getRomset / listGames)",
            [&] { return timed([&] { roms = db.getRomset(kArcade, 0).games.size(); }); },
            [&] { return timed([&] { roms = db.listGames(kArcade, 0).games.size(); }); });
    // The old identify has no engine call of its own to compare with: its
    // anchor is the process line above.
    std::vector<double> identify;
    for (int i = 0; i < kRuns; ++i)
        identify.push_back(
            timed([&] { roms = quorvane::identifyArchives(db, {probe}, false, false).size(); }).seconds);
    std::printf("%-34s %9.2f ms\n", "engine: identifyArchives of FILE", median(identify) * 1e3);
    std::printf("load average after: %s\n", loadAverage().c_str());
    return roms == 0 ? 1 : 0;
}

int importBoth(const fs::path& dir, const std::string& before, const std::string& after, const std::string& dat,
               double rows) {
    const fs::path home = dir / "import-home";
    std::printf("load average before: %s\n", loadAverage().c_str());
    const auto command = [&](const std::string& program) {
        return [&home, &dat, program] {
            fs::remove_all(home);
            fs::create_directories(home);
            return runProgram({program, "--home", home.string(), "import", dat, "--yes"});
        };
    };
    const Floor medians = compare("quorvane import DAT", command(before), command(after));
    if (rows > 0)
        std::printf("%-34s before %9.0f  after %9.0f\n", "rows per second", rows / medians.beforeSeconds,
                    rows / medians.afterSeconds);
    fs::remove_all(home);
    std::printf("load average after: %s\n", loadAverage().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "make" && argc == 3) return make(argv[2]);
    if (mode == "run" && argc == 5) return run(argv[2], fs::absolute(argv[3]).string(), fs::absolute(argv[4]).string());
    if (mode == "import" && (argc == 6 || argc == 7))
        return importBoth(argv[2], fs::absolute(argv[3]).string(), fs::absolute(argv[4]).string(), argv[5],
                          argc == 7 ? std::atof(argv[6]) : 0);
    std::fprintf(stderr, "usage: query_bench make DIR | run DIR BEFORE AFTER | import DIR BEFORE AFTER DAT [ROWS]\n");
    return 2;
}
