// The scan of a clean collection against the least any verifier must do, and
// a re-scan of the unchanged collection against a full scan, all in one run:
//   probe   this program reads each zip (one open), walks its central
//           directory and inflates + CRCs every entry with libdeflate, on two
//           threads
//   full    quorvane scan --all --full      (every archive read and tested)
//   rescan  quorvane scan --all             (after a full scan: from its cache;
//           the warm-up waits out the settle time once, as a person's next
//           scan would find the statuses)
//   stat floor  this program lists the folder and stats every file, on two
//           threads: the least any re-scan that notices a changed file does
//   old     --program PATH scan --all       (another build, say main's: with
//           a scan cache, its re-scan)
//   oldfull --program PATH scan --all --full (with --old-full: another build
//           that knows --full)
// Each round runs them one after another, the program and --program taking
// turns at going first, five rounds; the medians and their ratios are
// printed with the load average, of the time taken and of the CPU time used
// (user + system, every thread: on a busy machine the steadier figure).
//
//   scan_bench [--games N] [--rom-size BYTES] [--program PATH [--old-full]] [--rounds R] [--keep]
//              [--collection DIR]
// --collection uses a folder make_engine_collection.py wrote earlier.
#include <dirent.h>
#include <fcntl.h>
#include <libdeflate.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_shell.h"

using namespace bench;

namespace {

uint64_t little(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t{p[i]} << (8 * i);
    return v;
}

// One zip: read whole, every entry inflated and its CRC compared. False when
// anything does not add up (the probe then counts it as a damaged archive).
bool probeZip(const std::string& path, std::vector<unsigned char>& file, std::vector<unsigned char>& out,
              libdeflate_decompressor* inflater) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    file.resize(size);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, file.data() + got, size - got, static_cast<off_t>(got));
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got != size || size < 22) return false;
    const unsigned char* bytes = file.data();
    size_t end = size - 22;
    while (little(bytes + end, 4) != 0x06054B50) {
        if (end == 0 || size - end > 65557) return false;
        --end;
    }
    const uint64_t count = little(bytes + end + 10, 2);
    uint64_t at = little(bytes + end + 16, 4);
    for (uint64_t i = 0; i < count; ++i) {
        if (at + 46 > size || little(bytes + at, 4) != 0x02014B50) return false;
        const unsigned char* c = bytes + at;
        const int method = static_cast<int>(little(c + 10, 2));
        const uint32_t crc = static_cast<uint32_t>(little(c + 16, 4));
        const uint64_t packed = little(c + 20, 4), unpacked = little(c + 24, 4);
        const uint64_t local = little(c + 42, 4);
        at += 46 + little(c + 28, 2) + little(c + 30, 2) + little(c + 32, 2);
        if (local + 30 > size) return false;
        const uint64_t data = local + 30 + little(bytes + local + 26, 2) + little(bytes + local + 28, 2);
        if (data + packed > size) return false;
        out.resize(std::max<size_t>(out.size(), unpacked));
        const unsigned char* content = bytes + data;
        if (method == 8) {
            size_t actual = 0;
            if (libdeflate_deflate_decompress(inflater, bytes + data, packed, out.data(), unpacked, &actual) !=
                    LIBDEFLATE_SUCCESS ||
                actual != unpacked)
                return false;
            content = out.data();
        } else if (method != 0 || packed != unpacked) {
            return false;
        }
        if (libdeflate_crc32(0, content, unpacked) != crc) return false;
    }
    return true;
}

// Seconds to probe every zip of `folder` on `threads` threads; `damaged`
// receives how many did not pass.
double probe(const fs::path& folder, unsigned threads, size_t& damaged) {
    std::vector<std::string> paths;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".zip") paths.push_back(e.path().string());
    const auto start = std::chrono::steady_clock::now();
    std::atomic<size_t> next{0}, bad{0};
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
            std::vector<unsigned char> file, out;
            for (size_t i; (i = next++) < paths.size();)
                if (!probeZip(paths[i], file, out, inflater)) ++bad;
            libdeflate_free_decompressor(inflater);
        });
    }
    for (std::thread& t : workers) t.join();
    damaged = bad;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Seconds to list `folder` and take every file's stamp (fstatat) on
