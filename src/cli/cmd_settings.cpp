// quorvane settings: prints every process-wide value.
// quorvane settings get KEY | settings set KEY VALUE: one value, checked before it is written.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "core/settings_keys.h"
#include "core/text.h"

namespace quorvane {

namespace {

struct Options {
    std::string key;
    std::string value;
};

int printAll(const CliContext& ctx) {
    Settings s;
    if (!ctx.loadSettings(s)) return kExitUsage;
    for (const std::string& key : settingKeys()) {
        std::string value;
        settingValue(s, key, value);
        std::printf("%s = %s\n", key.c_str(), terminalText(value).c_str());
    }
    return kExitOk;
}

int runGet(const CliContext& ctx, const Options& o) {
    Settings s;
    if (!ctx.loadSettings(s)) return kExitUsage;
    std::string value;
    if (!settingValue(s, o.key, value)) {
        std::string keys;
        for (const std::string& k : settingKeys()) keys += (keys.empty() ? "" : ", ") + k;
        std::fprintf(stderr, "There is no setting \"%s\". The settings are: %s.\n", terminalText(o.key).c_str(),
                     keys.c_str());
        return kExitUsage;
    }
    std::printf("%s\n", terminalText(value).c_str());
    return kExitOk;
}

int runSet(const CliContext& ctx, const Options& o) {
    Settings s;
    if (!ctx.loadSettings(s)) return kExitUsage;
    std::string note;
    const std::string error = setSetting(s, o.key, o.value, &note);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", terminalText(error).c_str());
        // A refused value is the caller's mistake; a file that cannot be written is not.
        return error.rfind("Cannot write", 0) == 0 ? kExitFailed : kExitUsage;
    }
    if (!note.empty()) std::fprintf(stderr, "%s\n", terminalText(note).c_str());
    return kExitOk;
}

}  // namespace

void addSettingsCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand("settings", "Print the settings in effect, one \"key = value\" per line");
    cmd->require_subcommand(0, 1);
    CLI::App* get = cmd->add_subcommand("get", "Print one setting's value");
    get->add_option("KEY", o->key, "The setting, as 'settings' names it")->required();
    get->callback([&ctx, o] { ctx.action = [&ctx, o] { return runGet(ctx, *o); }; });
    CLI::App* set = cmd->add_subcommand("set", "Change one setting in the settings file");
    set->add_option("KEY", o->key, "The setting, as 'settings' names it")->required();
    set->add_option("VALUE", o->value, "Its new value")->required();
    set->callback([&ctx, o] { ctx.action = [&ctx, o] { return runSet(ctx, *o); }; });
    cmd->callback([&ctx, cmd] {
        if (cmd->get_subcommands().empty()) ctx.action = [&ctx] { return printAll(ctx); };
    });
}

}  // namespace quorvane
