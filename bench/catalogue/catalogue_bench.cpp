// The catalogue database under a category-sized load: 300,000 ROM rows in
// 40,000 games over 20 systems of real-world shapes (one arcade set with
// many ROMs per game, CD systems with tracks, cartridge systems with one ROM
// per game; every third game a clone sharing half its parent's ROMs).
// Times addRom throughput, getRomset of the largest system, 1,000,000
// findRom calls, a full cleanStatus and deleteSystem of a 15,000-row system,
// all inside one openDB/closeDB bracket as a job runs them. Targets: at
// least 150,000 addRom/s and 300,000 findRom/s, with memory bounded by the
// block cache: rows are generated on the fly, so the resident size printed
// after each phase is the engine's own.
//
//   catalogue_bench [folder]      (default: a folder under the temp folder)
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"

namespace {

using Clock = std::chrono::steady_clock;

struct SystemShape {
    const char* name;
    size_t games;
    size_t rows;
};

// The first system takes the games and rows the others leave, and is the
// largest. "Sega - Saturn" has the 15,000 rows deleteSystem removes.
constexpr size_t kGames = 40000;
constexpr size_t kRows = 300000;
constexpr size_t kFinds = 1000000;
const char* const kDeletedSystem = "Sega - Saturn";

std::vector<SystemShape> shapes() {
    std::vector<SystemShape> s = {
        {"MAME 0.261 (arcade)", 0, 0},
        {"FinalBurn Neo - Arcade Games", 6000, 60000},
        {"Sony - PlayStation", 2500, 20000},
        {kDeletedSystem, 1500, 15000},
        {"Commodore - Amiga", 2000, 6000},
        {"Nintendo - Nintendo Entertainment System", 3000, 3000},
        {"Nintendo - Super Nintendo Entertainment System", 3500, 3500},
        {"Nintendo - Game Boy", 1600, 1600},
        {"Nintendo - Game Boy Color", 1000, 1000},
        {"Nintendo - Game Boy Advance", 3000, 3000},
        {"Sega - Mega Drive - Genesis", 2200, 2200},
        {"Sega - Master System - Mark III", 600, 600},
        {"NEC - PC Engine - TurboGrafx 16", 700, 700},
        {"Atari - 2600", 800, 800},
        {"Nintendo - Nintendo 64", 900, 900},
        {"SNK - Neo Geo", 300, 6000},
        {"Sony - PlayStation 2", 1000, 12000},
        {"Sega - Dreamcast", 500, 10000},
        {"Nintendo - GameCube", 800, 1600},
        {"Microsoft - MSX", 2000, 2000},
    };
    size_t games = 0, rows = 0;
    for (const auto& x : s) games += x.games, rows += x.rows;
    s[0].games = kGames - games;
    s[0].rows = kRows - rows;
    return s;
}

uint64_t mix(uint64_t x) {  // splitmix64: every field is a pure function of its seed
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

std::string hex(uint64_t seed, size_t digits) {
    static const char* d = "0123456789abcdef";
    std::string s;
    while (s.size() < digits) {
        uint64_t v = mix(seed++);
        for (int i = 0; i < 16 && s.size() < digits; ++i, v >>= 4) s.push_back(d[v & 15]);
    }
    return s;
}

struct Row {
    std::string system, game, crc, romName, size, md5, sha1, cloneOf;
};

// Row r (0..kRows-1), the same every time it is asked for.
struct Layout {
    std::vector<SystemShape> systems = shapes();
    std::vector<size_t> firstRow;  // per system
    Layout() {
        size_t r = 0;
        for (const auto& s : systems) firstRow.push_back(r), r += s.rows;
    }

    Row row(size_t r) const {
        size_t sys = 0;
        while (sys + 1 < systems.size() && firstRow[sys + 1] <= r) ++sys;
        const SystemShape& s = systems[sys];
        const size_t within = r - firstRow[sys];
        // Rows spread evenly over the games: the first (rows % games) get one more.
        const size_t base = s.rows / s.games, extra = s.rows % s.games;
        const size_t cut = extra * (base + 1);
        const size_t game = within < cut ? within / (base + 1) : extra + (within - cut) / base;
        const size_t rom = within < cut ? within % (base + 1) : (within - cut) % base;
        const bool clone = game % 3 == 2;
        const size_t owner = clone && rom % 2 == 0 ? game - 1 : game;  // clones share half their parent's ROMs
        const uint64_t seed = mix((uint64_t{sys} << 40) ^ (uint64_t{owner} << 12) ^ rom);
        Row out;
        out.system = s.name;
        char buf[160];
        std::snprintf(buf, sizeof buf, "Title %05zu %s", game, clone ? "(Europe) (Rev 1)" : "(USA)");
        out.game = buf;
        if (clone) {
            std::snprintf(buf, sizeof buf, "Title %05zu (USA)", game - 1);
            out.cloneOf = buf;
        }
        std::snprintf(buf, sizeof buf, s.rows > s.games ? "title%05zu.ic%zu" : "Title %05zu (USA).bin", owner, rom + 1);
        out.romName = buf;
        out.crc = hex(seed, 8);
        out.size = std::to_string(1024u << (mix(seed + 1) % 12));
        if (sys != 0) out.md5 = hex(seed + 2, 32);
        out.sha1 = hex(seed + 3, 40);
        return out;
    }
};

double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

long rssKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Timer {
    Clock::time_point wall = Clock::now();
    double cpu = cpuNow();
    void report(const char* phase, size_t items, const char* unit) const {
        const double s = std::chrono::duration<double>(Clock::now() - wall).count();
        const double c = cpuNow() - cpu;
        std::printf("%-28s %9.3f s wall %9.3f s cpu", phase, s, c);
        if (items) std::printf("  %10.0f %s/s wall %10.0f %s/s cpu", items / s, unit, items / c, unit);
        std::printf("  rss %6ld KiB\n", rssKiB());
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path dir = argc > 1 ? fs::path(argv[1])
                                  : fs::temp_directory_path() / ("quorvane-catalogue-bench-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const Layout layout;
    size_t largest = 0;
    for (size_t i = 0; i < layout.systems.size(); ++i)
        if (layout.systems[i].rows > layout.systems[largest].rows) largest = i;
    std::printf("%zu rows, %zu games, %zu systems; largest %s (%zu rows)\n", kRows, kGames, layout.systems.size(),
                layout.systems[largest].name, layout.systems[largest].rows);
    std::printf("rss at start %ld KiB\n", rssKiB());

    quorvane::Catalogue db((dir / "bench").string());
    if (db.openDB() != quorvane::StoreStatus::Ok) {
        std::fprintf(stderr, "openDB: %s\n", db.lastError().c_str());
        return 1;
    }
    {
        const Timer t;
        for (size_t r = 0; r < kRows; ++r) {
            const Row row = layout.row(r);
            if (!db.addRom({.system = row.system,
                            .game = row.game,
                            .crc = row.crc,
                            .sha1 = row.sha1,
                            .md5 = row.md5,
                            .romName = row.romName,
                            .size = row.size,
                            .cloneOf = row.cloneOf,
                            .version = "1",
                            .author = "bench"})) {
                std::fprintf(stderr, "addRom %zu: %s\n", r, db.lastError().c_str());
                return 1;
            }
        }
        t.report("addRom", kRows, "rows");
    }
    {
        const Timer t;
        const quorvane::Romset set = db.getRomset(layout.systems[largest].name, 0);
        t.report("getRomset (largest)", layout.systems[largest].rows, "rows");
        if (set.games.size() != layout.systems[largest].games) {
            std::fprintf(stderr, "getRomset: %zu games, expected %zu\n", set.games.size(), layout.systems[largest].games);
            return 1;
        }
    }
    {
        size_t found = 0;
        std::vector<quorvane::RomMatch> list;
        // The keys are made before the clock starts: only findRom is timed.
        std::vector<std::pair<std::string, std::string>> keys;
        keys.reserve(kFinds / 10);
        uint64_t seed = 12345;
        for (size_t i = 0; i < kFinds / 10; ++i) {
            const Row row = layout.row(mix(seed++) % kRows);
            keys.emplace_back(row.crc, row.size);
        }
        const Timer t;
        for (size_t i = 0; i < kFinds; ++i) {
            const auto& [crc, size] = keys[i % keys.size()];
            list.clear();
            db.findRom(list, crc, size, "", "");
            found += list.size();
        }
        t.report("findRom x1,000,000", kFinds, "calls");
        std::printf("%-28s %zu matches (clones are not offered)\n", "", found);
    }
    {
        const Timer t;
        db.cleanStatus();
        t.report("cleanStatus", kRows, "rows");
    }
    {
        const Timer t;
        if (!db.deleteSystem(kDeletedSystem)) std::fprintf(stderr, "deleteSystem: %s\n", db.lastError().c_str());
        t.report("deleteSystem (15,000 rows)", 15000, "rows");
    }
    {
        const Timer t;
        db.closeDB();
        t.report("closeDB", 0, "");
    }
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    uintmax_t onDisk = 0;
    for (const auto& e : fs::directory_iterator(dir)) onDisk += e.file_size();
    std::printf("peak rss %ld KiB; database on disk %ju KiB\n", ru.ru_maxrss, onDisk / 1024);
    if (argc <= 1) fs::remove_all(dir);
    return 0;
}
