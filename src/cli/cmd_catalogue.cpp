// quorvane systems | games SYSTEM | roms SYSTEM GAME: the catalogue views.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "core/allocator_tuning.h"
#include "core/json.h"
#include "core/text.h"
#include "jobs/catalogue_jobs.h"
#include "presentation/catalogue_views.h"

namespace quorvane {

namespace {

int reportDatabaseError(CatalogueJobs& db) {
    const std::string error = db.catalogue().lastError();
    if (error.empty()) return kExitOk;
    std::fprintf(stderr, "%s\n", terminalText(error).c_str());
    return kExitFailed;
}

struct SystemsOptions {
    bool complete = false;
    bool incomplete = false;
    bool json = false;
};

int runSystems(const CliContext& ctx, const SystemsOptions& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    const SystemsView view = o.complete ? SystemsView::Complete : o.incomplete ? SystemsView::Incomplete : SystemsView::All;
    const std::vector<std::string> systems = view == SystemsView::Complete     ? db->catalogue().getCompleteSystems()
                                             : view == SystemsView::Incomplete ? db->catalogue().getIncompleteSystems()
                                                                               : db->catalogue().getSystems();
    if (const int rc = reportDatabaseError(*db)) return rc;
    if (o.json) {
        std::printf("{\"caption\": %s, \"systems\": [", jsonString(systemsCaption(view, systems.size())).c_str());
        for (size_t i = 0; i < systems.size(); ++i)
            std::printf("%s{\"name\": %s, \"output\": %s, \"mergeMode\": %s}", i ? ", " : "",
                        jsonString(systems[i]).c_str(),
                        jsonString(archiveOutputName(settings.outputFor(systems[i]))).c_str(),
                        jsonString(mergeModeName(settings.mergeModeFor(systems[i]))).c_str());
        std::printf("]}\n");
        return kExitOk;
    }
    std::printf("%s\n", terminalText(systemsCaption(view, systems.size())).c_str());
    for (const std::string& s : systems) std::printf("%s\n", terminalText(s).c_str());
    return kExitOk;
}

struct GamesOptions {
    std::string system;
    std::string mode = "all";
    bool noBios = false;
    bool json = false;
};

int runGames(const CliContext& ctx, const GamesOptions& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    if (const int rc = checkSystemNames(db->catalogue(), {o.system})) return rc;
    const GamesView view = o.mode == "available"    ? GamesView::Available
                           : o.mode == "missing"    ? GamesView::Missing
                           : o.mode == "incomplete" ? GamesView::Incomplete
                                                    : GamesView::All;
    Romset romset = db->catalogue().listGames(o.system, gamesViewInfo(view).mode);
    if (o.noBios) hideBiosAndDeviceSets(romset);
    const std::string version = db->catalogue().getSystemVersion(o.system);
    if (const int rc = reportDatabaseError(*db)) return rc;
    const std::string caption = gamesCaption(view, romset, version);
    if (o.json) {
        std::printf("{\"caption\": %s, \"games\": [", jsonString(caption).c_str());
        for (size_t i = 0; i < romset.games.size(); ++i) {
            const Game& g = romset.games[i];
            std::printf(
                "%s{\"name\": %s, \"state\": \"%s\", \"status\": %s, \"kind\": \"%s\", \"bios\": %s, "
                "\"biosIncomplete\": %s}",
                i ? ", " : "", jsonString(g.name).c_str(), gameStateName(g.state()), jsonString(g.statusString).c_str(),
                setKindName(g.kind), jsonString(g.bios).c_str(), g.biosIncomplete ? "true" : "false");
        }
        std::printf("]}\n");
        return kExitOk;
    }
    std::printf("%s\n", terminalText(caption).c_str());
    for (const Game& g : romset.games)
        std::printf("%-10s %s\n", gameStateName(g.state()), terminalText(gameListText(g)).c_str());
    return kExitOk;
}

struct RomsOptions {
    std::string system;
    std::string game;
    bool json = false;
};

int runRoms(const CliContext& ctx, const RomsOptions& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    if (const int rc = checkSystemNames(db->catalogue(), {o.system})) return rc;
    Game found;
    const bool hasGame = db->catalogue().getGame(o.system, o.game, found);
    if (const int rc = reportDatabaseError(*db)) return rc;
    if (!hasGame) {
        std::fprintf(stderr, "No game \"%s\" in system \"%s\".\n", terminalText(o.game).c_str(), terminalText(o.system).c_str());
        return kExitFailed;
    }
    const Game* game = &found;
    if (o.json) {
        std::printf("{\"caption\": %s, \"roms\": [", jsonString("Game: " + game->name).c_str());
        for (size_t i = 0; i < game->roms.size(); ++i) {
            const Rom& r = game->roms[i];
            std::printf("%s{\"name\": %s, \"crc32\": %s, \"size\": %s, \"md5\": %s, \"sha1\": %s, \"cloneof\": %s, "
                        "\"partof\": %s, \"status\": %s}",
                        i ? ", " : "", jsonString(r.name).c_str(), jsonString(r.crc).c_str(),
                        jsonString(r.size).c_str(), jsonString(r.md5).c_str(), jsonString(r.sha1).c_str(),
                        jsonString(r.cloneOf).c_str(), jsonString(r.romOf).c_str(), jsonString(r.status).c_str());
        }
        std::printf("]}\n");
        return kExitOk;
    }
    std::printf("Game: %s\n", terminalText(game->name).c_str());
    std::printf("Rom name\tcrc32\tsize\tmd5\tsha1\tcloneof\tpartof\n");
    for (const Rom& r : game->roms)
        std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\n", terminalText(r.name).c_str(), terminalText(r.crc).c_str(), terminalText(r.size).c_str(),
                    terminalText(r.md5).c_str(), terminalText(r.sha1).c_str(), terminalText(r.cloneOf).c_str(), terminalText(r.romOf).c_str());
    return kExitOk;
}

}  // namespace

void addCatalogueCommands(CLI::App& app, CliContext& ctx) {
    auto systems = std::make_shared<SystemsOptions>();
    CLI::App* s = app.add_subcommand("systems", "List the systems of the current category");
    auto* complete = s->add_flag("--complete", systems->complete, "Only the complete sets");
    s->add_flag("--incomplete", systems->incomplete, "Only the incomplete sets")->excludes(complete);
    s->add_flag("--json", systems->json, "Print JSON");
    s->callback([&ctx, systems] { ctx.action = [&ctx, systems] { return runSystems(ctx, *systems); }; });

    auto games = std::make_shared<GamesOptions>();
    CLI::App* g = app.add_subcommand("games", "List the games of one system");
    g->add_option("SYSTEM", games->system, "System name")->required();
    g->add_option("--mode", games->mode, "Which games")
        ->check(CLI::IsMember({"all", "available", "missing", "incomplete"}));
    g->add_flag("--no-bios", games->noBios, "Leave out BIOS and device sets");
    g->add_flag("--json", games->json, "Print JSON");
    g->callback([&ctx, games] {
        ctx.action = [&ctx, games] { return runGames(ctx, *games); };
        ctx.heapStep = kLargeHeapStep;
    });

    auto roms = std::make_shared<RomsOptions>();
    CLI::App* r = app.add_subcommand("roms", "List the ROMs of one game");
    r->add_option("SYSTEM", roms->system, "System name")->required();
    r->add_option("GAME", roms->game, "Game name")->required();
    r->add_flag("--json", roms->json, "Print JSON");
    r->callback([&ctx, roms] { ctx.action = [&ctx, roms] { return runRoms(ctx, *roms); }; });
}

}  // namespace quorvane
