// The DAT import end to end (both passes) on synthetic DATs of the same sets
// in both syntaxes, so one run compares the readers. Targets for 40,000 games
// and 300,000 ROMs: at least 100,000 ROM rows per second, and the XML reader
// no slower than the parenthesised one. Peak memory is measured on the
// command line (see make_dat).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "catalogue/catalogue.h"
#include "core/settings.h"
#include "core/silent_host.h"
#include "generators/dat_generator.h"
#include "import/import_job.h"

namespace quorvane {
namespace {

using DatWriter = size_t (*)(const std::string&, const bench::DatShape&);

void importDat(benchmark::State& state, DatWriter writeDat) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("quorvane-import-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir / "databases");
    const std::string dat = (dir / "bench.dat").string();
    bench::DatShape shape;
    shape.games = static_cast<size_t>(state.range(0));
    shape.roms = static_cast<size_t>(state.range(1));
    const size_t roms = writeDat(dat, shape);
    Settings settings;
    settings.databasesDir = (dir / "databases").string() + "/";
    SilentHost host(true);
    for (auto _ : state) {
        state.PauseTiming();
        auto db = std::make_shared<Catalogue>(settings.currentDatabasePath());
        db->deleteDB();
        state.ResumeTiming();
        ImportJob job(host, db, settings, {dat});
        job.prepare();
        job.execute();
    }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(roms) * state.iterations(),
                                                  benchmark::Counter::kIsRate);
    fs::remove_all(dir);
}

BENCHMARK_CAPTURE(importDat, parenthesised, bench::writeParenthesisedDat)
    ->Args({4000, 30000})
    ->Args({40000, 300000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(importDat, xml, bench::writeXmlDat)
    ->Args({4000, 30000})
    ->Args({40000, 300000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace quorvane

BENCHMARK_MAIN();
