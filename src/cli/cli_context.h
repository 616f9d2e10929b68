// Shared state of one command-line run: global options, the settings they
// select, and the action the chosen sub-command registered.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/settings.h"

namespace CLI {
class App;
}

namespace quorvane {

class Catalogue;
class CatalogueJobs;

// Exit statuses of the command line.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct CliContext {
    std::string home;
    std::string category;
    std::function<int()> action;
    // The heap step of the commands that fill much fresh memory at once and
    // run faster with the allocator tuned (core/allocator_tuning.h); 0 for
    // the others.
    size_t heapStep = 0;

    // Loads the settings for --home/--category; prints warnings and errors
    // unless `quiet`. False (with a message on stderr unless `quiet`) when
    // the category name is unknown.
    bool loadSettings(Settings& out, bool quiet = false) const;
    // The current category's database, with its folder created; nullptr
    // (with a message on stderr) when the folder cannot be made.
    std::unique_ptr<CatalogueJobs> openDatabase(const Settings& settings) const;
};

// kExitOk when every name is a system of `db`; otherwise says why on stderr
// ("There is no system ... Did you mean ...?") and returns the exit status:
// kExitUsage for an unknown name, kExitFailed when the database cannot be read.
int checkSystemNames(Catalogue& db, const std::vector<std::string>& names);
// The system whose name is nearest `name` (ignoring case), or "" when none is near.
std::string closestSystemName(const std::string& name, const std::vector<std::string>& systems);

// One registration function per sub-command file (cmd_*.cpp).
void addSettingsCommand(CLI::App& app, CliContext& ctx);
void addCatalogueCommands(CLI::App& app, CliContext& ctx);
void addDatabaseCommands(CLI::App& app, CliContext& ctx);
void addCheckCommands(CLI::App& app, CliContext& ctx);
void addMissHaveCommand(CLI::App& app, CliContext& ctx);
void addStatsCommand(CLI::App& app, CliContext& ctx);
void addExportCommand(CLI::App& app, CliContext& ctx);
void addFormatsCommand(CLI::App& app, CliContext& ctx);
void addIdentifyCommand(CLI::App& app, CliContext& ctx);
void addZipCommands(CLI::App& app, CliContext& ctx);
void addTorrentZipCommand(CLI::App& app, CliContext& ctx);
void addImportCommand(CLI::App& app, CliContext& ctx);
void addScanCommand(CLI::App& app, CliContext& ctx);
void addFixCommand(CLI::App& app, CliContext& ctx);
void addRebuildCommand(CLI::App& app, CliContext& ctx);
void addDemoCommand(CLI::App& app, CliContext& ctx);
void addUndoCommands(CLI::App& app, CliContext& ctx);

// `withoutCommand` runs when only global options were given (the desktop
// program, when built); without it such a run prints the help.
int runCli(int argc, char** argv, const std::function<int(const CliContext&)>& withoutCommand = {});

}  // namespace quorvane
