// quorvane scan SYSTEM... | --all: checks system folders without changing a file.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "db/roms_db.h"

namespace quorvane {

namespace {

struct ScanOptions {
    std::vector<std::string> systems;
    bool all = false;
};

int runScan(const CliContext& ctx, const ScanOptions& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<RomsDB> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    std::vector<std::string> systems = o.all ? db->getSystems() : o.systems;
    for (const std::string& s : systems) {
        if (!db->impl().hasSystem(s)) {
            std::fprintf(stderr, "There is no system \"%s\" in this category.\n", s.c_str());
            return kExitUsage;
        }
    }
    ConsoleHost host;
    const bool started = !o.all && systems.size() == 1 ? db->scanSystem(host, settings, systems[0])
                                             : db->scanAll(host, settings, std::move(systems));
    if (!started) return kExitFailed;
    db->waitForJob();
    return kExitOk;
}

}  // namespace

void addScanCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<ScanOptions>();
    CLI::App* cmd = app.add_subcommand("scan", "Check system folders against the catalogue (changes no file)");
    CLI::Option* names = cmd->add_option("SYSTEM", o->systems, "Systems to scan, in this order");
    CLI::Option* all = cmd->add_flag("--all", o->all, "Scan every system of the category")->excludes(names);
    cmd->callback([&ctx, o, names, all] {
        if (names->count() == 0 && all->count() == 0) throw CLI::RequiredError("SYSTEM or --all");
        ctx.action = [&ctx, o] { return runScan(ctx, *o); };
    });
}

}  // namespace quorvane
