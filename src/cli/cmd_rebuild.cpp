// quorvane rebuild [FOLDER] | --files PATH... [--dupes ask|all|never|name] [--json]:
// fills sets from source files, and ends with a summary or one JSON document.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <map>

#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "cli/json_host.h"
#include "cli/json_writer.h"
#include "cli/report_output.h"
#include "jobs/catalogue_jobs.h"

namespace quorvane {

namespace {

struct RebuildOptions {
    std::string folder;
    std::vector<std::string> files;
    std::string dupes = "ask";
    bool json = false;
};

int runRebuild(const CliContext& ctx, const RebuildOptions& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    JsonHost jsonHost;
    ConsoleHost consoleHost;
    ConsoleHost& host = o.json ? jsonHost : consoleHost;
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
    if (!started) {
        jsonHost.printMessages(stderr);
        return kExitFailed;
    }
    db->wait();
    if (!o.json) {
        printSummary(host.report().get());
    } else if (host.report()) {
        JsonWriter out;
        out.beginObject().field("command", "rebuild");
        writeRebuildReport(out, *host.report());
        jsonHost.writeMessages(out);
        out.endObject();
        std::printf("%s\n", out.text().c_str());
    }
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
    cmd->add_flag("--json", o->json, "Print one JSON document (the summary, each game and each file's action)");
    cmd->callback([&ctx, o] { ctx.action = [&ctx, o] { return runRebuild(ctx, *o); }; });
}

}  // namespace quorvane
