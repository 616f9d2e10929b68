// quorvane history | undo: the runs that changed a collection, and taking one back.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "core/text.h"
#include "engine/analysis_text.h"
#include "engine/run_undo.h"
#include "jobs/catalogue_jobs.h"
#include "jobs/undo_flow.h"

namespace quorvane {

namespace {

struct UndoOptions {
    std::string run;
    bool yes = false;
    bool force = false;
};

int runHistory(const CliContext& ctx) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    const std::vector<RunSummary> runs = listRuns(settings.backupDir);
    if (runs.empty()) {
        std::printf("No run has been recorded in %s.\n", terminalText(settings.backupDir).c_str());
        return kExitOk;
    }
    // The run's name (its backup folder) is what undo takes.
    for (const RunSummary& run : runs)
        std::printf("%s\t%s\t%s\t%s\t%zu steps\t%s\n", analysis_text::timeStamp(run.started).c_str(),
                    terminalText(run.id).c_str(), terminalText(run.command).c_str(),
                    terminalText(runSystemsText(run)).c_str(), run.steps, runStateText(run));
    return kExitOk;
}

int runUndo(const CliContext& ctx, const UndoOptions& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    const std::vector<RunSummary> runs = listRuns(settings.backupDir);
    const RunSummary* run = o.run.empty() ? lastRunToUndo(runs) : runNamed(runs, o.run);
    if (!run) {
        std::fprintf(stderr, "%s\n",
                     o.run.empty() ? "There is no run to undo."
                                   : terminalText(noSuchRunText(o.run, settings.backupDir)).c_str());
        return kExitFailed;
    }
    if (run->undone) {
        std::fprintf(stderr, "%s\n", terminalText(alreadyUndoneText(*run)).c_str());
        return kExitFailed;
    }
    ConsoleHost host;
    if (o.yes) host.setQuestionPolicy(QuestionPolicy::Yes);
    if (!host.askYesAbort(undoQuestion(*run))) {
        std::fprintf(stderr, "Nothing was changed.\n");
        return kExitFailed;
    }
    const UndoResult result = undoRun(*run, o.force);
    for (const std::string& message : result.messages) std::fprintf(stderr, "%s\n", terminalText(message).c_str());
    if (result.outcome == UndoResult::Outcome::Refused) {
        std::fprintf(stderr, "Nothing was changed. --force undoes it anyway, keeping the newer files in %s.\n",
                     terminalText(undoneFolderOf(*run)).c_str());
        return kExitFailed;
    }
    // What the catalogue said of these systems is no longer true.
    std::vector<std::string> cleared;
    if (std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings))
        cleared = clearStatusesOfRun(db->catalogue(), *run);
    if (result.outcome == UndoResult::Outcome::Failed) return kExitFailed;
    std::printf("%s\n", terminalText(undoneText(*run, result)).c_str());
    // Only systems the catalogue has: a tool's run names the folders it was given.
    if (!cleared.empty()) {
        RunSummary clearedOnly;
        clearedOnly.systems = cleared;
        std::printf("The statuses of %s were cleared: scan to see the collection as it is now.\n",
                    terminalText(runSystemsText(clearedOnly)).c_str());
    }
    return kExitOk;
}

}  // namespace

void addUndoCommands(CLI::App& app, CliContext& ctx) {
    CLI::App* h = app.add_subcommand("history", "List the runs that changed the collection and can be undone");
    h->callback([&ctx] { ctx.action = [&ctx] { return runHistory(ctx); }; });

    auto undo = std::make_shared<UndoOptions>();
    CLI::App* u = app.add_subcommand("undo", "Take a run back (default: the last one not undone)");
    u->add_option("RUN", undo->run, "The run, as history names it");
    u->add_flag("--yes", undo->yes, "Do not ask");
    u->add_flag("--force", undo->force, "Undo even over files changed since the run, keeping them aside");
    u->callback([&ctx, undo] { ctx.action = [&ctx, undo] { return runUndo(ctx, *undo); }; });
}

}  // namespace quorvane
