// Shared state of one command-line run: global options, the settings they
// select, and the action the chosen sub-command registered.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/settings.h"

namespace CLI {
class App;
}

namespace quorvane {

class CatalogueJobs;

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
    // The current category's database, with its folder created; nullptr
    // (with a message on stderr) when the folder cannot be made.
    std::unique_ptr<CatalogueJobs> openDatabase(const Settings& settings) const;
};

// One registration function per sub-command file (cmd_*.cpp). Declared weak:
// the command line is built from whichever command files are present.
#define QUORVANE_CLI_COMMAND(name) void name(CLI::App& app, CliContext& ctx) __attribute__((weak))
QUORVANE_CLI_COMMAND(addSettingsCommand);
QUORVANE_CLI_COMMAND(addCatalogueCommands);
QUORVANE_CLI_COMMAND(addDatabaseCommands);
QUORVANE_CLI_COMMAND(addCheckCommands);
QUORVANE_CLI_COMMAND(addMissHaveCommand);
QUORVANE_CLI_COMMAND(addStatsCommand);
QUORVANE_CLI_COMMAND(addExportCommand);
QUORVANE_CLI_COMMAND(addFormatsCommand);
QUORVANE_CLI_COMMAND(addIdentifyCommand);
QUORVANE_CLI_COMMAND(addZipCommands);
QUORVANE_CLI_COMMAND(addImportCommand);
QUORVANE_CLI_COMMAND(addScanCommand);
QUORVANE_CLI_COMMAND(addFixCommand);
QUORVANE_CLI_COMMAND(addRebuildCommand);
QUORVANE_CLI_COMMAND(addDemoCommand);

int runCli(int argc, char** argv);

}  // namespace quorvane