// `threads` threads: the least a re-scan must do to notice any changed file,
// without starting a process or reading anything of its own.
double statFloor(const fs::path& folder, unsigned threads) {
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    std::vector<std::string> names;
    if (DIR* dir = ::fdopendir(::dup(fd))) {
        while (const dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        ::closedir(dir);
    }
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            struct stat st {};
            constexpr size_t kShare = 256;
            for (size_t from; (from = next.fetch_add(kShare)) < names.size();)
                for (size_t i = from; i < std::min(names.size(), from + kShare); ++i)
                    ::fstatat(fd, names[i].c_str(), &st, AT_SYMLINK_NOFOLLOW);
        });
    }
    for (std::thread& t : workers) t.join();
    ::close(fd);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double cpuSeconds(int who) {
    rusage usage {};
    ::getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Wall seconds of `command`; `cpu` receives the CPU seconds it used.
double timed(const std::string& command, double& cpu) {
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    must(command);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cpu = cpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    return wall;
}

void writeSettings(const fs::path& home, const fs::path& base) {
    fs::create_directories(home);
    std::ofstream ini(home / "quorvane.INI");
    ini << "[Quorvane]\nbasedir=" << base.string() << "\n";
    for (const char* key : {"tosecdir", "gooddir", "arcadedir", "arcadeunemudir", "miscdir", "customdir"})
        ini << key << "=$BASEDIR$\n";
}

}  // namespace

