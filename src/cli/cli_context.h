// Shared state of one command-line run: global options, the settings they
// select, and the action the chosen sub-command registered.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/settings.h"

namespace CLI {
class App;
}

namespace quorvane {

// Exit statuses of the command line.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct CliContext {
    std::string home;
    std::string category;
    std::function<int()> action;

    // Loads the settings for --home/--category; prints warnings and errors.
    // False (with a message on stderr) when the category name is unknown.
    bool loadSettings(Settings& out) const;
};

// One registration function per sub-command file.
void addSettingsCommand(CLI::App& app, CliContext& ctx);

int runCli(int argc, char** argv);

}  // namespace quorvane
