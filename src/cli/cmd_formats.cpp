// quorvane formats [list] | formats show NAME | formats save NAME
// [--system-template T]... [--game-template T]... [--rom-template T]...:
// the custom export formats kept in the settings file.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "cli/cli_context.h"
#include "core/text.h"
#include "tools/file_formats.h"

namespace quorvane {

namespace {

struct Options {
    std::string name;
    ExportFormat format;
};

int runList(const CliContext& ctx) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    for (const std::string& name : listFormats(settings.settingsPath)) std::printf("%s\n", terminalText(name).c_str());
    return kExitOk;
}

int runShow(const CliContext& ctx, const Options& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    const std::vector<std::string> known = listFormats(settings.settingsPath);
    if (std::find(known.begin(), known.end(), o.name) == known.end()) {
        std::fprintf(stderr, "No format named \"%s\" in %s.\n", terminalText(o.name).c_str(),
                     terminalText(settings.settingsPath).c_str());
        return kExitUsage;
    }
    const ExportFormat f = loadFormat(settings.settingsPath, o.name);
    std::printf("system=%s\ngame=%s\nrom=%s\n", terminalText(toDelimited(f.system)).c_str(), terminalText(toDelimited(f.game)).c_str(),
                terminalText(toDelimited(f.rom)).c_str());
    return kExitOk;
}

int runSave(const CliContext& ctx, Options o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    o.format.name = o.name;
    std::string error;
    if (!saveFormat(settings.settingsPath, o.format, error)) {
        std::fprintf(stderr, "%s\n", terminalText(error).c_str());
        return formatNameProblem(o.name).empty() ? kExitFailed : kExitUsage;
    }
    return kExitOk;
}

void addTemplateOption(CLI::App* c, const char* name, TemplateLines& lines, const char* help) {
    c->add_option(name, lines, help)
        ->option_text("T")
        ->allow_extra_args(false)
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

}  // namespace

void addFormatsCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<Options>();
    CLI::App* c = app.add_subcommand("formats", "List, show or save custom export formats");
    c->require_subcommand(0, 1);
    CLI::App* list = c->add_subcommand("list", "List the format names (the default)");
    CLI::App* show = c->add_subcommand("show", "Show a format's templates as stored");
    show->add_option("NAME", o->name, "Format name")->required();
    CLI::App* save = c->add_subcommand("save", "Save a format (a new name is registered, an old one overwritten)");
    save->add_option("NAME", o->name, "Format name")->required();
    addTemplateOption(save, "--system-template", o->format.system, "A line of the system template");
    addTemplateOption(save, "--game-template", o->format.game, "A line of the game template");
    addTemplateOption(save, "--rom-template", o->format.rom, "A line of the rom template");

    c->callback([&ctx, o, show, save] {
        if (show->parsed()) ctx.action = [&ctx, o] { return runShow(ctx, *o); };
        else if (save->parsed()) ctx.action = [&ctx, o] { return runSave(ctx, *o); };
        else ctx.action = [&ctx] { return runList(ctx); };
    });
    (void)list;
}

}  // namespace quorvane
