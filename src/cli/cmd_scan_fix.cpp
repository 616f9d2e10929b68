// quorvane scan SYSTEM... | --all [--json] [--torrentzip] [--verify-chd] [--full]: checks system
// folders without changing a file (--verify-chd: chdman checks each disk image in place; --full:
// every file is tested, also one unchanged since the last scan tested it).
// quorvane fix SYSTEM... | --all [--json] [--full]: repairs them; unwanted files go to a backup folder.
// One system named is worked on as the chosen system; --all or several as a list (see FolderJob).
// Both end with a summary per system (and a total for several), or print one JSON document.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "catalogue/catalogue.h"
#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "cli/json_host.h"
#include "cli/json_writer.h"
#include "cli/report_output.h"
#include "core/allocator_tuning.h"
#include "core/file_util.h"
#include "core/names.h"
#include "core/text.h"
#include "engine/scan_cache.h"
#include "jobs/catalogue_jobs.h"

namespace quorvane {

namespace {

struct SystemsOptions {
    std::vector<std::string> systems;
    bool all = false;
    bool json = false;
    bool torrentZip = false;
    bool verifyChd = false;
    bool full = false;
};

using StartOne = bool (CatalogueJobs::*)(JobHost&, const Settings&, const std::string&);
using StartAll = bool (CatalogueJobs::*)(JobHost&, const Settings&, std::vector<std::string>);

int runOnSystems(const CliContext& ctx, const SystemsOptions& o, const char* command, StartOne one,
                 StartAll all) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    settings.checkTorrentZip = o.torrentZip;
    settings.verifyChd = o.verifyChd;
    if (o.full) settings.fullScan = true;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    std::vector<std::string> systems = o.all ? db->catalogue().getSystems() : o.systems;
    if (const int rc = checkSystemNames(db->catalogue(), systems)) return rc;
    JsonHost jsonHost;
    ConsoleHost consoleHost;
    ConsoleHost& host = o.json ? jsonHost : consoleHost;
    const bool started = !o.all && systems.size() == 1 ? ((*db).*one)(host, settings, systems[0])
                                                       : ((*db).*all)(host, settings, std::move(systems));
    if (!started) {
        jsonHost.printMessages(stderr);
        return kExitFailed;
    }
    db->wait();
    if (!o.json) {
        printSummary(host.report().get());
    } else if (host.report()) {
        JsonWriter out;
        out.beginObject().field("command", command);
        writeSystemsReport(out, *host.report(), db->catalogue());
        jsonHost.writeMessages(out);
        out.endObject();
        std::printf("%s\n", out.text().c_str());
    }
    return host.failedSteps() > 0 ? kExitFailed : kExitOk;
}

// A scan that finds each system's last scan beside the catalogue tests only
// what changed since: it is over in milliseconds and would lose more to the
// restart than the tuned allocator gains it. The settings are read quietly
// here; the run says what is wrong with them.
bool testsLittle(const CliContext& ctx, const SystemsOptions& o) {
    Settings settings;
    if (o.full || !ctx.loadSettings(settings, true) || settings.fullScan) return false;
    const std::string base = settings.currentDatabasePath();
    Catalogue catalogue(base);
    // Opening a catalogue that is not there would make one.
    if (!pathExists(catalogue.recordPath())) return false;
    const std::vector<std::string> systems = o.all ? catalogue.getSystems() : o.systems;
    return std::all_of(systems.begin(), systems.end(), [&base](const std::string& system) {
        return isSafeFileName(system) && pathExists(ScanCache::pathFor(base, system));
    });
}

struct SystemsCommand {
    const char* name;
    const char* help;
    const char* systemsHelp;
    const char* allHelp;
};

void addSystemsCommand(CLI::App& app, CliContext& ctx, const SystemsCommand& c, StartOne one, StartAll allSystems) {
    auto o = std::make_shared<SystemsOptions>();
    CLI::App* cmd = app.add_subcommand(c.name, c.help);
    CLI::Option* names = cmd->add_option("SYSTEM", o->systems, c.systemsHelp);
    CLI::Option* all = cmd->add_flag("--all", o->all, c.allHelp)->excludes(names);
    cmd->add_flag("--json", o->json, "Print one JSON document (the summary, each game and each file's action)");
    if (std::string_view(c.name) == "scan") {
        cmd->add_flag("--torrentzip", o->torrentZip, "Also say which zips are valid TorrentZip, and count them");
        cmd->add_flag("--verify-chd", o->verifyChd,
                      "Also have chdman (mame-tools) check the data of each disk image in place (reads them whole)");
    }
    cmd->add_flag("--full", o->full, "Test every file whole, also those unchanged since the last scan tested them");
    const char* command = c.name;
    cmd->callback([&ctx, o, names, all, command, one, allSystems] {
        if (names->count() == 0 && all->count() == 0) throw CLI::RequiredError("SYSTEM or --all");
        ctx.action = [&ctx, o, command, one, allSystems] { return runOnSystems(ctx, *o, command, one, allSystems); };
        if (std::string_view(command) != "scan") growHeapsInPlace(kSmallHeapStep);
        else if (!testsLittle(ctx, *o)) ctx.heapStep = kLargeHeapStep;
    });
}

}  // namespace

void addScanCommand(CLI::App& app, CliContext& ctx) {
    addSystemsCommand(app, ctx,
                      {"scan", "Check system folders against the catalogue (changes no file)",
                       "Systems to scan, in this order", "Scan every system of the category"},
                      &CatalogueJobs::startScan, &CatalogueJobs::startScan);
}

void addFixCommand(CLI::App& app, CliContext& ctx) {
    addSystemsCommand(app, ctx,
                      {"fix", "Repair system folders (unwanted files are moved to a backup folder)",
                       "Systems to fix, in this order", "Fix every system of the category"},
                      &CatalogueJobs::startFix, &CatalogueJobs::startFix);
}

}  // namespace quorvane
