// quorvane export --out FILE (--format NAME | --system-template T
// --game-template T --rom-template T) [--available] [SYSTEM...]: a custom
// export file. Each template option gives one line; repeat it for more.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "core/text.h"
#include "jobs/catalogue_jobs.h"
#include "tools/export_job.h"
#include "tools/export_template.h"
#include "tools/file_formats.h"

namespace quorvane {

namespace {

struct Options {
    std::string out;
    std::string format;
    TemplateLines systemLines, gameLines, romLines;
    bool available = false;
    std::vector<std::string> systems;
};

int runExport(const CliContext& ctx, const Options& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    ExportFormat format{"", o.systemLines, o.gameLines, o.romLines};
    if (!o.format.empty()) {
        const std::vector<std::string> known = listFormats(settings.settingsPath);
        if (std::find(known.begin(), known.end(), o.format) == known.end()) {
            std::fprintf(stderr, "No format named \"%s\" in %s.\n", terminalText(o.format).c_str(),
                         terminalText(settings.settingsPath).c_str());
            return kExitUsage;
        }
        format = loadFormat(settings.settingsPath, o.format);
    }
    const std::string systemText = templateText(format.system);
    const std::string gameText = templateText(format.game);
    const std::string romText = templateText(format.rom);
    if (systemText.empty() && gameText.empty() && romText.empty()) {
        std::fprintf(stderr, "%s\n", kNoValidFormat);
        return kExitUsage;
    }
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    if (const int rc = checkSystemNames(db->catalogue(), o.systems)) return rc;
    std::vector<std::string> systems = o.systems.empty() ? db->catalogue().getSystems() : o.systems;

    // The job's messages decide the exit status: a file that could not be
    // written is reported by "Unable to create file" alone.
    struct Host : ConsoleHost {
        bool failed = false;
        void addMessage(const std::string& text) override {
            if (text == kUnableToCreateFile) failed = true;
            ConsoleHost::addMessage(text);
        }
    } host;
    if (!db->startExport(host, {o.out, std::move(systems), systemText, gameText, romText, o.available ? 1 : 0})) {
        if (db->catalogue().lastError().empty()) std::fprintf(stderr, "%s\n", kAnotherJobRunning);
        return kExitFailed;
    }
    db->wait();
    return host.failed ? kExitFailed : kExitOk;
}

void addTemplateOption(CLI::App* c, const char* name, TemplateLines& lines, const char* help, CLI::Option* format) {
    c->add_option(name, lines, help)
        ->excludes(format)
        ->option_text("T")
        ->allow_extra_args(false)
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

}  // namespace

void addExportCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<Options>();
    CLI::App* c = app.add_subcommand("export", "Write a custom export file of missing (or available) games and ROMs");
    c->add_option("--out", o->out, "The file to write")->required()->option_text("FILE");
    auto* format = c->add_option("--format", o->format, "A format saved with 'formats save'")->option_text("NAME");
    addTemplateOption(c, "--system-template", o->systemLines, "A line of the system template ($SYSTEM$)", format);
    addTemplateOption(c, "--game-template", o->gameLines, "A line of the game template ($SYSTEM$, $GAMENAME$)", format);
    addTemplateOption(c, "--rom-template", o->romLines,
                      "A line of the rom template ($SYSTEM$, $GAMENAME$, $ROMNAME$)", format);
    c->add_flag("--available", o->available, "List available games and ROMs instead of missing ones");
    c->add_option("SYSTEM", o->systems, "Systems to export (default: every system)");
    c->callback([&ctx, o] { ctx.action = [&ctx, o] { return runExport(ctx, *o); }; });
}

}  // namespace quorvane