int main(int argc, char** argv) {
    int games = 10000, rounds = 5;
    long romSize = 32768;
    bool keep = false, oldFull = false;
    std::string program = QUORVANE_PROGRAM, old, collection;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--games" && i + 1 < argc) games = std::atoi(argv[++i]);
        else if (arg == "--rom-size" && i + 1 < argc) romSize = std::atol(argv[++i]);
        else if (arg == "--program" && i + 1 < argc) old = argv[++i];
        else if (arg == "--rounds" && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--collection" && i + 1 < argc) collection = argv[++i];
        else if (arg == "--keep") keep = true;
        else if (arg == "--old-full") oldFull = true;
        else {
            std::fprintf(stderr,
                         "usage: scan_bench [--games N] [--rom-size BYTES] [--program PATH [--old-full]] "
                         "[--rounds R] [--keep] [--collection DIR]\n");
            return 2;
        }
    }
    const fs::path dir = makeTempFolder("scan-bench");
    fs::path made = collection;
    if (made.empty()) {
        made = dir / "collection";
        must("python3 " + quote(ENGINE_COLLECTION_GENERATOR) + " " + quote(made.string()) + " --games " +
             std::to_string(games) + " --rom-size " + std::to_string(romSize) + " > /dev/null");
    }
    // The clean copy as system "Bench", for each program its own catalogue.
    fs::create_directories(dir / "base");
    fs::create_directory_symlink(made / "clean", dir / "base" / "Bench");
    std::vector<std::pair<std::string, std::string>> programs = {{"new", program}};
    if (!old.empty()) programs.emplace_back("old", old);
    for (const auto& [name, path] : programs) {
        writeSettings(dir / ("home-" + name), dir / "base");
        must(quote(path) + " --home " + quote((dir / ("home-" + name)).string()) + " import " +
             quote((made / "bench.dat").string()) + " > /dev/null 2>&1");
    }
    auto scan = [&](const std::string& name, const std::string& args) {
        const auto& path = name == "new" ? program : old;
        return quote(path) + " --home " + quote((dir / ("home-" + name)).string()) + " scan --all " + args +
               " > /dev/null 2>&1";
    };
    const size_t archives = std::distance(fs::directory_iterator(made / "clean"), fs::directory_iterator());
    const std::string roms = !collection.empty() ? "from " + collection
                             : romSize > 0        ? std::to_string(romSize) + " bytes each"
                                                  : std::string("1-64 KiB");
    std::printf("scan_bench: %zu archives of 3 ROMs (%s), %d rounds, in %s\nload average before: %s\n", archives,
                roms.c_str(), rounds, dir.c_str(), loadAverage().c_str());
    std::fflush(stdout);
    must("find " + quote((made / "clean").string()) + " -name '*.zip' -exec cat {} + > /dev/null");
    must(scan("new", "--full"));  // warms the cache files and the page cache
    if (!old.empty()) must(scan("old", oldFull ? "--full" : ""));
    // A person's next scan comes long after the last status write: past the
    // settle time, a re-scan keeps the statuses it found beside its cache.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    must(scan("new", ""));
    if (!old.empty()) must(scan("old", ""));

    std::map<std::string, std::vector<double>> seconds, cpu;
    size_t damaged = 0;
    auto run = [&](const std::string& name, const std::string& command) {
        double used = 0;
        seconds[name].push_back(timed(command, used));
        cpu[name].push_back(used);
    };
    for (int round = 0; round < rounds; ++round) {
        const double probeCpu = cpuSeconds(RUSAGE_SELF);
        seconds["probe"].push_back(probe(made / "clean", 2, damaged));
        cpu["probe"].push_back(cpuSeconds(RUSAGE_SELF) - probeCpu);
        const double floorCpu = cpuSeconds(RUSAGE_SELF);
        seconds["stat floor"].push_back(statFloor(made / "clean", 2));
        cpu["stat floor"].push_back(cpuSeconds(RUSAGE_SELF) - floorCpu);
        // The build that runs right after the probe pays for it (caches, the
        // CPU's clock), so the two builds take turns at going first.
        const auto runNew = [&] {
            run("full", scan("new", "--full"));
            run("rescan", scan("new", ""));
        };
        const auto runOld = [&] {
            if (!old.empty() && oldFull) run("oldfull", scan("old", "--full"));
            if (!old.empty()) run("old", scan("old", ""));
        };
        if (round % 2 == 0) {
            runNew();
            runOld();
        } else {
            runOld();
            runNew();
        }
        std::printf("round %d:", round + 1);
        for (const auto& [name, v] : seconds) std::printf(" %s %.3f s (cpu %.3f)", name.c_str(), v.back(), cpu[name].back());
        std::printf("\n");
        std::fflush(stdout);
    }
    if (damaged != 0) {
        std::fprintf(stderr, "the probe found %zu damaged archives in the clean copy\n", damaged);
        return 1;
    }
    for (const auto* table : {&seconds, &cpu}) {
        auto m = [&](const char* name) { return median(table->at(name)); };
        const double probeS = m("probe"), fullS = m("full"), rescanS = m("rescan");
        std::printf("\n%s medians: probe %.3f s, full scan %.3f s, rescan %.3f s", table == &cpu ? "CPU" : "wall",
                    probeS, fullS, rescanS);
        if (!old.empty()) std::printf(", old scan %.3f s", m("old"));
        std::printf("\n  full scan / probe   %.3f\n", fullS / probeS);
        std::printf("  rescan / full scan  %.3f  (target at most 0.05)\n", rescanS / fullS);
        // What listing and stat'ing every file alone costs against the full scan.
        std::printf("  stat floor %.4f s: / full scan %.3f; rescan / stat floor %.2f\n", m("stat floor"),
                    m("stat floor") / fullS, rescanS / m("stat floor"));
        if (!old.empty()) std::printf("  old scan / probe    %.3f\n", m("old") / probeS);
        if (!old.empty() && oldFull) {
            std::printf("  old full scan %.3f s; old full scan / probe  %.3f\n", m("oldfull"), m("oldfull") / probeS);
            std::printf("  old rescan / old full scan  %.3f\n", m("old") / m("oldfull"));
        }
    }
    std::printf("load average after: %s\n", loadAverage().c_str());
    if (keep) std::printf("kept %s\n", dir.c_str());
    else fs::remove_all(dir);
    return 0;
}
