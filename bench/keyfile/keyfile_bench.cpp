// The catalogue's workload on the key file engine and on SQLite, side by
// side: a million inserts of short, heavily duplicated keys (CRC + size
// texts), a million finds, a full walk, and deleting a tenth of the keys.
// Prints the time ratio key file / SQLite of each phase; the target is a
// ratio of at most 1.0.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "keyfile/key_file.h"

namespace {

using Clock = std::chrono::steady_clock;

// This thread's CPU seconds: on a busy shared machine they vary far less
// than wall time, so the ratio is printed for both.
double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Start {
    Clock::time_point wall = Clock::now();
    double cpu = cpuNow();
};

struct Workload {
    std::vector<std::string> keys;   // in insertion order
    std::vector<std::string> data;
    std::vector<size_t> findOrder;   // indexes into keys
    std::vector<size_t> deleteOrder;
};

int count() {
    const char* n = std::getenv("KEYFILE_BENCH_RECORDS");
    return n ? std::atoi(n) : 1000000;
}

const Workload& workload() {
    static const Workload made = [] {
        Workload w;
        const int n = count();
        std::mt19937_64 rng(42);
        // About four records per key, as the same ROM recurs across sets.
        std::vector<std::string> distinct;
        for (int i = 0; i < n / 4; ++i) {
            char buf[32];
            const unsigned crc = static_cast<unsigned>(rng());
            const unsigned long long size = rng() % (rng() % 2 ? 100000ULL : 100000000000ULL);
            std::snprintf(buf, sizeof buf, "%08x%llu", crc, size + 1000);
            distinct.emplace_back(buf);
        }
        for (int i = 0; i < n; ++i) {
            w.keys.push_back(distinct[rng() % distinct.size()]);
            w.data.push_back(std::to_string(i * 61ULL));
        }
        for (int i = 0; i < n; ++i) w.findOrder.push_back(rng() % w.keys.size());
        std::vector<size_t> all(w.keys.size());
        for (size_t i = 0; i < all.size(); ++i) all[i] = i;
        std::shuffle(all.begin(), all.end(), rng);
        w.deleteOrder.assign(all.begin(), all.begin() + n / 10);
        return w;
    }();
    return made;
}

std::string folder() {
    static const std::string dir = [] {
        std::string d = (std::filesystem::temp_directory_path() / "quorvane-keyfile-bench").string();
        std::filesystem::remove_all(d);
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

std::map<std::string, double> g_seconds;  // "phase/engine" -> wall seconds
std::map<std::string, double> g_cpu;      // "phase/engine" -> CPU seconds

void record(benchmark::State& state, const std::string& name, const Start& start) {
    const double s = std::chrono::duration<double>(Clock::now() - start.wall).count();
    state.SetIterationTime(s);
    g_seconds[name] = s;
    g_cpu[name] = cpuNow() - start.cpu;
}

// --- key file ---------------------------------------------------------------

quorvane::KeyFile* g_kf = nullptr;

void KeyFileInsert(benchmark::State& state) {
    const Workload& w = workload();
    for (auto _ : state) {
        std::filesystem::remove(folder() + "/bench.idx");
        g_kf = quorvane::keyFileCreate(folder() + "/bench.idx");
        const Start start;
        for (size_t i = 0; i < w.keys.size(); ++i)
            if (quorvane::keyFileInsert(g_kf, w.keys[i].data(), static_cast<int>(w.keys[i].size()), w.data[i].data(),
                                        static_cast<int>(w.data[i].size())) != 0)
                state.SkipWithError("insert failed");
        record(state, "insert/keyfile", start);
    }
}

void KeyFileFind(benchmark::State& state) {
    const Workload& w = workload();
    char data[64];
    for (auto _ : state) {
        const Start start;
        for (size_t i : w.findOrder) {
            const std::string& k = w.keys[i];
            if (quorvane::keyFileFind(g_kf, quorvane::kFindFirstEqual, k.data(), static_cast<int>(k.size()), nullptr,
                                      nullptr) < 0 ||
                quorvane::keyFileRead(g_kf, data, 0) < 0)
                state.SkipWithError("find failed");
        }
        record(state, "find/keyfile", start);
    }
}

void KeyFileWalk(benchmark::State& state) {
    char key[256], data[64];
    int keyLen = 0;
    for (auto _ : state) {
        const Start start;
        size_t n = 0;
        for (int rc = quorvane::keyFileFirst(g_kf, key, &keyLen); rc >= 0; rc = quorvane::keyFileNext(g_kf, key, &keyLen)) {
            quorvane::keyFileRead(g_kf, data, 0);
            ++n;
        }
        record(state, "walk/keyfile", start);
        if (n != workload().keys.size()) state.SkipWithError("walk incomplete");
    }
}

void KeyFileDelete(benchmark::State& state) {
    const Workload& w = workload();
    for (auto _ : state) {
        const Start start;
        for (size_t i : w.deleteOrder) {
            const std::string& k = w.keys[i];
            if (quorvane::keyFileFind(g_kf, quorvane::kFindFirstEqual, k.data(), static_cast<int>(k.size()), nullptr,
                                      nullptr) < 0 ||
                quorvane::keyFileDelete(g_kf) != 0)
                state.SkipWithError("delete failed");
        }
        record(state, "delete/keyfile", start);
        const auto close = Clock::now();
        quorvane::keyFileClose(g_kf);
        g_seconds["close/keyfile"] = std::chrono::duration<double>(Clock::now() - close).count();
    }
}

// --- SQLite -------------------------------------------------------------------

sqlite3* g_db = nullptr;

sqlite3_stmt* prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(g_db, sql, -1, &s, nullptr) != SQLITE_OK) std::abort();
    return s;
}

void SqliteInsert(benchmark::State& state) {
    const Workload& w = workload();
    for (auto _ : state) {
        std::filesystem::remove(folder() + "/bench.sqlite");
        sqlite3_open((folder() + "/bench.sqlite").c_str(), &g_db);
        sqlite3_exec(g_db, "CREATE TABLE t(k BLOB, d BLOB); CREATE INDEX tk ON t(k); BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* ins = prepare("INSERT INTO t(k, d) VALUES(?, ?)");
        const Start start;
        for (size_t i = 0; i < w.keys.size(); ++i) {
            sqlite3_bind_blob(ins, 1, w.keys[i].data(), static_cast<int>(w.keys[i].size()), SQLITE_STATIC);
            sqlite3_bind_blob(ins, 2, w.data[i].data(), static_cast<int>(w.data[i].size()), SQLITE_STATIC);
            if (sqlite3_step(ins) != SQLITE_DONE) state.SkipWithError("insert failed");
            sqlite3_reset(ins);
        }
        record(state, "insert/sqlite", start);
        sqlite3_finalize(ins);
    }
}

void SqliteFind(benchmark::State& state) {
    const Workload& w = workload();
    sqlite3_stmt* sel = prepare("SELECT d FROM t WHERE k = ? ORDER BY rowid LIMIT 1");
    char data[64];
    for (auto _ : state) {
        const Start start;
        for (size_t i : w.findOrder) {
            sqlite3_bind_blob(sel, 1, w.keys[i].data(), static_cast<int>(w.keys[i].size()), SQLITE_STATIC);
            if (sqlite3_step(sel) != SQLITE_ROW) state.SkipWithError("find failed");
            std::memcpy(data, sqlite3_column_blob(sel, 0), static_cast<size_t>(sqlite3_column_bytes(sel, 0)));
            sqlite3_reset(sel);
        }
        record(state, "find/sqlite", start);
    }
    sqlite3_finalize(sel);
}

void SqliteWalk(benchmark::State& state) {
    sqlite3_stmt* all = prepare("SELECT k, d FROM t ORDER BY k, rowid");
    char key[256], data[64];
    for (auto _ : state) {
        const Start start;
        size_t n = 0;
        while (sqlite3_step(all) == SQLITE_ROW) {
            std::memcpy(key, sqlite3_column_blob(all, 0), static_cast<size_t>(sqlite3_column_bytes(all, 0)));
            std::memcpy(data, sqlite3_column_blob(all, 1), static_cast<size_t>(sqlite3_column_bytes(all, 1)));
            ++n;
        }
        sqlite3_reset(all);
        record(state, "walk/sqlite", start);
        if (n != workload().keys.size()) state.SkipWithError("walk incomplete");
    }
    sqlite3_finalize(all);
}

void SqliteDelete(benchmark::State& state) {
    const Workload& w = workload();
    sqlite3_stmt* del = prepare("DELETE FROM t WHERE rowid = (SELECT rowid FROM t WHERE k = ? ORDER BY rowid LIMIT 1)");
    for (auto _ : state) {
        const Start start;
        for (size_t i : w.deleteOrder) {
            sqlite3_bind_blob(del, 1, w.keys[i].data(), static_cast<int>(w.keys[i].size()), SQLITE_STATIC);
            if (sqlite3_step(del) != SQLITE_DONE || sqlite3_changes(g_db) != 1) state.SkipWithError("delete failed");
            sqlite3_reset(del);
        }
        record(state, "delete/sqlite", start);
        sqlite3_finalize(del);
        const auto close = Clock::now();
        sqlite3_exec(g_db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(g_db);
        g_seconds["close/sqlite"] = std::chrono::duration<double>(Clock::now() - close).count();
    }
}

// Phases in order; each engine's state carries over to its next phase.
#define PHASE(fn) BENCHMARK(fn)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond)
PHASE(KeyFileInsert);
PHASE(SqliteInsert);
PHASE(KeyFileFind);
PHASE(SqliteFind);
PHASE(KeyFileWalk);
PHASE(SqliteWalk);
PHASE(KeyFileDelete);
PHASE(SqliteDelete);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    workload();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\n%-8s %10s %10s %7s %10s %10s %7s   (%d records; ratio = key file / SQLite, target <= 1.0)\n",
                "phase", "keyfile s", "sqlite s", "ratio", "kf cpu s", "sql cpu s", "cpu rt", count());
    for (const char* phase : {"insert", "find", "walk", "delete", "close"}) {
        const std::string kfName = std::string(phase) + "/keyfile", sqName = std::string(phase) + "/sqlite";
        const auto kf = g_seconds.find(kfName);
        const auto sq = g_seconds.find(sqName);
        if (kf == g_seconds.end() || sq == g_seconds.end()) continue;
        const double kc = g_cpu.count(kfName) ? g_cpu[kfName] : 0, sc = g_cpu.count(sqName) ? g_cpu[sqName] : 0;
        std::printf("%-8s %10.3f %10.3f %7.2f %10.3f %10.3f %7.2f\n", phase, kf->second, sq->second,
                    kf->second / sq->second, kc, sc, sc > 0 ? kc / sc : 0.0);
    }
    std::filesystem::remove_all(folder());
    return 0;
}
