// quorvane delete-system | clean | delete-db: the database actions.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "core/text.h"
#include "jobs/catalogue_jobs.h"

namespace quorvane {

namespace {

struct Options {
    std::string system;
    bool yes = false;
};

int runDeleteSystem(const CliContext& ctx, const Options& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    if (const int rc = checkSystemNames(db->catalogue(), {o.system})) return rc;
    if (!db->catalogue().deleteSystem(o.system)) {
        std::fprintf(stderr, "%s\n", terminalText(db->catalogue().lastError()).c_str());
        return kExitFailed;
    }
    std::printf("Deleted system %s.\n", terminalText(o.system).c_str());
    return kExitOk;
}

int runConfirmed(const CliContext& ctx, const Options& o, const char* question, bool clean) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    ConsoleHost host;
    if (o.yes) host.setQuestionPolicy(QuestionPolicy::Yes);
    // Declined, or no terminal to ask and no --yes: the command did not run.
    if (!host.askYesAbort(question)) {
        std::fprintf(stderr, "Nothing was changed.\n");
        return kExitFailed;
    }
    if (clean) db->catalogue().cleanStatus();
    else db->catalogue().deleteDB();
    const std::string error = db->catalogue().lastError();
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", terminalText(error).c_str());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

void addDatabaseCommands(CLI::App& app, CliContext& ctx) {
    auto del = std::make_shared<Options>();
    CLI::App* d = app.add_subcommand("delete-system", "Delete one system from the current database");
    d->add_option("SYSTEM", del->system, "System name")->required();
    d->callback([&ctx, del] { ctx.action = [&ctx, del] { return runDeleteSystem(ctx, *del); }; });

    auto clean = std::make_shared<Options>();
    CLI::App* c = app.add_subcommand("clean", "Set every ROM of the current database back to missing");
    c->add_flag("--yes", clean->yes, "Do not ask");
    c->callback([&ctx, clean] {
        ctx.action = [&ctx, clean] {
            return runConfirmed(ctx, *clean, "Are you sure you want to clean roms status?", true);
        };
    });

    auto wipe = std::make_shared<Options>();
    CLI::App* w = app.add_subcommand("delete-db", "Delete the whole database of the current category");
    w->add_flag("--yes", wipe->yes, "Do not ask");
    w->callback([&ctx, wipe] {
        ctx.action = [&ctx, wipe] {
            return runConfirmed(ctx, *wipe, "Are you sure you want to delete the whole DB?", false);
        };
    });
}

}  // namespace quorvane
