// quorvane settings: prints every process-wide value.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "core/text.h"

namespace quorvane {

void addSettingsCommand(CLI::App& app, CliContext& ctx) {
    CLI::App* cmd = app.add_subcommand("settings", "Print the settings in effect, one \"key = value\" per line");
    cmd->callback([&ctx] {
        ctx.action = [&ctx] {
            Settings s;
            if (!ctx.loadSettings(s)) return kExitUsage;
            auto line = [](const char* key, const std::string& value) {
                std::printf("%s = %s\n", key, terminalText(value).c_str());
            };
            line("Top", std::to_string(s.top));
            line("Left", std::to_string(s.left));
            line("InitMax", s.initMax ? "1" : "0");
            line("useMD5", s.useMD5 ? "1" : "0");
            line("useSHA1", s.useSHA1 ? "1" : "0");
            line("basedir", s.basedir);
            line("sourcedir", s.sourcedir);
            line("currentdb", s.currentdb);
            for (const Category& c : kCategories) line(c.folderKey.data(), s.folderOf(c));
            line("categoryDir", s.categoryDir);
            line("databasesDir", s.databasesDir);
            line("settingsFile", s.settingsPath);
            return kExitOk;
        };
    });
}

}  // namespace quorvane
