// quorvane rebuild [FOLDER] | --files PATH... [--dupes ask|all|never|name]:
// fills sets from source files.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <map>

#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "jobs/catalogue_jobs.h"

namespace quorvane {

namespace {

struct RebuildOptions {
    std::string folder;
    std::vector<std::string> files;
    std::string dupes = "ask";
};

int runRebuild(const CliContext& ctx, const RebuildOptions& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    ConsoleHost host;
    const std::map<std::string, DupesPolicy> policies{
        {"ask", DupesPolicy::Ask}, {"all", DupesPolicy::All}, {"never", DupesPolicy::Never}, {"name", DupesPolicy::Name}};
    host.setDupesPolicy(policies.at(o.dupes));
    bool started;
    if (!o.files.empty()) {
        started = db->startRebuild(host, settings, o.files);
    } else {
        const std::string folder = o.folder.empty() ? settings.sourcedir : o.folder;
        if (folder.empty()) {
            std::fprintf(stderr, "No source folder: give FOLDER or set sourcedir in the settings.\n");
            return kExitUsage;
        }
        started = db->startRebuild(host, settings, folder);
    }
    if (!started) return kExitFailed;
    db->wait();
    return host.failedSteps() > 0 ? kExitFailed : kExitOk;
}

}  // namespace

void addRebuildCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<RebuildOptions>();
    CLI::App* cmd = app.add_subcommand("rebuild", "Fill sets from source files (the sources are never changed)");
    CLI::Option* folder =
        cmd->add_option("FOLDER", o->folder, "Source folder, walked recursively (default: the sourcedir setting)");
    cmd->add_option("--files", o->files, "Rebuild from these files instead of a folder")->excludes(folder);
    cmd->add_option("--dupes", o->dupes,
                    "When a file matches several ROMs: ask, all, never, or name (only matching ROM names); "
                    "without a terminal, ask builds all of them")
        ->check(CLI::IsMember({"ask", "all", "never", "name"}));
    cmd->callback([&ctx, o] { ctx.action = [&ctx, o] { return runRebuild(ctx, *o); }; });
}

}  // namespace quorvane
