// quorvane settings: prints every process-wide value, then every value a system has of its own.
// quorvane settings get KEY | settings set KEY VALUE: one value, checked before it is written.
// With --system NAME, get and set work on that system's value of a per-system key.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "core/settings_keys.h"
#include "core/text.h"
#include "jobs/catalogue_jobs.h"

namespace quorvane {

namespace {

struct Options {
    std::string key;
    std::string value;
    std::string system;
    bool forSystem = false;  // --system given (an empty name is still a name to refuse)
};

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

int printAll(const CliContext& ctx) {
    Settings s;
    if (!ctx.loadSettings(s)) return kExitUsage;
    for (const std::string& key : settingKeys()) {
        std::string value;
        settingValue(s, key, value);
        std::printf("%s = %s\n", key.c_str(), terminalText(value).c_str());
    }
    for (const OwnSystemValue& own : ownSystemValues(s))
        std::printf("%s[%s] = %s\n", own.key.c_str(), terminalText(own.system).c_str(),
                    terminalText(own.value).c_str());
    return kExitOk;
}

// A per-system key and a system of the current category, as other commands
// name systems; kExitOk or the status to exit with (said on stderr).
int checkSystemKey(const CliContext& ctx, const Settings& s, const Options& o) {
    if (const std::string problem = systemKeyProblem(o.key); !problem.empty()) {
        std::fprintf(stderr, "%s\n", terminalText(problem).c_str());
        return kExitUsage;
    }
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(s);
    if (!db) return kExitFailed;
    return checkSystemNames(db->catalogue(), {o.system});
}

int runGet(const CliContext& ctx, const Options& o) {
    Settings s;
    if (!ctx.loadSettings(s)) return kExitUsage;
    std::string value;
    if (o.forSystem) {
        if (const int rc = checkSystemKey(ctx, s, o)) return rc;
        systemSettingValue(s, o.system, o.key, value);
    } else if (!settingValue(s, o.key, value)) {
        std::fprintf(stderr, "There is no setting \"%s\". The settings are: %s.\n", terminalText(o.key).c_str(),
                     listed(settingKeys()).c_str());
        return kExitUsage;
    }
    std::printf("%s\n", terminalText(value).c_str());
    return kExitOk;
}

int runSet(const CliContext& ctx, const Options& o) {
    Settings s;
    if (!ctx.loadSettings(s)) return kExitUsage;
    std::string note;
    std::string error;
    if (!o.forSystem) {
        error = setSetting(s, o.key, o.value, &note);
    } else {
        // A system's own value can always be dropped, even once the system is gone from the catalogue.
        if (o.value != kGlobalValueWord)
            if (const int rc = checkSystemKey(ctx, s, o)) return rc;
        error = setSystemSetting(s, o.system, o.key, o.value);
    }
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
    CLI::App* cmd =
        app.add_subcommand("settings",
                           "Print the settings in effect, one \"key = value\" per line, then each system's own as "
                           "\"key[SYSTEM] = value\"");
    cmd->require_subcommand(0, 1);
    const std::string systemHelp = "A system of the current category, for a setting it may have its own value of (" +
                                   listed(systemSettingKeys()) + ")";
    CLI::App* get = cmd->add_subcommand("get", "Print one setting's value (with --system, the one the system uses)");
    get->add_option("KEY", o->key, "The setting, as 'settings' names it")->required();
    CLI::Option* getSystem = get->add_option("--system", o->system, systemHelp);
    get->callback([&ctx, o, getSystem] {
        o->forSystem = getSystem->count() > 0;
        ctx.action = [&ctx, o] { return runGet(ctx, *o); };
    });
    CLI::App* set =
        cmd->add_subcommand("set", std::string("Change one setting in the settings file; with --system, the value '") +
                                       kGlobalValueWord + "' puts the system back on the global setting");
    set->add_option("KEY", o->key, "The setting, as 'settings' names it")->required();
    set->add_option("VALUE", o->value, "Its new value")->required();
    CLI::Option* setSystem = set->add_option("--system", o->system, systemHelp);
    set->callback([&ctx, o, setSystem] {
        o->forSystem = setSystem->count() > 0;
        ctx.action = [&ctx, o] { return runSet(ctx, *o); };
    });
    cmd->callback([&ctx, cmd] {
        if (cmd->get_subcommands().empty()) ctx.action = [&ctx] { return printAll(ctx); };
    });
}

}  // namespace quorvane
