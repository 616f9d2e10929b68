// quorvane import FILE... [--yes | --ignore]: the DAT import job.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "jobs/catalogue_jobs.h"

namespace quorvane {

namespace {

struct ImportOptions {
    std::vector<std::string> files;
    bool yes = false;
    bool ignore = false;
};

int runImport(const CliContext& ctx, const ImportOptions& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    ConsoleHost host;
    host.setQuestionPolicy(o.yes ? QuestionPolicy::Yes : o.ignore ? QuestionPolicy::No : QuestionPolicy::Ask);
    if (!db->startImport(host, settings, o.files)) {
        if (db->catalogue().lastError().empty()) std::fprintf(stderr, "%s\n", kAnotherJobRunning);
        return kExitFailed;
    }
    db->wait();
    return host.failedSteps() > 0 ? kExitFailed : kExitOk;
}

}  // namespace

void addImportCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<ImportOptions>();
    CLI::App* cmd = app.add_subcommand("import", "Import DAT files into the current category");
    cmd->add_option("FILE", o->files, "DAT files, imported in this order")->required();
    CLI::Option* yes = cmd->add_flag("--yes", o->yes, "Replace every system that already exists");
    cmd->add_flag("--ignore", o->ignore, "Keep every system that already exists")->excludes(yes);
    cmd->callback([&ctx, o] { ctx.action = [&ctx, o] { return runImport(ctx, *o); }; });
}

}  // namespace quorvane
