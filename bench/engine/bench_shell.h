// What the engine benchmarks share: running commands and timing them,
// settings for a generated collection, medians and the machine's load.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

inline std::string quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline int shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Stops the benchmark when `command` fails: a figure of a run that did not
// do its work would mean nothing.
inline void must(const std::string& command) {
    if (shell(command) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

// Seconds `command` took; stops the benchmark when it fails.
inline double seconds(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const int status = shell(command);
    const double taken = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) {
        std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
        std::exit(1);
    }
    return taken;
}

// A new private folder quorvane-<name>-XXXXXX under $TMPDIR when it is set
// (to measure on another file system), else under /tmp; stops the benchmark
// when it cannot be made.
inline fs::path makeTempFolder(const std::string& name) {
    const char* root = std::getenv("TMPDIR");
    std::string pattern = std::string(root && *root ? root : "/tmp") + "/quorvane-" + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    return pattern;
}

// Reads every file under the folders, so that timings run from the page cache.
inline void warm(const std::vector<fs::path>& folders) {
    for (const fs::path& f : folders) must("find " + quote(f.string()) + " -type f -exec cat {} + > /dev/null");
}

inline void writeSettings(const fs::path& home, const fs::path& base, const fs::path& source) {
    fs::create_directories(home);
    std::ofstream ini(home / "quorvane.INI");
    ini << "[Quorvane]\nbasedir=" << base.string() << "\nsourcedir=" << source.string() << "\n";
    for (const char* key : {"tosecdir", "gooddir", "arcadedir", "arcadeunemudir", "miscdir", "customdir"})
        ini << key << "=$BASEDIR$\n";
}

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Where used folders go instead of being deleted. On ext4 without a journal,
// making a file passes over every inode freed in the last minute (five, while
// its inode table block is dirty), so a deletion just before a step would
// bill that step for it. The trash goes when the bench's own folder does.
class Trash {
public:
    explicit Trash(fs::path folder) : folder_(std::move(folder)) { fs::create_directories(folder_); }
    void put(const fs::path& path) {
        if (fs::exists(path)) fs::rename(path, folder_ / std::to_string(count_++));
    }

private:
    fs::path folder_;
    int count_ = 0;
};

// The first three fields of /proc/loadavg.
inline std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

}  // namespace bench
