// quorvane misshave SYSTEM... | --all: the miss/have lists.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "core/text.h"
#include "jobs/catalogue_jobs.h"
#include "tools/miss_have_lists.h"

namespace quorvane {

namespace {

struct Options {
    std::vector<std::string> systems;
    bool all = false;
};

int runMissHave(const CliContext& ctx, const Options& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    if (o.all) {
        ConsoleHost host;
        std::vector<std::string> systems = db->catalogue().getSystems();
        if (!db->startMissHave(host, settings, std::move(systems))) {
            if (db->catalogue().lastError().empty()) std::fprintf(stderr, "%s\n", kAnotherJobRunning);
            return kExitFailed;
        }
        db->wait();
        return host.failedSteps() > 0 ? kExitFailed : kExitOk;
    }
    if (const int rc = checkSystemNames(db->catalogue(), o.systems)) return rc;
    int rc = kExitOk;
    for (const std::string& system : o.systems) {
        for (const ListOutcome& list : {writeHaveList(db->catalogue(), settings.basedir, system),
                                        writeMissList(db->catalogue(), settings.basedir, system)}) {
            if (!list.error.empty()) {
                std::fprintf(stderr, "%s\n", terminalText(list.error).c_str());
                rc = kExitFailed;
            } else {
                std::printf("%s\n", terminalText(list.summary).c_str());
            }
        }
    }
    return rc;
}

}  // namespace

void addMissHaveCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<Options>();
    CLI::App* c = app.add_subcommand("misshave", "Write the miss/have lists of systems (below the base folder)");
    auto* systems = c->add_option("SYSTEM", o->systems, "System names");
    c->add_flag("--all", o->all, "Every system of the category, with the two summary files")->excludes(systems);
    c->callback([&ctx, o] {
        if (!o->all && o->systems.empty()) throw CLI::RequiredError("SYSTEM or --all");
        ctx.action = [&ctx, o] { return runMissHave(ctx, *o); };
    });
}

}  // namespace quorvane
