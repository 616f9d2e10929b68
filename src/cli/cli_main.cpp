#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "core/allocator_tuning.h"
#include "core/categories.h"
#include "core/program_folders.h"
#include "core/text.h"
#include "core/version.h"
#include "jobs/catalogue_jobs.h"

namespace quorvane {

bool CliContext::loadSettings(Settings& out, bool quiet) const {
    std::vector<std::string> warnings;
    out = quorvane::loadSettings(locateProgramFolders(home), &warnings);
    if (!quiet)
        for (const std::string& w : warnings) std::fprintf(stderr, "%s\n", terminalText(w).c_str());
    if (!category.empty()) {
        const Category* c = categoryByAnyName(category);
        if (!c) {
            if (quiet) return false;
            std::fprintf(stderr, "Unknown category \"%s\". The categories are:", terminalText(category).c_str());
            for (const Category& known : kCategories) std::fprintf(stderr, " \"%s\"", known.displayName.data());
            std::fprintf(stderr, ".\n");
            return false;
        }
        out.selectCategory(*c);
    }
    return true;
}

std::unique_ptr<CatalogueJobs> CliContext::openDatabase(const Settings& settings) const {
    if (!ensureDatabasesFolder(settings)) {
        std::fprintf(stderr, "Cannot create the databases folder %s\n", settings.databasesDir.c_str());
        return nullptr;
    }
    return std::make_unique<CatalogueJobs>(settings.currentDatabasePath());
}

int runCli(int argc, char** argv, const std::function<int(const CliContext&)>& withoutCommand) {
    CLI::App app{"Quorvane: keeps ROM-set collections complete and correct.", "quorvane"};
    app.require_subcommand(0, 1);
    app.set_version_flag("--version", std::string(kProgramName) + " " + kVersion);
    CliContext ctx;
    app.add_option("--home", ctx.home, "Keep the settings file, databases and backups in DIR")->option_text("DIR");
    app.add_option("--category", ctx.category,
                   "Work on this category (Tosec, Good, Arcade, ArcadeUnemu, Miscellaneous, Custom)")
        ->option_text("NAME");

    // Help lists the commands in this order.
    for (auto* add : {&addSettingsCommand, &addImportCommand, &addCatalogueCommands, &addDatabaseCommands,
                      &addCheckCommands,
                      &addScanCommand, &addFixCommand, &addRebuildCommand, &addMissHaveCommand, &addStatsCommand,
                      &addExportCommand, &addFormatsCommand, &addIdentifyCommand, &addZipCommands, &addTorrentZipCommand, &addDemoCommand,
                      &addUndoCommands})
        add(app, ctx);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }
    // The restart is no use to a command over in milliseconds.
    if (ctx.action && ctx.heapStep > 0) restartWithTunedAllocator(argv, ctx.heapStep);
    if (!ctx.action && withoutCommand) return withoutCommand(ctx);
    if (!ctx.action) {
        std::fputs(app.help().c_str(), stdout);
        return kExitOk;
    }
    return ctx.action();
}

}  // namespace quorvane
